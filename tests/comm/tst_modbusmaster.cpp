#include "fakeserialport.h"
#include "modbusframe.h"
#include "modbusmaster.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace kelmar;
using kelmar::test::FakeSerialPort;

namespace {

QByteArray framed(const char *hex)
{
    return withCrc(QByteArray::fromHex(hex));
}

// What one transaction handed back, and when.
struct Outcome
{
    int calls = 0;
    QString reading;
    qint64 ms = -1;
};

bool start(ModbusMaster &master, const QStringList &t, Outcome &out)
{
    QElapsedTimer clock;
    clock.start();
    return master.MODBUS(t[0], t[1], t[2], t[3], t[4], t[5], [&out, clock](const QString &r) {
        ++out.calls;
        out.reading = r;
        out.ms = clock.elapsed();
    });
}

const QStringList Slave1Reg0 = {"1", "3", "00", "00", "00", "01"};
const QStringList Slave1Reg1 = {"1", "3", "00", "01", "00", "01"};
const QStringList Slave2Reg0 = {"2", "3", "00", "00", "00", "01"};

// The fake meter answers every request with `reply` after `delayMs`.
void answerWith(FakeSerialPort &port, const QByteArray &reply, int delayMs = 20)
{
    port.onOutput = [&port, reply, delayMs](const QByteArray &) {
        QTimer::singleShot(delayMs, &port, [&port, reply] { port.arrive(reply); });
    };
}

} // namespace

class TstModbusMaster : public QObject
{
    Q_OBJECT
private slots:
    void oneLookOneReadAfterTheWait()
    {
        FakeSerialPort port;
        ModbusMaster master(port);
        answerWith(port, framed("01030204D2"));
        Outcome out;
        QVERIFY(start(master, Slave1Reg0, out));
        QCOMPARE(out.calls, 0); // never from inside the call
        QVERIFY(master.busy());
        QTRY_COMPARE_WITH_TIMEOUT(out.calls, 1, 5000);
        QCOMPARE(out.reading, QStringLiteral("1234"));
        QVERIFY2(out.ms >= ModbusMaster::ReplyWaitMs, qPrintable(QString::number(out.ms)));
        QVERIFY(!master.busy());
        QCOMPARE(port.written, QList<QByteArray>{QByteArray::fromHex("010300000001840A")});
        QCOMPARE(port.calls, (QStringList{"Input", "Output", "InBufferCount", "Input"}));
    }

