#include "cp950.h"
#include "setupini.h"
#include "testfolder.h"

#include <QTest>

#include <csignal>
#include <sys/resource.h>

using namespace kelmar;
using kelmar::test::TestFolder;

Q_DECLARE_METATYPE(std::optional<int>)

namespace {

// The example save: COM3, 4800, E,8,1, 1024X768, 2000 ms.
SetupValues example()
{
    SetupValues v;
    v.portNumber = 3;
    v.baud = QStringLiteral("4800");
    v.protocol = QStringLiteral("E,8,1");
    v.recordFolder = QStringLiteral("D:\\記錄\\");
    v.mode = ModeLarge;
    v.pollIntervalMs = 2000;
    v.extension = QStringLiteral("txt");
    v.title = QStringLiteral("一號線 Kelmar");
    v.recordSeconds = QStringLiteral("5");
    return v;
}

StartupSettings readText(const QByteArray &bytes)
{
    const QString text = decodeCp950(bytes);
    return readStartupSettings([&text](int n) { return lineOfText(text, n); });
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
        const StartupSettings s = readStartupSettings([&path](int n) { return GetLine(path, n); });
        QCOMPARE(s.portIndex, std::optional<int>(2));
        QCOMPARE(s.baudIndex, std::optional<int>(2));
        QCOMPARE(s.protocolIndex, std::optional<int>(2));
        QCOMPARE(*s.recordFolder, QStringLiteral("D:\\記錄\\"));
        QCOMPARE(s.largeMode, std::optional<bool>(true));
        QCOMPARE(s.pollIntervalMs, std::optional<int>(2000));
        QCOMPARE(*s.extension, QStringLiteral("txt"));
        QCOMPARE(*s.title, QStringLiteral("一號線 Kelmar"));
        QCOMPARE(*s.recordSeconds, QStringLiteral("5"));
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

    // Each malformed line alone leaves its own field and no other.
    void malformedLines_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<std::optional<int>>("portIndex");
        QTest::addColumn<std::optional<int>>("baudIndex");
        QTest::addColumn<std::optional<int>>("interval");
        QTest::addColumn<bool>("modeKnown");
        const QByteArray tail =
            "N,8,1\r\nD:\\\r\n800X600\r\n 1000 \r\nReserved\r\ntxt\r\nT\r\n5\r\n";
        QTest::newRow("well formed") << " 3 \r\n4800\r\n" + tail << std::optional<int>(2)
                                     << std::optional<int>(2) << std::optional<int>(1000) << true;
        QTest::newRow("trailing space after 4800")
            << " 3 \r\n4800 \r\n" + tail << std::optional<int>(2) << std::optional<int>()
            << std::optional<int>(1000) << true;
        QTest::newRow("port 0 chooses no entry")
            << "0\r\n4800\r\n" + tail << std::optional<int>(-1) << std::optional<int>(2)
            << std::optional<int>(1000) << true;
        QTest::newRow("port 11 is refused")
            << "11\r\n4800\r\n" + tail << std::optional<int>() << std::optional<int>(2)
            << std::optional<int>(1000) << true;
        QTest::newRow("port with letters is refused")
            << "3abc\r\n4800\r\n" + tail << std::optional<int>() << std::optional<int>(2)
            << std::optional<int>(1000) << true;
        const QByteArray head = " 3 \r\n4800\r\nN,8,1\r\nD:\\\r\n";
        QTest::newRow("interval 500abc")
            << head + "800X600\r\n500abc\r\nReserved\r\n"
            << std::optional<int>(2) << std::optional<int>(2) << std::optional<int>(500) << true;
        QTest::newRow("interval abc is 0")
            << head + "800X600\r\nabc\r\nReserved\r\n"
            << std::optional<int>(2) << std::optional<int>(2) << std::optional<int>(0) << true;
        QTest::newRow("lower-case x")
            << head + "1024x768\r\n 1000 \r\n"
            << std::optional<int>(2) << std::optional<int>(2) << std::optional<int>(1000) << false;
        QTest::newRow("missing lines") << QByteArray(" 3 \r\n") << std::optional<int>(2)
                                       << std::optional<int>() << std::optional<int>() << false;
        QTest::newRow("LF-only file is one line")
            << QByteArray(" 3 \n4800\nN,8,1\n") << std::optional<int>() << std::optional<int>()
            << std::optional<int>() << false;
    }
    void malformedLines()
    {
        QFETCH(QByteArray, file);
        QFETCH(std::optional<int>, portIndex);
        QFETCH(std::optional<int>, baudIndex);
        QFETCH(std::optional<int>, interval);
        QFETCH(bool, modeKnown);
        const StartupSettings s = readText(file);
        QCOMPARE(s.portIndex, portIndex);
        QCOMPARE(s.baudIndex, baudIndex);
        QCOMPARE(s.pollIntervalMs, interval);
        QCOMPARE(s.largeMode.has_value(), modeKnown);
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
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit small = saved;
        small.rlim_cur = 16;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        const bool ok = saveSetupIni(path, example());
        setrlimit(RLIMIT_FSIZE, &saved);

        QVERIFY(!ok);
        QCOMPARE(dir.read(SetupIniName), old);
    }

    void saveIntoMissingFolderFails()
    {
        TestFolder dir;
        QVERIFY(!saveSetupIni(dir.file(QStringLiteral("no/such/setup.ini")), example()));
    }
};

QTEST_GUILESS_MAIN(TstSetupIni)
#include "tst_setupini.moc"
