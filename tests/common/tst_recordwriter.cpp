#include "recordformat.h"
#include "recordwriter.h"
#include "testfolder.h"

#include <QDir>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <optional>

using namespace kelmar;
using kelmar::test::TestFolder;

class TstRecordWriter : public QObject
{
    Q_OBJECT
private slots:
    // Whatever stands at the file, the disk or the ending: every accepted
    // line lands once, in order, and its result comes back in order.
    void linesInOrder_data()
    {
        QTest::addColumn<QString>("planted");
        QTest::addColumn<bool>("hanging");
        QTest::addColumn<int>("capacity");
        QTest::addColumn<int>("lines");
        QTest::addColumn<QString>("ending");
        QTest::newRow("ordinary lines") << "none" << false << 100 << 50 << "finish";
        QTest::newRow("folder in the file's place") << "folder" << false << 100 << 3 << "finish";
        QTest::newRow("hanging disk, then finish") << "none" << true << 100 << 20 << "finish";
        QTest::newRow("hanging disk, queue full") << "none" << true << 5 << 8 << "finish";
        QTest::newRow("hanging disk, then close") << "none" << true << 100 << 20 << "close";
        QTest::newRow("hanging disk, then destroyed") << "none" << true << 100 << 20 << "destroy";
    }
    void linesInOrder()
    {
        QFETCH(QString, planted);
        QFETCH(bool, hanging);
        QFETCH(int, capacity);
        QFETCH(int, lines);
        QFETCH(QString, ending);
        const int accepted = std::min(lines, capacity);
        TestFolder dir;
        const QString path = dir.file(QStringLiteral("r.txt"));
        if (planted == "folder")
            QVERIFY(QDir().mkdir(path));
        constexpr int Open = 1 << 20;
        QSemaphore disk(hanging ? 0 : Open);
        std::optional<RecordWriter> writer;
        writer.emplace(nullptr, [&](const QString &p, const QByteArray &b) {
            if (QThread::currentThread() != thread()) // the caller's never waits
                disk.acquire();
            return appendToFile(p, b, true);
        }, capacity);
        QSignalSpy written(&*writer, &RecordWriter::written);
        QSignalSpy drained(&*writer, &RecordWriter::drained);
        QByteArray expected;
        for (int i = 1; i <= lines; ++i) {
            const QString line = QStringLiteral("12:00:%1\t%2").arg(i, 2, 10, QLatin1Char('0')).arg(i);
            const RecordWriter::Ticket t = writer->appendLine(path, line);
            QCOMPARE(t.sequence, i > accepted ? 0u : quint64(i));
            QVERIFY(t.sequence || t.result.error.contains(QDir::toNativeSeparators(path)));
            if (t.sequence)
                expected += encodeRecordLine(line);
        }
        if (hanging) {
            // The caller ran on while the disk held every line.
            QCoreApplication::processEvents();
            QCOMPARE(written.count(), 0);
            QCOMPARE(writer->waiting(), accepted);
            if (ending == "finish")
                QVERIFY(!writer->finish(10));
            disk.release(Open);
        }
        if (ending == "finish") {
            QVERIFY(writer->finish(60000));
        } else if (ending == "close") {
            writer->close();
            QVERIFY(drained.wait(60000));
        } else {
            writer.reset();
        }
        if (planted == "none")
            QCOMPARE(dir.read(QStringLiteral("r.txt")), expected);
        if (ending == "destroy")
            return;
        QCOMPARE(written.count(), accepted);
        for (int i = 0; i < accepted; ++i) {
            QCOMPARE(written[i][0].toULongLong(), quint64(i + 1));
            const auto r = written[i][2].value<FileResult>();
            QCOMPARE(r.ok, planted == "none");
            QVERIFY(r.ok || (r.error.contains(QDir::toNativeSeparators(path)) &&
                             r.error.contains(QStringLiteral("not a regular"))));
        }
        QCOMPARE(drained.count(), 1);
        QCOMPARE(writer->appendLine(path, QStringLiteral("late")).sequence, 0u);
    }
};

QTEST_GUILESS_MAIN(TstRecordWriter)
#include "tst_recordwriter.moc"
