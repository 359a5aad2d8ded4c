#include "form4.h"
#include "sessiononfakeline.h"
#include "testmeters.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include "posixfaults.h"

using namespace kelmar;
using kelmar::test::meterAt;

namespace {

const QDate Day(2025, 3, 6);

// Slaves 3 and 4 on the line, answering 31/32 and 41/42, in slots 3 and 4.
struct Run : kelmar::test::SessionOnFakeLine
{
    Run()
    {
        for (int id : {3, 4}) {
            port.registers[{id, 0}] = quint16(id * 10 + 1);
            port.registers[{id, 2}] = quint16(id * 10 + 2);
        }
        s.setSlot(3, meterAt(3));
        s.setSlot(4, meterAt(4));
        editSetup([](SetupFile &f) {
            f.recordSeconds = QStringLiteral("1");
            f.extension = QStringLiteral("txt");
        });
    }
    void start() { startByHand(); }
};

} // namespace

class TstSession : public QObject
{
    Q_OBJECT
private slots:
    // A value that was not read in this tick never stands as if measured,
    // on screen or in the record line.
    void unreadValuesAreEmptied_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("item0");
        QTest::addColumn<QString>("item1");
        QTest::newRow("slot switched off") << "off" << "" << "";
        QTest::newRow("two values become one") << "A" << "31" << "";
        QTest::newRow("meter stops answering") << "silent" << "" << "";
        QTest::newRow("nothing changes") << "" << "31" << "32";
    }
    void unreadValuesAreEmptied()
    {
        QFETCH(QString, change);
        QFETCH(QString, item0);
        QFETCH(QString, item1);
        Run r;
        r.start();
        QVERIFY(r.tick());
        QCOMPARE(r.value(3, 1), QStringLiteral("32"));
        MeterSlot s = r.s.meterSlot(3);
        if (change == QStringLiteral("off"))
            s.enabled = false;
        else if (change == QStringLiteral("A"))
            s.flag = change;
        else if (change == QStringLiteral("silent"))
            r.port.silent.insert(3);
        r.s.setSlot(3, s);
        QVERIFY(r.tick());
        QCOMPARE(r.value(3, 0), item0);
        QCOMPARE(r.value(3, 1), item1);
        const QStringList fields = r.s.recordLine().split(u'\t');
        QCOMPARE(fields.size(), 13);
        QCOMPARE(fields.mid(5, 4), QStringList({item0, item1, QStringLiteral("41"),
                                                QStringLiteral("42")}));
    }

    // After a slave failed, it is not asked again in the same tick: a late
    // reply to the failed request would pass for the next one's.
    void failedSlaveIsNotAskedAgainInTheTick()
    {
        Run r;
        r.port.silent.insert(3);
        r.start();
        QVERIFY(r.tick());
        int toSlave3 = 0;
        for (const QByteArray &q : r.port.requests)
            toSlave3 += quint8(q[0]) == 3;
        QCOMPARE(toSlave3, 1);
        QCOMPARE(r.value(4, 1), QStringLiteral("42"));
    }

    // What each slot's last transactions brought, and the counters since
    // the start button.
    void slotStatusAndCounters_data()
    {
        QTest::addColumn<QByteArray>("reply"); // without CRC; empty: none
        QTest::addColumn<bool>("goodCrc");
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("column"); // good, noReply, badReply, exceptions
        QTest::newRow("no reply") << QByteArray() << true << "無回應" << 1;
        QTest::newRow("bad CRC") << QByteArray("\x03\x03\x02\x00\x1f", 5) << false << "通訊錯誤" << 2;
        QTest::newRow("other slave") << QByteArray("\x05\x03\x02\x00\x1f", 5) << true << "通訊錯誤" << 2;
        QTest::newRow("exception 02") << QByteArray("\x03\x83\x02", 3) << true << "例外 02" << 3;
        QTest::newRow("good") << QByteArray("\x03\x03\x02\x00\x1f", 5) << true << "" << 0;
    }
    void slotStatusAndCounters()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, goodCrc);
        QFETCH(QString, status);
        QFETCH(int, column);
        Run r;
        r.s.setSlot(3, meterAt(3, QStringLiteral("A"))); // one register a request
        r.s.setSlot(4, MeterSlot());
        r.port.onOutput = [&](const QByteArray &) {
            if (reply.isEmpty())
                return;
            QByteArray frame = withCrc(reply);
            if (!goodCrc)
                frame[frame.size() - 1] = char(frame.back() ^ 0xFF);
            r.port.arrive(frame);
        };
        r.start();
        QSignalSpy shown(&r.s, &Session::slotStatusChanged);
        QVERIFY(r.tick());
        QCOMPARE(r.s.slotStatus(3), status);
        const SlotHealth &h = r.s.health(3);
        const int counts[] = {h.good, h.noReply, h.badReply, h.exceptions};
        QCOMPARE(counts[column], 1);
        QCOMPARE(h.transactions, 1);
        QCOMPARE(h.lastFailure, status);
        // A good reply clears the status; the counters go on.
        r.port.onOutput = nullptr;
        QVERIFY(r.tick());
        QCOMPARE(r.s.slotStatus(3), QString());
        QCOMPARE(r.s.health(3).good, status.isEmpty() ? 2 : 1);
        QCOMPARE(shown.isEmpty(), status.isEmpty());
    }

    // Exit stops the record lines; the hourly change still starts the new
    // file while recording is on, and a new start records into it.
    void noRecordLinesAfterExit()
    {
        Run r;
        r.editSetup([&](SetupFile &f) { f.host.recordFolder = r.dir.file(QStringLiteral("log/")); });
        r.s.setRecording(true);
        r.start();
        QVERIFY(r.tick());
        r.s.recordTick();
        const QString first = r.s.recorder().filePath();
        QTRY_COMPARE(QFile(first).size(), qint64(r.s.recordLine().size() + 2));
        r.s.stop();
        r.clock.set(QDateTime(Day, QTime(15, 0, 0)));
        r.s.clockTick();
        const QString second = r.s.recorder().filePath();
        QVERIFY(second.endsWith(QStringLiteral("2025-03-06-1500.txt")));
        QVERIFY(QFile::exists(second));
        for (int i = 0; i < 5; ++i)
            r.s.recordTick();
        QTRY_COMPARE(r.s.recordWriterWaiting(), 0);
        QCOMPARE(QFile(second).size(), qint64(0));
        QCOMPARE(QFile(first).size(), qint64(r.s.recordLine().size() + 2));
        r.start();
        QVERIFY(r.tick());
        r.s.recordTick();
        QTRY_VERIFY(QFile(second).size() > 0);
    }

    // A slot change during monitoring (decimals, ID, model, on/off) takes
    // effect from the next tick, on display and in the record alike; the
    // tick that is reading keeps the setup it began with, so no record line
    // mixes the two.
    void slotChangeTakesEffectAtTheNextTick_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QStringList>("next"); // slot 3's values
        QTest::newRow("decimals 0 to 2") << "decimals" << QStringList{"0.31", "0.32"};
        QTest::newRow("ID 3 to 4") << "id" << QStringList{"41", "42"};
        QTest::newRow("model B to A") << "model" << QStringList{"31", ""};
        QTest::newRow("switched off") << "off" << QStringList{"", ""};
    }
    void slotChangeTakesEffectAtTheNextTick()
    {
        QFETCH(QString, change);
        QFETCH(QStringList, next);
        Run r;
        r.editSetup([&](SetupFile &f) { f.host.recordFolder = r.dir.file(QStringLiteral("log/")); });
        r.s.setRecording(true);
        r.start();
        QSignalSpy ticks(&r.s, &Session::tickFinished);
        r.s.pollTick();
        QVERIFY(r.s.pollTickRunning());
        MeterSlot s = r.s.meterSlot(3);
        if (change == QStringLiteral("decimals"))
            s.decimals = 2;
        else if (change == QStringLiteral("id"))
            s.slaveId = 4;
        else if (change == QStringLiteral("model"))
            s.flag = QStringLiteral("A");
        else
            s.enabled = false;
        r.s.setSlot(3, s);
        QVERIFY(ticks.wait(10000));
        r.s.recordTick();
        QCOMPARE(QStringList({r.value(3, 0), r.value(3, 1)}), QStringList({"31", "32"}));
        QVERIFY(r.tick());
        QCOMPARE(QStringList({r.value(3, 0), r.value(3, 1)}), next);
        r.s.recordTick();
        QTRY_COMPARE_WITH_TIMEOUT(r.s.recordWriterWaiting(), 0, 10000);
        QFile f(r.s.recorder().filePath());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = f.readAll().split('\n');
        QCOMPARE(lines.size(), 3);
        QCOMPARE(QString::fromLatin1(lines[0]).split(u'\t').mid(5, 2), QStringList({"31", "32"}));
        QCOMPARE(QString::fromLatin1(lines[1].chopped(1)).split(u'\t').mid(5, 2), next);
    }

    // A tick that outlives the record interval (a dead line) loses no
    // line, and a tick that outlives its run writes nothing into the next.
    void longTicks_data()
    {
        QTest::addColumn<QString>("during");
        QTest::addColumn<int>("lines");   // in the file in the end
        QTest::addColumn<int>("noReply"); // slot 3's count
        // The tick's line once, not the last tick's again for the interval
        // that ended first.
        QTest::newRow("two intervals") << "record record" << 2 << 1;
        QTest::newRow("Exit") << "exit" << 1 << 0;
        QTest::newRow("Exit and start") << "exit start" << 1 << 0;
    }
    void longTicks()
    {
        QFETCH(QString, during);
        QFETCH(int, lines);
        QFETCH(int, noReply);
        Run r;
        r.editSetup([&](SetupFile &f) { f.host.recordFolder = r.dir.file(QStringLiteral("log/")); });
        r.s.setRecording(true);
        r.start();
        QVERIFY(r.tick());
        r.s.recordTick(); // the first tick's line
        r.port.silent = {3, 4}; // the next tick waits out both meters
        r.s.pollTick();
        for (const QString &step : during.split(u' ')) {
            if (step == QStringLiteral("record"))
                r.s.recordTick();
            else if (step == QStringLiteral("exit"))
                r.s.stop();
            else
                r.start();
        }
        QTRY_VERIFY_WITH_TIMEOUT(!r.s.pollTickRunning(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(r.s.recordWriterWaiting(), 0, 10000);
        QFile f(r.s.recorder().filePath());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll().count("\r\n"), lines);
        QCOMPARE(r.value(3, 0), QString());
        QCOMPARE(r.s.health(3).noReply, noReply);
    }

    // The hourly reopen of the port that fails is a lost line, tried again
    // by every tick, not a silent end of polling.
    void failedReopenIsALostLine()
    {
        Run r;
        r.start();
        r.countTicksUpToReopen();
        QVERIFY(r.tick());
        r.port.unplug(); // during the pause
        QTRY_VERIFY_WITH_TIMEOUT(!r.s.pollTickRunning(), 10000);
        QCOMPARE(r.s.lineState(), MeterLine::State::Lost);
        QVERIFY(r.s.noticeText().contains(QStringLiteral("line lost")));
        r.port.plugIn();
        QVERIFY(r.tick());
        QVERIFY(r.port.PortOpen());
        QCOMPARE(r.value(4, 0), QStringLiteral("41"));
    }

    // An unplugged line turns the lamp red with a report; the next tick
    // that can open it again turns both back. The operator's own disconnect
    // gives no report.
    void lostLineIsReportedUntilReopened()
    {
        Run r;
        r.start();
        QSignalSpy lamp(&r.s, &Session::lineStateChanged);
        r.port.unplug();
        QCOMPARE(r.s.lineState(), MeterLine::State::Lost);
        QCOMPARE(lamp.size(), 1);
        QVERIFY(r.s.noticeText().contains(
            QStringLiteral("COM1 連線中斷，自動重新連線中 (line lost, reconnecting)")));
        QVERIFY(r.tick()); // still unplugged: the report stays
        QCOMPARE(r.s.lineState(), MeterLine::State::Lost);
        r.port.plugIn();
        QVERIFY(r.tick());
        QCOMPARE(r.s.lineState(), MeterLine::State::Open);
        QVERIFY(r.port.PortOpen());
        QCOMPARE(r.s.noticeText(), QString());
        QCOMPARE(r.value(4, 0), QStringLiteral("41"));

        r.disconnectLine();
        QVERIFY(r.tick());
        QCOMPARE(r.s.noticeText(), QString());
        QVERIFY(!r.port.PortOpen());
    }

    // Line 6 of setup.ini: an interval the timer cannot take is refused and
    // reported; 0, which never polls, is reported too.
    void pollIntervalFromSetupIni_data()
    {
        QTest::addColumn<QByteArray>("line6");
        QTest::addColumn<int>("interval");
        QTest::addColumn<bool>("reported");
        QTest::newRow("500") << QByteArray(" 500 ") << 500 << false;
        QTest::newRow("0 never polls") << QByteArray(" 0 ") << 0 << true;
        QTest::newRow("1e400 overflows") << QByteArray("1e400") << 1000 << true;
        QTest::newRow("70000 too long") << QByteArray("70000") << 1000 << true;
        QTest::newRow("negative") << QByteArray("-5") << 1000 << true;
        QTest::newRow("70000%2 quoted as written") << QByteArray("70000%2") << 1000 << true;
    }
    void pollIntervalFromSetupIni()
    {
        QFETCH(QByteArray, line6);
        QFETCH(int, interval);
        QFETCH(bool, reported);
        Run r;
        QVERIFY(r.dir.write(SetupIniName, " 1 \r\n9600\r\nN,8,1\r\n\r\n800X600\r\n" + line6 +
                                              "\r\nReserved\r\ntxt\r\nKelmar\r\n1\r\n"));
        r.s.load();
        QCOMPARE(r.s.pollTimer().interval(), interval);
        QCOMPARE(r.s.noticeText().isEmpty(), !reported);
        if (reported && interval != 0)
            QVERIFY2(r.s.noticeText().contains(u'"' + QString::fromLatin1(line6) + u'"'),
                     qPrintable(r.s.noticeText()));
    }

    // Start-up files that are not regular files of a sane size give the
    // defaults, as a missing file does, and never hang or fill the memory.
    void startUpFilesThatAreNoFiles_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("pipe") << "fifo";
        QTest::newRow("link to /dev/zero") << "zero";
        QTest::newRow("oversized") << "large";
        QTest::newRow("folder") << "folder";
    }
    void startUpFilesThatAreNoFiles()
    {
        QFETCH(QString, kind);
        Run r;
        for (const QString &name : {SetupIniName, QStringLiteral("meter.txt")}) {
            const QString path = r.dir.file(name);
            if (kind != QStringLiteral("large") && kind != QStringLiteral("folder") &&
                !kelmar::test::CanMakePosixFaults)
                QSKIP("Windows has neither named pipes nor /dev/zero");
            if (kind == QStringLiteral("fifo"))
                QVERIFY(kelmar::test::makeFifo(path));
            else if (kind == QStringLiteral("zero"))
                QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
            else if (kind == QStringLiteral("large"))
                QVERIFY(r.dir.write(name, " 3 \r\n" + QByteArray(600 * 1024, 'x')));
            else
                QVERIFY(QDir().mkdir(path));
        }
        r.s.load();
        QCOMPARE(r.s.setup().host.portNumber, 1);
        QCOMPARE(r.s.pollTimer().interval(), 1000);
        QCOMPARE(Form4::FileContent(r.dir.file(QStringLiteral("meter.txt"))), QString());
    }

    // The timers tick just after each full second of the system clock, so
    // that the clock shows the system's second and the record stamp, the
    // clock drawn with the readings and the broker's time of a tick name
    // the same second, wherever in a second the start button was pressed.
    void ticksFallJustAfterTheFullSecond_data()
    {
        QTest::addColumn<int>("pressedAtMs");
        QTest::newRow("start early in a second") << 100;
        QTest::newRow("start late in a second") << 650;
    }
    void ticksFallJustAfterTheFullSecond()
    {
        QFETCH(int, pressedAtMs);
        test::TestFolder dir;
        test::FakeMeterPort port;
        port.registers[{3, 0}] = 31;
        MeterLine line(test::lendPort(port));
        Session s(dir.path(), Clock::system(), line);
        line.connectLine(1, QStringLiteral("9600,N,8,1"));
        s.setSlot(3, meterAt(3, QStringLiteral("A")));
        QTRY_VERIFY_WITH_TIMEOUT(qAbs(QTime::currentTime().msec() - pressedAtMs) < 40, 5000);
        QList<QDateTime> ticks;
        connect(&s, &Session::tickEnded, this, [&](const TickSample &t) { ticks << t.time; });
        s.start();
        QTRY_VERIFY_WITH_TIMEOUT(ticks.size() >= 3, 10000);
        s.stop();
        // Generous for a busy machine; the timers aim at 5 ms.
        for (const QDateTime &t : ticks)
            QVERIFY2(t.time().msec() < 500, qPrintable(t.toString(u"hh:mm:ss.zzz")));
    }
};

QTEST_MAIN(TstSession)
#include "tst_session.moc"
