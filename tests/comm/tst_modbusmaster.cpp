#include "fakemeterport.h"
#include "modbusframe.h"
#include "modbusmaster.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace kelmar;
using kelmar::test::FakeMeterPort;

Q_DECLARE_METATYPE(kelmar::ReplyStatus)

namespace {

QByteArray framed(const char *hex)
{
    return withCrc(QByteArray::fromHex(hex));
}

// What one transaction handed back, and when.
struct Outcome
{
    int calls = 0;
    ModbusReading reading;
    qint64 ms = -1;
};

bool start(ModbusMaster &master, const QStringList &t, Outcome &out)
{
    QElapsedTimer clock;
    clock.start();
    return master.MODBUS(t[0], t[1], t[2], t[3], t[4], t[5], [&out, clock](const ModbusReading &r) {
        ++out.calls;
        out.reading = r;
        out.ms = clock.elapsed();
    });
}

const QStringList Slave1Reg0 = {"1", "3", "00", "00", "00", "01"};
const QStringList Slave1Reg1 = {"1", "3", "00", "01", "00", "01"};
const QStringList Slave2Reg0 = {"2", "3", "00", "00", "00", "01"};

// An open fake line whose meter answers every request with `chunks`, the
// first after `delayMs`, each further one `gapMs` after the one before.
void answerWith(FakeMeterPort &port, const QList<QByteArray> &chunks, int delayMs = 20,
                int gapMs = 50)
{
    port.setPortOpen(true);
    port.onOutput = [&port, chunks, delayMs, gapMs](const QByteArray &) {
        for (int i = 0; i < chunks.size(); ++i) {
            const QByteArray chunk = chunks[i];
            QTimer::singleShot(delayMs + i * gapMs, &port, [&port, chunk] { port.arrive(chunk); });
        }
    };
}

} // namespace

class TstModbusMaster : public QObject
{
    Q_OBJECT
private slots:
    void requestGoesOutOnce()
    {
        FakeMeterPort port;
        ModbusMaster master(port);
        answerWith(port, {framed("01030204D2")});
        Outcome out;
        QVERIFY(start(master, Slave1Reg0, out));
        QCOMPARE(out.calls, 0); // never from inside the call
        QVERIFY(master.busy());
        QTRY_COMPARE_WITH_TIMEOUT(out.calls, 1, 5000);
        QVERIFY(!master.busy());
        QCOMPARE(out.reading.text(), QStringLiteral("1234"));
        QCOMPARE(port.requests, QList<QByteArray>{QByteArray::fromHex("010300000001840A")});
    }

    void staleBytesAreDropped()
    {
        // A late reply from before lies in the buffer; it is a valid reply
        // to this very request, and still must not be taken for it.
        FakeMeterPort port;
        port.setPortOpen(true);
        port.onOutput = [](const QByteArray &) {};
        ModbusMaster master(port);
        port.arrive(framed("0103020005"));
        Outcome out;
        QVERIFY(start(master, Slave1Reg0, out));
        QTRY_COMPARE_WITH_TIMEOUT(out.calls, 1, 5000);
        QCOMPARE(port.requests.size(), 1);
        QVERIFY(!out.reading.ok());
        QCOMPARE(out.reading.check.status, ReplyStatus::NoReply);
    }

