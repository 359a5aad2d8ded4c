#include "posixfaults.h"
#include "recordformat.h"
#include "recordwriter.h"
#include "testfolder.h"

#include <QDir>
#include <QMutex>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QWaitCondition>
#include <optional>

using namespace kelmar;
using kelmar::test::TestFolder;

namespace {

// A disk that takes no line until the test lets it.
struct Gate
{
    QMutex mutex;
    QWaitCondition opened;
    bool open = false;
    void pass()
    {
        QMutexLocker lock(&mutex);
        while (!open)
            opened.wait(&mutex);
    }
    void release()
    {
        QMutexLocker lock(&mutex);
        open = true;
        opened.wakeAll();
    }
};

} // namespace

class TstRecordWriter : public QObject
{
    Q_OBJECT
private slots:
    // What stands at the record file, whether the disk hangs, how many
    // lines may wait, how the writer ends; every accepted line lands once,
    // in order, and its result comes back in order.
    void linesInOrder_data()
    {
        QTest::addColumn<QString>("planted");
        QTest::addColumn<bool>("hanging");
        QTest::addColumn<int>("capacity");
        QTest::addColumn<int>("lines");
        QTest::addColumn<QString>("ending");
        QTest::addColumn<int>("accepted");
        QTest::addColumn<QString>("refusal"); // in each line's result; empty: written
        const QString odd = QStringLiteral("not a regular");
        QTest::newRow("ordinary lines") << "none" << false << 100 << 50 << "finish" << 50 << "";
        QTest::newRow("folder in the file's place") << "folder" << false << 100 << 3 << "finish" << 3 << odd;
        QTest::newRow("FIFO in the file's place") << "fifo" << false << 100 << 3 << "finish" << 3 << odd;
        QTest::newRow("hanging disk, then finish") << "none" << true << 100 << 20 << "finish" << 20 << "";
        QTest::newRow("hanging disk, queue full") << "none" << true << 5 << 8 << "finish" << 5 << "";
        QTest::newRow("hanging disk, then close") << "none" << true << 100 << 20 << "close" << 20 << "";
        QTest::newRow("hanging disk, then destroyed") << "none" << true << 100 << 20 << "destroy" << 20 << "";
    }
    void linesInOrder()
    {
        QFETCH(QString, planted);
        QFETCH(bool, hanging);
        QFETCH(int, capacity);
        QFETCH(int, lines);
        QFETCH(QString, ending);
        QFETCH(int, accepted);
        QFETCH(QString, refusal);
        TestFolder dir;
        const QString path = dir.file(QStringLiteral("r.txt"));
        if (planted == "folder")
            QVERIFY(QDir().mkdir(path));
        else if (planted == "fifo" && !kelmar::test::makeFifo(path))
            QSKIP("no FIFOs here");
        Gate gate;
        gate.open = !hanging;
        QAtomicInt onCaller = 0; // lines written on the caller's thread
        std::optional<RecordWriter> writer;
        writer.emplace(nullptr, [&](const QString &p, const QByteArray &b) {
            if (QThread::currentThread() == thread())
                onCaller = 1;
            else
                gate.pass();
            return appendToFile(p, b, true);
        }, capacity);
        QSignalSpy written(&*writer, &RecordWriter::written);
        QSignalSpy drained(&*writer, &RecordWriter::drained);

        QByteArray expected;
        for (int i = 1; i <= lines; ++i) {
            const QString line = QStringLiteral("12:00:%1\t%2").arg(i, 2, 10, QLatin1Char('0')).arg(i);
            const RecordWriter::Ticket t = writer->appendLine(path, line);
            if (i > accepted) {
                QCOMPARE(t.sequence, 0u);
                QVERIFY2(t.result.error.contains(QDir::toNativeSeparators(path)), qPrintable(t.result.error));
                continue;
            }
            QCOMPARE(t.sequence, quint64(i));
            expected += encodeRecordLine(line);
        }
        if (hanging) {
            // The caller ran on while the disk held every line.
            QCoreApplication::processEvents();
            QCOMPARE(written.count(), 0);
            QCOMPARE(writer->waiting(), accepted);
            if (ending == "finish")
                QVERIFY(!writer->finish(10));
            gate.release();
        }
        if (ending == "finish") {
            QVERIFY(writer->finish(60000));
        } else if (ending == "close") {
            writer->close();
            QVERIFY(drained.wait(60000));
        } else {
            writer.reset();
        }
        QCOMPARE(onCaller.loadRelaxed(), 0);
        if (planted == "none")
            QCOMPARE(dir.read(QStringLiteral("r.txt")), expected);
        if (ending == "destroy")
            return;
        QCOMPARE(written.count(), accepted);
        for (int i = 0; i < accepted; ++i) {
            QCOMPARE(written[i][0].toULongLong(), quint64(i + 1));
            const auto r = written[i][2].value<FileResult>();
            QCOMPARE(r.ok, refusal.isEmpty());
            QVERIFY(r.ok || (r.error.contains(QDir::toNativeSeparators(path)) && r.error.contains(refusal)));
        }
        QCOMPARE(drained.count(), 1);
        QCOMPARE(writer->appendLine(path, QStringLiteral("late")).sequence, 0u);
    }
};

QTEST_GUILESS_MAIN(TstRecordWriter)
#include "tst_recordwriter.moc"
