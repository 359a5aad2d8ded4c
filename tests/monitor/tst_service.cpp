#include "brokerfixture.h"
#include "commandline.h"
#include "cp950.h"
#include "gatewaysim.h"
#include "metersini.h"
#include "publishconfig.h"
#include "setupini.h"
#include "testfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

using namespace kelmar;
using kelmar::test::Broker;
using kelmar::test::Subscriber;

Q_DECLARE_METATYPE(kelmar::CommandLine::Mode)

// The program without windows, as a plant runs it on a box without a
// display: started by the system with a program folder, stopped by SIGTERM
// (on Windows by WM_CLOSE to its main thread). Under Wine the simulator and
// the broker run outside Wine (hostprocess.h).
class TstService : public QObject
{
    Q_OBJECT
private slots:
    void commandLine_data();
    void commandLine();
    void recordsAndPublishesTheRegisters_data();
    void recordsAndPublishesTheRegisters();
};

void TstService::commandLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<CommandLine::Mode>("mode");
    QTest::addColumn<QString>("dir");
    QTest::addColumn<bool>("record");
    QTest::addColumn<QString>("lang"); // and what Qt sees in the windows mode: args without --lang
    using M = CommandLine::Mode;
    QTest::newRow("no argument: the windows") << QStringList{} << M::Windows << "" << true << "";
    QTest::newRow("Qt's own options are Qt's") << QStringList{"-platform", "offscreen"} << M::Windows << "" << true << "";
    QTest::newRow("--service alone: the program's folder") << QStringList{"--service"} << M::Service << "" << true << "";
    QTest::newRow("--service with a folder") << QStringList{"--service", "/srv/line7"} << M::Service << "/srv/line7" << true << "";
    QTest::newRow("--no-record after the folder") << QStringList{"--service", "/srv/l", "--no-record"} << M::Service << "/srv/l" << false << "";
    QTest::newRow("--no-record before --service") << QStringList{"--no-record", "--service"} << M::Service << "" << false << "";
    QTest::newRow("--help wins") << QStringList{"--service", "--help"} << M::Help << "" << true << "";
    QTest::newRow("unknown option of the service") << QStringList{"--service", "--bogus"} << M::Refused << "" << true << "";
    QTest::newRow("unknown option before --service") << QStringList{"--bogus", "--service"} << M::Refused << "" << true << "";
    QTest::newRow("--no-record without the service") << QStringList{"--no-record"} << M::Refused << "" << true << "";
    QTest::newRow("--lang before the service's folder") << QStringList{"--lang", "en", "--service", "/srv/l"} << M::Service << "/srv/l" << true << "en";
    QTest::newRow("--lang= among Qt's options") << QStringList{"-platform", "offscreen", "--lang=zh_TW"} << M::Windows << "" << true << "zh_TW";
    QTest::newRow("--lang for the usage") << QStringList{"--help", "--lang", "en"} << M::Help << "" << true << "en";
    QTest::newRow("--lang of another language") << QStringList{"--lang", "xx"} << M::Refused << "" << true << "";
    QTest::newRow("--lang without a language") << QStringList{"--service", "--lang"} << M::Refused << "" << true << "";
}

void TstService::commandLine()
{
    QFETCH(QStringList, args);
    QFETCH(CommandLine::Mode, mode);
    QFETCH(QString, dir);
    QFETCH(bool, record);
    QFETCH(QString, lang);
    const CommandLine c = parseCommandLine(args);
    QCOMPARE(c.mode, mode);
    if (mode == CommandLine::Mode::Refused)
        return;
    QCOMPARE(c.language, lang);
    if (mode == CommandLine::Mode::Service) {
        QCOMPARE(c.programDir, dir);
        QCOMPARE(c.record, record);
    }
    if (mode == CommandLine::Mode::Windows) {
        QStringList forQt;
        for (const int i : argumentsForQt(args))
            forQt << args.at(i);
        QStringList expected = args;
        expected.removeIf([](const QString &a) { return a.startsWith(u"--lang"); });
        QCOMPARE(forQt, expected);
    }
}

void TstService::recordsAndPublishesTheRegisters_data()
{
    QTest::addColumn<bool>("record");
    QTest::addColumn<QString>("lang"); // nothing written changes with it
    // Kelmar_T copied alone to a folder: no service program beside it.
    QTest::addColumn<bool>("alone");
    QTest::newRow("recording") << true << "zh_TW" << false;
    QTest::newRow("--no-record") << false << "zh_TW" << false;
    QTest::newRow("recording, in English") << true << "en" << false;
#ifdef Q_OS_LINUX
    QTest::newRow("Kelmar_T without the service program runs it itself") << true << "zh_TW" << true;
#endif
}