    // What arrives for "01 03 00 00 00 01", in chunks 50 ms apart: the
    // status and value handed back, and whether the transaction ended with
    // the reply rather than after the whole wait.
    void replies_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<ReplyStatus>("status");
        QTest::addColumn<int>("exceptionCode");
        QTest::addColumn<QString>("reading");
        const QByteArray reply = framed("01030204D2");
        auto row = [](const char *name, QList<QByteArray> chunks, ReplyStatus status,
                      const char *reading, int code = 0) {
            QTest::newRow(name) << chunks << status << code << QString::fromLatin1(reading);
        };
        row("01 03 02 04 D2", {reply}, ReplyStatus::Ok, "1234");
        row("01 03 02 FF FE", {framed("010302FFFE")}, ReplyStatus::Ok, "-2");
        row("01 03 02 | 04 D2 CRC: split", {reply.left(3), reply.mid(3)}, ReplyStatus::Ok, "1234");
        row("FF 00 55 before the reply", {QByteArray::fromHex("FF0055") + reply}, ReplyStatus::Ok,
            "1234");
        row("slave 3's late frame, then the reply", {framed("03030400000001"), reply},
            ReplyStatus::Ok, "1234");
        row("a late reply of 2 registers, then the reply", {framed("010304000004D2") + reply},
            ReplyStatus::Ok, "1234");
        row("exception 01 83 02", {framed("018302")}, ReplyStatus::Exception, "", 2);
        row("nothing", {}, ReplyStatus::NoReply, "");
        row("short 01 03 02 12", {QByteArray::fromHex("01030212")}, ReplyStatus::Short, "");
        row("slave 2 answers", {framed("02030204D2")}, ReplyStatus::WrongSlave, "");
        row("bad CRC", {QByteArray::fromHex("01030204D20000")}, ReplyStatus::BadCrc, "");
        row("noise only", {QByteArray::fromHex("FF00FF")}, ReplyStatus::Noise, "");
        row("slave 2's frame, then a bad CRC",
            {framed("02030204D2"), QByteArray::fromHex("01030204D20000")}, ReplyStatus::BadCrc, "");
    }
    void replies()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(ReplyStatus, status);
        QFETCH(int, exceptionCode);
        QFETCH(QString, reading);
        FakeMeterPort port;
        ModbusMaster master(port);
        answerWith(port, chunks);
        QSignalSpy finished(&master, &ModbusMaster::finished);
        Outcome out;
        QVERIFY(start(master, Slave1Reg0, out));
        QVERIFY(finished.wait(5000));
        QCOMPARE(out.calls, 1);
        QCOMPARE(out.reading.check.status, status);
        QCOMPARE(int(out.reading.check.exceptionCode), exceptionCode);
        QCOMPARE(out.reading.text(), reading);
        QCOMPARE(out.reading.ok(), status == ReplyStatus::Ok);
        QCOMPARE(finished.at(0).at(0).value<ModbusReading>().text(), reading);
        // A whole reply ends the wait; anything else takes all of it.
        const bool whole = status == ReplyStatus::Ok || status == ReplyStatus::Exception;
        if (whole)
            QVERIFY2(out.ms < ModbusMaster::ReplyWaitMs, qPrintable(QString::number(out.ms)));
        else
            QVERIFY2(out.ms >= ModbusMaster::ReplyWaitMs, qPrintable(QString::number(out.ms)));
    }

    // Stray bytes around the reply to "01 03 00 00 00 01": 32 KB of them
    // arrive 10 ms after the request, the reply (if any) 30 ms later. The
    // reply is found within its wait however they look, and everything else
    // is handed back as thrown away.
    void flood_data()
    {
        QTest::addColumn<QByteArray>("before"); // waiting when the request goes out
        QTest::addColumn<QByteArray>("flood");
        QTest::addColumn<bool>("replies");
        QTest::addColumn<ReplyStatus>("status");
        const int size = 32 * 1024;
        QByteArray noise(size, Qt::Uninitialized);
        QRandomGenerator random(7);
        for (char &c : noise)
            c = char(random.bounded(256));
        QByteArray badCrc = framed("01030204D2");
        badCrc[6] = char(badCrc[6] ^ 1);
        const auto repeated = [size](const QByteArray &unit) {
            return unit.repeated(size / unit.size() + 1).left(size);
        };
        QTest::newRow("32 KB of noise, then the reply")
            << QByteArray() << noise << true << ReplyStatus::Ok;
        QTest::newRow("32 KB of replies with a bad CRC, then the reply")
            << QByteArray() << repeated(badCrc) << true << ReplyStatus::Ok;
        // Each header asks for a 255-byte frame's CRC to be checked.
        QTest::newRow("32 KB of 01 03 FA headers, then the reply")
            << QByteArray() << repeated(QByteArray::fromHex("0103FA")) << true << ReplyStatus::Ok;
        QTest::newRow("a late reply waiting, then the reply")
            << framed("0103020005") << QByteArray() << true << ReplyStatus::Ok;
        QTest::newRow("32 KB of FF, no reply")
            << QByteArray() << repeated(QByteArray::fromHex("FF")) << false << ReplyStatus::Noise;
        QTest::newRow("32 KB of slave 2's replies, no reply")
            << QByteArray() << repeated(framed("02030204D2")) << false << ReplyStatus::WrongSlave;
    }
    void flood()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, flood);
        QFETCH(bool, replies);
        QFETCH(ReplyStatus, status);
        FakeMeterPort port;
        port.setPortOpen(true);
        port.onOutput = [&](const QByteArray &) {
            QTimer::singleShot(10, &port, [&] { port.arrive(flood); });
            if (replies)
                QTimer::singleShot(40, &port, [&] { port.arrive(framed("01030204D2")); });
        };
        port.arrive(before);
        ModbusMaster master(port);
        Outcome out;
        QVERIFY(start(master, Slave1Reg0, out));
        QTRY_COMPARE_WITH_TIMEOUT(out.calls, 1, 60000);
        QCOMPARE(out.reading.check.status, status);
        QCOMPARE(out.reading.text(), replies ? QStringLiteral("1234") : QString());
        QCOMPARE(out.reading.discardedBytes, qint64(before.size() + flood.size()));
        if (replies)
            QVERIFY2(out.ms < ModbusMaster::ReplyWaitMs, qPrintable(QString::number(out.ms)));
    }

    // The next request right after a reply: a serial line must fall silent
    // first, a gateway takes it at once, without a timer.
    void nextRequestAfterReply_data()
    {
        QTest::addColumn<bool>("gateway");
        QTest::addColumn<int>("sentInCallback");
        QTest::newRow("serial line at 9600 baud: after 3.5 characters") << false << 1;
        QTest::newRow("network gateway: at once") << true << 2;
    }
    void nextRequestAfterReply()
    {
        QFETCH(bool, gateway);
        QFETCH(int, sentInCallback);
        struct GatewayPort : FakeMeterPort
        {
            bool gateway = false;
            bool needsLineSilence() const override { return !gateway; }
        } port;
        port.gateway = gateway;
        port.setPortOpen(true);
        ModbusMaster master(port);
        Outcome second;
        int sent = 0;
        QVERIFY(master.MODBUS("1", "3", "00", "00", "00", "01", [&](const ModbusReading &) {
            start(master, Slave2Reg0, second);
            sent = int(port.requests.size());
        }));
        QTRY_COMPARE_WITH_TIMEOUT(second.calls, 1, 5000);
        QCOMPARE(sent, sentInCallback);
        QVERIFY(second.reading.ok());
    }

    void brokenPort_data()
    {
        QTest::addColumn<bool>("closed");
        QTest::newRow("port closed") << true;
        QTest::newRow("receive count fails") << false;
    }
    void brokenPort()
    {
        QFETCH(bool, closed);
        FakeMeterPort port;
        ModbusMaster master(port);
        answerWith(port, {framed("01030204D2")});
        if (closed)
            port.setPortOpen(false);
        else
            port.brokenCount = true;
        Outcome out;
        QVERIFY(start(master, Slave1Reg0, out));
        QCOMPARE(out.calls, 0);
        QTRY_COMPARE_WITH_TIMEOUT(out.calls, 1, 5000);
        QCOMPARE(out.reading.text(), QString());
        QCOMPARE(out.reading.check.status, ReplyStatus::NoReply);
        QVERIFY(out.ms >= ModbusMaster::ReplyWaitMs);
    }

    void refusesWhileBusy()
    {
        FakeMeterPort port;
        ModbusMaster master(port);
        answerWith(port, {framed("01030204D2")});
        Outcome first, second;
        QVERIFY(start(master, Slave1Reg0, first));
        QVERIFY(!start(master, Slave2Reg0, second));
        QTRY_COMPARE_WITH_TIMEOUT(first.calls, 1, 5000);
        QCOMPARE(port.requests.size(), 1);
        QCOMPARE(first.reading.text(), QStringLiteral("1234"));
        // The refused call never answers, not even later.
        Outcome third;
        QVERIFY(start(master, Slave1Reg0, third));
        QTRY_COMPARE_WITH_TIMEOUT(third.calls, 1, 5000);
        QCOMPARE(second.calls, 0);
        QCOMPARE(first.calls, 1);
    }

    void doneMayStartTheNext()
    {
        FakeMeterPort port;
        ModbusMaster master(port);
        answerWith(port, {framed("01030204D2")});
        Outcome second;
        bool accepted = false;
        QVERIFY(master.MODBUS("1", "3", "00", "00", "00", "01", [&](const ModbusReading &) {
            accepted = start(master, Slave1Reg0, second);
        }));
        QTRY_COMPARE_WITH_TIMEOUT(second.calls, 1, 5000);
        QVERIFY(accepted);
        QCOMPARE(second.reading.text(), QStringLiteral("1234"));
    }

    void destroyedWhilePending()
    {
        FakeMeterPort port;
        auto *master = new ModbusMaster(port);
        answerWith(port, {framed("01030204D2")});
        Outcome gone;
        QVERIFY(start(*master, Slave1Reg0, gone));
        delete master;

        // A transaction started later has failed after its whole wait, so
        // the destroyed one's would have run out by now.
        FakeMeterPort otherPort;
        otherPort.setPortOpen(true);
        otherPort.silent.insert(1);
        ModbusMaster witness(otherPort);
        Outcome later;
        QVERIFY(start(witness, Slave1Reg0, later));
        QTRY_COMPARE_WITH_TIMEOUT(later.calls, 1, 5000);
        QCOMPARE(gone.calls, 0);
    }

    void eventsAreHandledWhileWaiting()
    {
        FakeMeterPort port;
        port.setPortOpen(true);
        port.silent.insert(1);
        ModbusMaster master(port);
        int ticks = 0;
        QTimer tick;
        connect(&tick, &QTimer::timeout, this, [&] { ++ticks; });
        tick.start(20);
        int ticksWhenDone = -1;
        QVERIFY(master.MODBUS("1", "3", "00", "00", "00", "01",
                              [&](const ModbusReading &) { ticksWhenDone = ticks; }));
        QTRY_VERIFY_WITH_TIMEOUT(ticksWhenDone >= 0, 5000);
        QVERIFY2(ticksWhenDone >= 1, qPrintable(QString::number(ticksWhenDone)));
    }

    void lateReplyIsNotTheNextValue()
    {
        // The meter answers the first request 300 ms late, inside the wait
        // of the next one, which reads another register of the same meter:
        // that late reply passes every check of the next request.
        FakeMeterPort port;
        port.setPortOpen(true);
        ModbusMaster master(port);
        QElapsedTimer line;
        line.start();
        QList<qint64> sentAt;
        port.onOutput = [&](const QByteArray &request) {
            sentAt << line.elapsed();
            if (request == framed("010300000001"))
                QTimer::singleShot(300, &port, [&] { port.arrive(framed("01030203E7")); });
        };
        Outcome first, second;
        QVERIFY(start(master, Slave1Reg0, first));
        QTRY_COMPARE_WITH_TIMEOUT(first.calls, 1, 5000);
        QCOMPARE(first.reading.check.status, ReplyStatus::NoReply);
        QVERIFY(start(master, Slave1Reg1, second));
        QTRY_COMPARE_WITH_TIMEOUT(second.calls, 1, 5000);
        QCOMPARE(second.reading.text(), QString()); // not 999
        QCOMPARE(sentAt.size(), 2);
        // The slave is not trusted after the miss: what goes out next asks
        // for a register count the late reply cannot carry.
        QCOMPARE(port.requests[1].mid(0, 4), framed("010300010002").mid(0, 4));
        QVERIFY(port.requests[1].mid(4, 2) != port.requests[0].mid(4, 2));
    }

    // After a miss, the slave's next reading goes out only behind a probe of
    // a count no late reply can have; once that is answered the reading
    // comes in the same transaction.
    void freshShapeProvesTheSlaveAgain()
    {
        FakeMeterPort port;
        port.setPortOpen(true);
        port.registers[{1, 0}] = 1;
        port.registers[{1, 1}] = 2;
        port.silent.insert(1);
        ModbusMaster master(port);
        const QStringList twoRegisters = {"1", "3", "00", "00", "00", "02"};
        Outcome missed, proved;
        QVERIFY(start(master, twoRegisters, missed));
        QTRY_COMPARE_WITH_TIMEOUT(missed.calls, 1, 5000);
        QVERIFY(!missed.reading.ok());
        port.silent.clear();
        QVERIFY(start(master, twoRegisters, proved));
        QTRY_COMPARE_WITH_TIMEOUT(proved.calls, 1, 5000);
        QCOMPARE(proved.reading.text(), QStringLiteral("65538"));
        QCOMPARE(port.requests, (QList<QByteArray>{framed("010300000002"), framed("010300000001"),
                                                   framed("010300000002")}));
    }

    void otherShapesAreNotHeldBack()
    {
        FakeMeterPort port;
        port.setPortOpen(true);
        ModbusMaster master(port);
        QElapsedTimer line;
        line.start();
        QList<qint64> sentAt;
        port.onOutput = [&](const QByteArray &) { sentAt << line.elapsed(); };
        Outcome first, second;
        // The second request goes out as soon as the first has ended, as the
        // polling cycle sends them.
        bool secondStarted = false;
        QObject::connect(&master, &ModbusMaster::finished, &master, [&] {
            if (!secondStarted)
                secondStarted = start(master, Slave2Reg0, second);
        });
        QVERIFY(start(master, Slave1Reg0, first));
        QTRY_COMPARE_WITH_TIMEOUT(second.calls, 1, 5000);
        QVERIFY(secondStarted);
        QCOMPARE(sentAt.size(), 2);
        QVERIFY2(sentAt[1] - sentAt[0] < 2 * ModbusMaster::ReplyWaitMs,
                 qPrintable(QString::number(sentAt[1] - sentAt[0])));
    }

    // 3.5 characters of start, data, parity and stop bits at the baud rate.
    void interFrameGap_data()
    {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<qint64>("ns");
        QTest::newRow("9600,N,8,1: 35 bits") << "9600,N,8,1" << qint64(3645834);
        QTest::newRow("9600,E,8,1: 38.5 bits") << "9600,E,8,1" << qint64(4010417);
        QTest::newRow("1200,O,8,2: 42 bits") << "1200,O,8,2" << qint64(35000000);
        QTest::newRow("19200,N,7,1.5: 33.25 bits") << "19200,N,7,1.5" << qint64(1731771);
        QTest::newRow("unreadable text: 9600,N,8,1") << "fast" << qint64(3645834);
    }
    void interFrameGap()
    {
        QFETCH(QString, settings);
        QFETCH(qint64, ns);
        QCOMPARE(ModbusMaster::interFrameGapNs(settings), ns);
    }

    void chatteringLineStillGetsTheRequest()
    {
        // A line that never falls silent (a byte every 2 ms, where 1200 baud
        // asks for 29 ms of silence) holds a request back for one reply wait
        // at most; the transaction always ends.
        FakeMeterPort port;
        port.setSettings(QStringLiteral("1200,N,8,1"));
        port.setPortOpen(true);
        port.silent.insert(2);
        ModbusMaster master(port);
        QTimer chatter;
        QObject::connect(&chatter, &QTimer::timeout, &port, [&] { port.arrive("\x55"); });
        chatter.start(2);
        QTest::qWait(20);
        Outcome out;
        QVERIFY(start(master, Slave2Reg0, out));
        QTRY_COMPARE_WITH_TIMEOUT(out.calls, 1, 5000);
        QCOMPARE(port.requests.size(), 1);
        QVERIFY(!out.reading.ok());
    }

    void silenceBeforeTheNextRequest()
    {
        // At 1200,O,8,2 the line must be quiet for 35 ms after a reply
        // before the next request may follow.
        FakeMeterPort port;
        port.setSettings(QStringLiteral("1200,O,8,2"));
        port.setPortOpen(true);
        ModbusMaster master(port);
        QElapsedTimer line;
        line.start();
        QList<qint64> sentAt;
        QList<qint64> arrivedAt;
        port.onOutput = [&](const QByteArray &) {
            sentAt << line.nsecsElapsed();
            QTimer::singleShot(5, &port, [&] {
                arrivedAt << line.nsecsElapsed();
                port.arrive(framed("01030204D2"));
            });
        };
        Outcome first, second;
        QVERIFY(master.MODBUS("1", "3", "00", "00", "00", "01", [&](const ModbusReading &r) {
            first.reading = r;
            start(master, Slave2Reg0, second);
        }));
        QTRY_COMPARE_WITH_TIMEOUT(second.calls, 1, 5000);
        QVERIFY(first.reading.ok());
        QCOMPARE(sentAt.size(), 2);
        QVERIFY2(sentAt[1] - arrivedAt[0] >= ModbusMaster::interFrameGapNs("1200,O,8,2"),
                 qPrintable(QString::number(sentAt[1] - arrivedAt[0])));
    }
};

QTEST_GUILESS_MAIN(TstModbusMaster)
#include "tst_modbusmaster.moc"