    void staleBytesAreDropped()
    {
        // A late reply from before lies in the buffer; it is a valid reply
        // to this very request, and still must not be taken for it.
        FakeSerialPort port;
        ModbusMaster master(port);
        port.arrive(framed("0103020005"));
        Outcome out;
        QVERIFY(start(master, Slave1Reg0, out));
        QVERIFY(port.waiting().isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(out.calls, 1, 5000);
        QCOMPARE(out.reading, QString());
        // Nothing counted, so nothing read.
        QCOMPARE(port.calls, (QStringList{"Input", "Output", "InBufferCount"}));
    }

    void replies_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("reading");
        QTest::newRow("01 03 02 04 D2") << framed("01030204D2") << "1234";
        QTest::newRow("01 03 02 FF FE") << framed("010302FFFE") << "-2";
        QTest::newRow("nothing") << QByteArray() << "";
        QTest::newRow("short 01 03 02 12") << QByteArray::fromHex("01030212") << "";
        QTest::newRow("exception 01 83 02") << framed("018302") << "";
        QTest::newRow("slave 2 answers") << framed("02030204D2") << "";
        QTest::newRow("bad CRC") << QByteArray::fromHex("01030204D20000") << "";
    }
    void replies()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, reading);
        FakeSerialPort port;
        ModbusMaster master(port);
        answerWith(port, reply);
        QSignalSpy finished(&master, &ModbusMaster::finished);
        Outcome out;
        QVERIFY(start(master, Slave1Reg0, out));
        QVERIFY(finished.wait(5000));
        QCOMPARE(out.calls, 1);
        QCOMPARE(out.reading, reading);
        QCOMPARE(finished.at(0).at(0).toString(), reading);
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
        FakeSerialPort port;
        ModbusMaster master(port);
        answerWith(port, framed("01030204D2"));
        if (closed)
            port.setPortOpen(false);
        else
            port.brokenCount = true;
        Outcome out;
        QVERIFY(start(master, Slave1Reg0, out));
        QCOMPARE(out.calls, 0);
        QTRY_COMPARE_WITH_TIMEOUT(out.calls, 1, 5000);
        QCOMPARE(out.reading, QString());
        QVERIFY(out.ms >= ModbusMaster::ReplyWaitMs);
    }

    void refusesWhileBusy()
    {
        FakeSerialPort port;
        ModbusMaster master(port);
        answerWith(port, framed("01030204D2"));
        Outcome first, second;
        QVERIFY(start(master, Slave1Reg0, first));
        QVERIFY(!start(master, Slave2Reg0, second));
        QCOMPARE(port.written.size(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(first.calls, 1, 5000);
        QCOMPARE(first.reading, QStringLiteral("1234"));
        // The refused call never answers, not even later.
        Outcome third;
        QVERIFY(start(master, Slave1Reg0, third));
        QTRY_COMPARE_WITH_TIMEOUT(third.calls, 1, 5000);
        QCOMPARE(second.calls, 0);
        QCOMPARE(first.calls, 1);
    }

    void doneMayStartTheNext()
    {
        FakeSerialPort port;
        ModbusMaster master(port);
        answerWith(port, framed("01030204D2"));
        Outcome second;
        bool accepted = false;
        QVERIFY(master.MODBUS("1", "3", "00", "00", "00", "01", [&](const QString &) {
            accepted = start(master, Slave1Reg0, second);
        }));
        QTRY_COMPARE_WITH_TIMEOUT(second.calls, 1, 5000);
        QVERIFY(accepted);
        QCOMPARE(second.reading, QStringLiteral("1234"));
    }

    void destroyedWhilePending()
    {
        FakeSerialPort port;
        auto *master = new ModbusMaster(port);
        answerWith(port, framed("01030204D2"));
        Outcome gone;
        QVERIFY(start(*master, Slave1Reg0, gone));
        delete master;

        // A transaction started later has finished, so the destroyed one's
        // wait would have run out by now.
        FakeSerialPort otherPort;
        ModbusMaster witness(otherPort);
        Outcome later;
        QVERIFY(start(witness, Slave1Reg0, later));
        QTRY_COMPARE_WITH_TIMEOUT(later.calls, 1, 5000);
        QCOMPARE(gone.calls, 0);
    }

    void eventsAreHandledWhileWaiting()
    {
        FakeSerialPort port;
        ModbusMaster master(port);
        answerWith(port, framed("01030204D2"));
        int ticks = 0;
        QTimer tick;
        connect(&tick, &QTimer::timeout, this, [&] { ++ticks; });
        tick.start(20);
        int ticksWhenDone = -1;
        QVERIFY(master.MODBUS("1", "3", "00", "00", "00", "01",
                              [&](const QString &) { ticksWhenDone = ticks; }));
        QTRY_VERIFY_WITH_TIMEOUT(ticksWhenDone >= 0, 5000);
        QVERIFY2(ticksWhenDone >= 1, qPrintable(QString::number(ticksWhenDone)));
    }

    void lateReplyIsNotTheNextValue()
    {
        // The meter answers the first request 300 ms late, inside the wait
        // of the next one, which reads another register of the same meter:
        // that late reply passes every check of the next request.
        FakeSerialPort port;
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
        QCOMPARE(first.reading, QString());
        QVERIFY(start(master, Slave1Reg1, second));
        QTRY_COMPARE_WITH_TIMEOUT(second.calls, 1, 5000);
        QCOMPARE(second.reading, QString()); // not 999
        QCOMPARE(sentAt.size(), 2);
        QVERIFY2(sentAt[1] - sentAt[0] >= ModbusMaster::LateReplyMs,
                 qPrintable(QString::number(sentAt[1] - sentAt[0])));
    }

    void otherShapesAreNotHeldBack()
    {
        FakeSerialPort port;
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
        QVERIFY2(sentAt[1] - sentAt[0] < ModbusMaster::LateReplyMs,
                 qPrintable(QString::number(sentAt[1] - sentAt[0])));
    }
};

QTEST_GUILESS_MAIN(TstModbusMaster)
#include "tst_modbusmaster.moc"