void TstService::recordsAndPublishesTheRegisters()
{
    QFETCH(bool, record);
    QFETCH(QString, lang);
    QFETCH(bool, alone);
    Broker broker;
    QVERIFY(broker.start());
    Subscriber sub(broker, {QStringLiteral("kelmar/svc/#")});
    QVERIFY(sub.start());

    // Six meters would do as well; two kinds show the road of a reading: a
    // two-value meter with one decimal, a 32-bit counter.
    test::GatewaySimulator meters(PortTarget::Kind::ModbusTcp);
    QString error;
    QVERIFY2(meters.start({"--slave", "1", "--reg", "0=2301", "--reg", "2=-57", "--slave", "2",
                           "--reg", "0x10=123456789/2"},
                          &error),
             qPrintable(error));

    test::TestFolder dir;
    QVERIFY(dir.copyDist());
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("com")));
    QVERIFY(dir.write(QStringLiteral("com/gateway1"), QByteArrayLiteral("tcp://127.0.0.1:") +
                                                          QByteArray::number(meters.port()) +
                                                          "\n"));
    SetupFile setup;
    setup.host.recordFolder = QStringLiteral("rec/");
    setup.extension = QStringLiteral("txt");
    setup.recordSeconds = QStringLiteral("1");
    QVERIFY(saveSetupIni(dir.file(SetupIniName), setup));
    std::array<SavedSlot, SlotCount> saved;
    saved[0] = {true, 1, 1, QStringLiteral("ZRP-VA    "), QStringLiteral("一號")};
    saved[1] = {true, 2, 0, QStringLiteral("VQ2-KWH   "), QStringLiteral("電能")};
    QVERIFY(saveMetersIni(metersIniPath(dir.path()), saved).ok);
    PublishConfig c = defaultPublishConfig(QStringLiteral("test"));
    c.enabled = true;
    c.port = broker.port();
    c.topicPrefix = QStringLiteral("kelmar/svc");
    c.clientId = QStringLiteral("svc-under-test");
    QVERIFY(savePublishConfig(dir.file(QStringLiteral("publish.ini")), c).ok);

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // No display of any kind: the service must not need one.
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    program.setProcessEnvironment(env);
    QStringList args{QStringLiteral("--service"), dir.path(), QStringLiteral("--lang"), lang};
    if (!record)
        args << QStringLiteral("--no-record");
    QString kelmarT = QStringLiteral(KELMAR_PROGRAM);
    if (alone) {
        QVERIFY(QFile::copy(kelmarT, dir.file(QStringLiteral("Kelmar_T"))));
        kelmarT = dir.file(QStringLiteral("Kelmar_T"));
    }
    program.start(kelmarT, args);
    QVERIFY(program.waitForStarted());

    const QString slot1 = QStringLiteral("kelmar/svc/slot/1");
    const QString slot2 = QStringLiteral("kelmar/svc/slot/2");
    QTRY_VERIFY_WITH_TIMEOUT(sub.payloads(slot2).size() >= 3, 30000);
#ifdef Q_OS_LINUX
    // The same process, now the service program's where it lies beside Kelmar_T.
    const QFileInfo running(QStringLiteral("/proc/%1/exe").arg(program.processId()));
    const QFileInfo expected(alone ? kelmarT
                                   : QFileInfo(kelmarT).dir().filePath(QStringLiteral("kelmar-t-service")));
    QCOMPARE(running.canonicalFilePath(), expected.canonicalFilePath());
#endif
    program.terminate();
    QVERIFY(program.waitForFinished(10000));
    const QString log = QString::fromUtf8(program.readAllStandardError());
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QVERIFY2(program.exitCode() == 0, qPrintable(log));
    // The log reaches a parent that takes it, from a program built without a console too.
    if (lang == u"en") {
        QVERIFY2(log.contains(QStringLiteral(" info: ")), qPrintable(log));
        QVERIFY2(!log.contains(QRegularExpression(QStringLiteral("[\\x{3000}-\\x{9fff}]"))), qPrintable(log));
    } else {
        QVERIFY2(log.contains(QStringLiteral("info: 結束 (ended)")), qPrintable(log));
    }
    meters.stop();

    // Every message is the registers' values, as numbers.
    for (const QByteArray &p : sub.payloads(slot1)) {
        const QJsonObject o = QJsonDocument::fromJson(p).object();
        QCOMPARE(o.value("status").toString(), QStringLiteral("ok"));
        QVERIFY2(p.contains("\"values\":[230.1,-5.7]"), p.constData());
    }
    for (const QByteArray &p : sub.payloads(slot2))
        QVERIFY2(p.contains("\"values\":[123456789]"), p.constData());
    QTRY_COMPARE_WITH_TIMEOUT(sub.payloads(QStringLiteral("kelmar/svc/status")).last(),
                              QByteArray("offline"), 10000);

    const QStringList files = QDir(dir.file(QStringLiteral("rec"))).entryList(QDir::Files);
    if (!record) {
        QVERIFY(files.isEmpty());
        return;
    }
    QCOMPARE(files.size(), 1); // unless the test ran across a full hour
    const QStringList lines =
        decodeCp950(dir.read(QStringLiteral("rec/") + files.first())).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    QVERIFY2(lines.size() >= 2, qPrintable(log));
    QString previous;
    for (const QString &line : lines) {
        const QStringList f = line.split(u'\t');
        QCOMPARE(f.size(), 13);
        QVERIFY2(f[0] > previous, "each second's line once, in order");
        previous = f[0];
        QCOMPARE(f.mid(1, 4), (QStringList{"230.1", "-5.7", "123456789", ""}));
    }
}

QTEST_GUILESS_MAIN(TstService)
#include "tst_service.moc"
