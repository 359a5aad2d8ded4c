#include "cp950.h"
#include "setupini.h"
#include "smallfile.h"
#include "testfolder.h"

#include <QFile>
#include <QFileInfo>
#include <QTest>

#include "posixfaults.h"

using namespace kelmar;
using kelmar::test::TestFolder;

namespace {

// The example save: COM3, 4800, E,8,1, 1024X768, 2000 ms.
SetupFile example()
{
    SetupFile v;
    v.host.portNumber = 3;
    v.host.baud = QStringLiteral("4800");
    v.host.protocol = QStringLiteral("E,8,1");
    v.host.recordFolder = QStringLiteral("D:\\記錄\\");
    v.host.largeScreen = true;
    v.pollIntervalMs = 2000;
    v.extension = QStringLiteral("txt");
    v.title = QStringLiteral("一號線 Kelmar");
    v.recordSeconds = QStringLiteral("5");
    return v;
}

struct Applied
{
    SetupFile file;
    SetupProblems problems;
};

Applied applyText(const QByteArray &bytes)
{
    const QString text = decodeCp950(bytes);
    Applied a;
    a.problems = applySetupLines(a.file, [&text](int n) { return lineOfText(text, n); });
    return a;
}

bool sameFile(const SetupFile &a, const SetupFile &b)
{
    return a.host == b.host && a.pollIntervalMs == b.pollIntervalMs &&
           a.extension == b.extension && a.title == b.title && a.recordSeconds == b.recordSeconds;
}

} // namespace

class TstSetupIni : public QObject
{
    Q_OBJECT
private slots:
    void savedBytesAreExact()
    {
        // Big5 bytes of "記錄" and "一號線" from iconv -t CP950.
        const QByteArray expected =
            " 3 \r\n4800\r\nE,8,1\r\nD:\\\xb0\x4f\xbf\xfd\\\r\n1024X768\r\n"
            " 2000 \r\nReserved\r\ntxt\r\n\xa4\x40\xb8\xb9\xbd\x75 Kelmar\r\n5\r\n";
        QCOMPARE(renderSetupIni(example()), expected);
    }

    void saveThenLoadRestoresEveryField()
    {
        TestFolder dir;
        const QString path = dir.file(SetupIniName);
        QVERIFY(saveSetupIni(path, example()));
        SetupFile loaded;
        const SetupProblems p =
            applySetupLines(loaded, [&path](int n) { return GetLine(path, n); });
        QVERIFY(sameFile(loaded, example()));
        QVERIFY(p.screenSizeGiven);
        QVERIFY(!p.refusedPollInterval);
    }

    void numberField_data()
    {
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("text");
        QTest::newRow("port 3") << 3 << " 3 ";
        QTest::newRow("no port chosen") << 0 << " 0 ";
        QTest::newRow("negative") << -1 << "-1 ";
        QTest::newRow("interval") << 65535 << " 65535 ";
    }
    void numberField()
    {
        QFETCH(int, n);
        QFETCH(QString, text);
        QCOMPARE(kelmar::numberField(n), text);
    }

