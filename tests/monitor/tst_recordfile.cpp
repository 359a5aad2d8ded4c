#include "recordfile.h"
#include "testfolder.h"

#include <QFile>
#include <QTest>

#include <QDir>

#include "posixfaults.h"

using namespace kelmar;
using kelmar::test::TestFolder;
using namespace kelmar::test;

class TstRecordFile : public QObject
{
    Q_OBJECT
private slots:
    void appendsInCp950WithCrLf()
    {
        TestFolder dir;
        const QString path = dir.file(QStringLiteral("2025-03-06-1405.txt"));
        QVERIFY(createRecordFile(path).ok);
        QVERIFY(appendRecordLine(path, QStringLiteral("14:05:07\t123.45\t記")).ok);
        QVERIFY(appendRecordLine(path, QString()).ok);
        QCOMPARE(dir.read(QStringLiteral("2025-03-06-1405.txt")),
                 QByteArray("14:05:07\t123.45\t\xb0\x4f\r\n\r\n"));
    }

    void startingAgainKeepsTheLines()
    {
        TestFolder dir;
        const QString path = dir.file(QStringLiteral("f.txt"));
        QVERIFY(dir.write(QStringLiteral("f.txt"), "line\r\n"));
        QVERIFY(createRecordFile(path).ok);
        QCOMPARE(dir.read(QStringLiteral("f.txt")), QByteArray("line\r\n"));
    }

    void folders_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("ok");
        QTest::newRow("new folder with separator") << "log/" << true;
        QTest::newRow("new folder without separator") << "log" << true;
        QTest::newRow("existing folder") << "." << true;
        QTest::newRow("missing parent") << "no/such/log/" << false;
    }
    void folders()
    {
        QFETCH(QString, folder);
        QFETCH(bool, ok);
        TestFolder dir;
        const FileResult r = ensureRecordFolder(dir.file(folder));
        QCOMPARE(r.ok, ok);
        QCOMPARE(r.error.isEmpty(), ok);
        if (ok)
            QVERIFY(QFileInfo(dir.file(folder)).isDir());
    }

    // A pipe in the record file's place would block the program until
    // someone reads it; it is refused like a folder.
    void noRegularFileIsRefused_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("pipe") << "fifo";
        QTest::newRow("folder") << "folder";
    }
    void noRegularFileIsRefused()
    {
        QFETCH(QString, kind);
        TestFolder dir;
        const QString path = dir.file(QStringLiteral("f.txt"));
        if (kind == QStringLiteral("fifo") && !CanMakePosixFaults)
            QSKIP("Windows has no named pipes in the file system");
        if (kind == QStringLiteral("fifo"))
            QVERIFY(makeFifo(path));
        else
            QVERIFY(QDir().mkdir(path));
        for (const FileResult &r : {createRecordFile(path), appendRecordLine(path, "x")}) {
            QVERIFY(!r.ok);
            QVERIFY(r.error.contains(QStringLiteral("not a regular file")));
        }
    }

    void fileInMissingFolderIsReported()
    {
        TestFolder dir;
        const FileResult r =
            appendRecordLine(dir.file(QStringLiteral("gone/f.txt")), QStringLiteral("x"));
        QVERIFY(!r.ok);
        QVERIFY(r.error.contains(QStringLiteral("gone")));
    }

    void fullDiskWritesNoPartLine()
    {
        TestFolder dir;
        const QString path = dir.file(QStringLiteral("f.txt"));
        QVERIFY(dir.write(QStringLiteral("f.txt"), "12:00:00\t1\r\n"));
        // A file size limit cuts the write short as a full disk does, for root too.
        FileResult r;
        {
            if (!CanMakePosixFaults)
                QSKIP("Windows has no file size limit");
            FileSizeLimit small(20);
            QVERIFY(small.active());
            r = appendRecordLine(path, QStringLiteral("12:00:01\t22222222"));
        }
        QVERIFY(!r.ok);
        QCOMPARE(dir.read(QStringLiteral("f.txt")), QByteArray("12:00:00\t1\r\n"));
        // Room again: the next line goes in whole.
        QVERIFY(appendRecordLine(path, QStringLiteral("12:00:02\t3")).ok);
        QCOMPARE(dir.read(QStringLiteral("f.txt")), QByteArray("12:00:00\t1\r\n12:00:02\t3\r\n"));
    }
};

QTEST_GUILESS_MAIN(TstRecordFile)
#include "tst_recordfile.moc"