    void lines_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("line"); // "<none>" for no line
        QTest::newRow("CR LF") << "a\r\nb\r\n" << 2 << "b";
        QTest::newRow("past a final CR LF") << "a\r\nb\r\n" << 3 << "<none>";
        QTest::newRow("lone CR ends a line") << "a\rb" << 2 << "b";
        QTest::newRow("lone LF does not") << "a\nb\nc" << 1 << "a\nb\nc";
        QTest::newRow("LF-only file has one line") << "a\nb\nc" << 2 << "<none>";
        QTest::newRow("last line without end") << "a\r\nb" << 2 << "b";
        QTest::newRow("empty line") << "a\r\n\r\nc" << 2 << "";
        QTest::newRow("empty file") << "" << 1 << "<none>";
        QTest::newRow("line 0") << "a" << 0 << "<none>";
    }
    void lines()
    {
        QFETCH(QString, text);
        QFETCH(int, n);
        QFETCH(QString, line);
        const auto got = lineOfText(text, n);
        QCOMPARE(got.value_or(QStringLiteral("<none>")), line);
    }

    // Each malformed line alone leaves its own field (as a program without
    // setup.ini starts: COM1, 9600, 1000 ms) and no other.
    void malformedLines_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("baud");
        QTest::addColumn<int>("interval");
        QTest::addColumn<bool>("sizeGiven");
        QTest::addColumn<bool>("intervalRefused");
        const QByteArray tail =
            "N,8,1\r\nD:\\\r\n800X600\r\n 1000 \r\nReserved\r\ntxt\r\nT\r\n5\r\n";
        QTest::newRow("well formed") << " 3 \r\n4800\r\n" + tail << 3 << "4800" << 1000 << true << false;
        QTest::newRow("trailing space after 4800")
            << " 3 \r\n4800 \r\n" + tail << 3 << "9600" << 1000 << true << false;
        QTest::newRow("port 0 chooses no entry")
            << "0\r\n4800\r\n" + tail << 0 << "4800" << 1000 << true << false;
        QTest::newRow("port 11 is refused")
            << "11\r\n4800\r\n" + tail << 1 << "4800" << 1000 << true << false;
        QTest::newRow("port with letters is refused")
            << "3abc\r\n4800\r\n" + tail << 1 << "4800" << 1000 << true << false;
        const QByteArray head = " 3 \r\n4800\r\nN,8,1\r\nD:\\\r\n800X600\r\n";
        QTest::newRow("interval 500abc") << head + "500abc\r\nReserved\r\n" << 3 << "4800" << 500
                                         << true << false;
        QTest::newRow("interval abc is 0") << head + "abc\r\nReserved\r\n" << 3 << "4800" << 0
                                           << true << false;
        QTest::newRow("interval 65535 is the largest")
            << head + "65535\r\n" << 3 << "4800" << 65535 << true << false;
        QTest::newRow("interval 65536 is refused")
            << head + "65536\r\n" << 3 << "4800" << 1000 << true << true;
        QTest::newRow("interval -1 is refused")
            << head + "-1 \r\n" << 3 << "4800" << 1000 << true << true;
        QTest::newRow("interval 1e400 is too large to read")
            << head + "1e400\r\n" << 3 << "4800" << 1000 << true << true;
        QTest::newRow("lower-case x")
            << QByteArray(" 3 \r\n4800\r\nN,8,1\r\nD:\\\r\n1024x768\r\n 1000 \r\n") << 3
            << "4800" << 1000 << false << false;
        QTest::newRow("missing lines") << QByteArray(" 3 \r\n") << 3 << "9600" << 1000 << false
                                       << false;
        QTest::newRow("LF-only file is one line")
            << QByteArray(" 3 \n4800\nN,8,1\n") << 1 << "9600" << 1000 << false << false;
    }
    void malformedLines()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, port);
        QFETCH(QString, baud);
        QFETCH(int, interval);
        QFETCH(bool, sizeGiven);
        QFETCH(bool, intervalRefused);
        const Applied a = applyText(file);
        QCOMPARE(a.file.host.portNumber, port);
        QCOMPARE(a.file.host.baud, baud);
        QCOMPARE(a.file.pollIntervalMs, interval);
        QCOMPARE(a.problems.screenSizeGiven, sizeGiven);
        QCOMPARE(a.problems.refusedPollInterval.has_value(), intervalRefused);
    }

    void noFileGivesNothing()
    {
        TestFolder dir;
        QVERIFY(!GetLine(dir.file(QStringLiteral("setup.ini")), 1).has_value());
    }

    void failedSaveLeavesOldFileWhole()
    {
        TestFolder dir;
        const QString path = dir.file(SetupIniName);
        const QByteArray old = "old settings\r\n";
        QVERIFY(dir.write(SetupIniName, old));

        // A file size limit makes the write fail even for root, as a full
        // disk would.
        bool ok = true;
        {
            if (!kelmar::test::CanMakePosixFaults)
                QSKIP("Windows has no file size limit");
            kelmar::test::FileSizeLimit small(16);
            QVERIFY(small.active());
            ok = saveSetupIni(path, example());
        }

        QVERIFY(!ok);
        QCOMPARE(dir.read(SetupIniName), old);
    }

    // What start-up makes of a refused file or line: the fields that stay
    // at their defaults and the notice, which names the file, the line and
    // why.
    void refusalsAreNamed_data()
    {
        QTest::addColumn<QByteArray>("content"); // "" for a FIFO, "big" for a large file
        QTest::addColumn<QString>("extension");  // line 8 as taken
        QTest::addColumn<int>("port");           // line 1 as taken
        QTest::addColumn<QStringList>("notices"); // parts of each notice, in order
        const QByteArray good = " 3 \r\n9600\r\nN,8,1\r\n/var/tmp/\r\n800X600\r\n 1000 \r\n"
                                "Reserved\r\ntxt\r\nKelmar\r\n 1 \r\n";
        QByteArray nulExtension = good;
        nulExtension.replace("txt", QByteArray("t\0x", 3));
        QByteArray badPort = good;
        badPort.replace(" 3 ", "COM");
        QByteArray badFraming = good;
        badFraming.replace("N,8,1", "Q,9,1");
        QByteArray lfOnly = good;
        lfOnly.replace("\r\n", "\n");
        QTest::newRow("good file: nothing to say") << good << "txt" << 3 << QStringList{};
        QTest::newRow("NUL in the extension")
            << nulExtension << "Text2" << 3 << QStringList{"line 8", "control character"};
        QTest::newRow("port that is no number")
            << badPort << "txt" << 1 << QStringList{"line 1", "\"COM\"", "port"};
        QTest::newRow("unknown framing") << badFraming << "txt" << 3
                                         << QStringList{"line 3", "Q,9,1", "framing"};
        QTest::newRow("lines ended by LF alone")
            << lfOnly << "Text2" << 1 << QStringList{"setup.ini", "CR LF"};
        QTest::newRow("FIFO") << QByteArray() << "Text2" << 1
                              << QStringList{"setup.ini", "not a regular file"};
        QTest::newRow("too large") << QByteArray("big") << "Text2" << 1
                                   << QStringList{"setup.ini", "too large"};
    }
    void refusalsAreNamed()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, extension);
        QFETCH(int, port);
        QFETCH(QStringList, notices);
        TestFolder dir;
        const QString path = dir.file(SetupIniName);
        if (content.isEmpty()) {
            if (!kelmar::test::makeFifo(path))
                QSKIP("no named pipes here");
        } else {
            QVERIFY(dir.write(SetupIniName,
                              content == "big" ? QByteArray(SmallFileLimit + 1, ' ') : content));
        }
        SetupFile file;
        file.host.portNumber = 1;
        const SetupProblems found = loadSetupIni(path, file);
        QCOMPARE(file.extension, extension);
        QCOMPARE(file.host.portNumber, port);
        QCOMPARE(found.notices.size(), notices.isEmpty() ? 0 : 1);
        for (const QString &part : notices)
            QVERIFY2(found.notices.first().contains(part), qPrintable(found.notices.first()));
    }

    // A link the operator made to a regular file elsewhere is saved
    // through; a link to a device is refused with the path named.
    void savedThroughALinkOnlyToARegularFile()
    {
#ifdef Q_OS_WIN
        QSKIP("QFile::link makes a shell shortcut on Windows, not a link the file system follows");
#endif
        TestFolder dir;
        const QString path = dir.file(SetupIniName);
        QVERIFY(dir.write(QStringLiteral("elsewhere.ini"), "old\r\n"));
        QVERIFY(QFile::link(dir.file(QStringLiteral("elsewhere.ini")), path));
        QVERIFY(saveSetupIni(path, example()));
        QVERIFY(QFileInfo(path).isSymLink());
        QCOMPARE(dir.read(QStringLiteral("elsewhere.ini")), renderSetupIni(example()));

        QVERIFY(QFile::remove(path));
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), path));
        QString notice;
        QVERIFY(!saveSetupIni(path, example(), &notice));
        QVERIFY2(notice.contains(QDir::toNativeSeparators(path)) && notice.contains(QStringLiteral("not a regular file")),
                 qPrintable(notice));
        QCOMPARE(QFileInfo(path).symLinkTarget(), QStringLiteral("/dev/null"));
    }

    void saveIntoMissingFolderFails()
    {
        TestFolder dir;
        QVERIFY(!saveSetupIni(dir.file(QStringLiteral("no/such/setup.ini")), example()));
    }
};

QTEST_GUILESS_MAIN(TstSetupIni)
#include "tst_setupini.moc"
