#include "latereplyrun.h"
#include "modbusmaster.h"
#include "simulatedline.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QTest>
#include <QTimer>
#include <memory>

using namespace kelmar;
using kelmar::test::SimulatedLine;

Q_DECLARE_METATYPE(kelmar::ReplyStatus)

namespace {

// One line of meters for every test here, each slave with its own character.
const QStringList LineArgs = {
    // Slave 1 holds the values to decode.
    "--slave", "1", "--reg", "0x00=1234", "--reg", "0x01=-2", "--reg", "0x02=-32768", "--reg",
    "0x03=32767", "--reg", "0x10=16777217/2", "--reg", "0x20=0x0123456789ABCDEF/4", "--reg",
    "0x30=-2/4", "--reg", "0x40=-9223372036854775808/4", "--reg", "0x50=2147483647/2",
    // Slaves that misbehave, each holding 1234 where it would be read.
    "--slave", "2", "--reg", "0=1234", "--fault", "silent",                    //
    "--slave", "3", "--reg", "0=1234", "--fault", "exception",                 //
    "--slave", "4", "--reg", "0=1234", "--fault", "badcrc",                    //
    "--slave", "5", "--reg", "0=1234", "--fault", "short",                     //
    "--slave", "6", "--reg", "0=1234", "--fault", "otherslave",                //
    "--slave", "7", "--reg", "0=1234", "--fault", "garbage",                   //
    "--slave", "8", "--reg", "0=999", "--reg", "1=777", "--fault", "late=300", //
    "--slave", "9", "--reg", "0=4321",                                         //
    // The reply comes in two parts, 50 ms apart.
    "--slave", "10", "--reg", "0=1234", "--fault", "split=50", //
    // A late meter and a slow one that still answers within the wait.
    "--slave", "11", "--reg", "0=111", "--fault", "late=230",  //
    "--slave", "12", "--reg", "0=1234", "--fault", "late=100", //
    // Two-value meters: one healthy, one whose faults are set per test.
    "--slave", "13", "--reg", "0=1301/2", "--reg", "2=1302/2", //
    "--slave", "14", "--reg", "0=1401/2", "--reg", "2=1402/2"};

} // namespace

class TstModbusLine : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<SimulatedLine> m_line;
    std::unique_ptr<ModbusMaster> m_master;

    // One transaction; the reading and how long it took.
    ModbusReading transact(const QStringList &t, qint64 *ms = nullptr)
    {
        ModbusReading reading;
        reading.check = {ReplyStatus::TooLong}; // stands for "no answer at all"
        bool done = false;
        QElapsedTimer clock;
        clock.start();
        if (!m_master->MODBUS(t[0], t[1], t[2], t[3], t[4], t[5], [&](const ModbusReading &r) {
                reading = r;
                done = true;
            }))
            return reading;
        if (!QTest::qWaitFor([&] { return done; }, 10000))
            return reading;
        if (ms)
            *ms = clock.elapsed();
        return reading;
    }
    QString read(const QStringList &t) { return transact(t).text(); }

private slots:
    void initTestCase()
    {
        if (SimulatedLine::simulatorPath().isEmpty())
            QSKIP("kelmar_metersim was not built");
        m_line = std::make_unique<SimulatedLine>();
        m_line->setPaced(true);
        QString error;
        QVERIFY2(m_line->start(LineArgs, &error), qPrintable(error));
        m_master = std::make_unique<ModbusMaster>(m_line->port());
    }

    void cleanupTestCase()
    {
        m_master.reset();
        if (m_line)
            QVERIFY2(m_line->stopSimulator(), "the simulator did not stop cleanly on SIGTERM");
        m_line.reset();
    }

    void readings_data()
    {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QString>("reading");
        QTest::addColumn<ReplyStatus>("status");
        QTest::addColumn<int>("exceptionCode");
        auto row = [](const char *name, const char *slave, const char *reg, const char *count,
                      const char *reading, ReplyStatus status = ReplyStatus::Ok, int code = 0) {
            const QString r = QString::fromLatin1(reg), c = QString::fromLatin1(count);
            QTest::newRow(name) << QStringList{slave, "3", r.left(2), r.mid(2), c.left(2), c.mid(2)}
                                << QString::fromLatin1(reading) << status << code;
        };
        row("1234", "1", "0000", "0001", "1234");
        row("-2", "1", "0001", "0001", "-2");
        row("-32768", "1", "0002", "0001", "-32768");
        row("32767", "1", "0003", "0001", "32767");
        row("2^24 + 1 exactly", "1", "0010", "0002", "16777217");
        row("2^31 - 1", "1", "0050", "0002", "2147483647");
        row("four registers exactly", "1", "0020", "0004", "81985529216486895");
        row("-2 in four registers", "1", "0030", "0004", "-2");
        row("-2^63", "1", "0040", "0004", "-9223372036854775808");
        row("lower-case hex halves", "1", "001a", "0001", "0");
        row("garbage before the frame is skipped", "7", "0000", "0001", "1234");
        row("reply in two parts 50 ms apart", "10", "0000", "0001", "1234");
        row("slow meter within the wait", "12", "0000", "0001", "1234");
        row("silent slave", "2", "0000", "0001", "", ReplyStatus::NoReply);
        row("exception reply", "3", "0000", "0001", "", ReplyStatus::Exception, 4);
        row("bad CRC", "4", "0000", "0001", "", ReplyStatus::BadCrc);
        row("short reply", "5", "0000", "0001", "", ReplyStatus::Short);
        row("reply from another slave", "6", "0000", "0001", "", ReplyStatus::WrongSlave);
        row("address beyond the meter's map", "1", "0100", "0001", "", ReplyStatus::Exception, 2);
        row("slave not on the line", "99", "0000", "0001", "", ReplyStatus::NoReply);
        row("slave 300 goes out as broadcast 0", "300", "0000", "0001", "", ReplyStatus::NoReply);
    }
    void readings()
    {
        QFETCH(QStringList, texts);
        QFETCH(QString, reading);
        QFETCH(ReplyStatus, status);
        QFETCH(int, exceptionCode);
        qint64 ms = 0;
        const ModbusReading r = transact(texts, &ms);
        QCOMPARE(r.check.status, status);
        QCOMPARE(int(r.check.exceptionCode), exceptionCode);
        QCOMPARE(r.text(), reading);
        // A whole reply, exceptions too, ends the wait; without one it runs out.
        if (status == ReplyStatus::Ok || status == ReplyStatus::Exception)
            QVERIFY2(ms < ModbusMaster::ReplyWaitMs, qPrintable(QString::number(ms)));
        else
            QVERIFY2(ms >= ModbusMaster::ReplyWaitMs, qPrintable(QString::number(ms)));
    }

    void lateFrameBeforeTheReplyIsSkipped()
    {
        // Slave 11's reply comes 230 ms late, inside the wait for slow slave
        // 12, whose own reply follows it.
        QCOMPARE(transact({"11", "3", "00", "00", "00", "01"}).check.status, ReplyStatus::NoReply);
        const ModbusReading r = transact({"12", "3", "00", "00", "00", "01"});
        QCOMPARE(r.text(), QStringLiteral("1234"));
    }

    // One tick over two two-value meters, as the polling cycle reads them:
    // meter 13 answers late by the row's time, meter 14 is healthy and keeps
    // both its readings whenever 13's late replies come in.
    void lateMeterSparesItsNeighbour_data()
    {
        QTest::addColumn<int>("lateMs");
        for (int ms : {210, 230, 250, 300})
            QTest::addRow("meter 13 %d ms late", ms) << ms;
    }
    void lateMeterSparesItsNeighbour()
    {
        QFETCH(int, lateMs);
        // A line of its own: the fault is the row's.
        SimulatedLine line;
        line.setPaced(true);
        QString error;
        QVERIFY2(line.start({"--slave", "13", "--reg", "0=1301/2", "--reg", "2=1302/2", "--fault",
                             QStringLiteral("late=%1").arg(lateMs), "--slave", "14", "--reg",
                             "0=1401/2", "--reg", "2=1402/2"},
                            &error),
                 qPrintable(error));
        ModbusMaster master(line.port());
        QStringList readings;
        for (const char *slave : {"13", "14"})
            for (const char *reg : {"00", "02"}) {
                bool done = false;
                QVERIFY(
                    master.MODBUS(slave, "3", "00", reg, "00", "02", [&](const ModbusReading &r) {
                        readings << r.text();
                        done = true;
                    }));
                QVERIFY(QTest::qWaitFor([&] { return done; }, 10000));
            }
        QCOMPARE(readings, (QStringList{"", "", "1401", "1402"}));
        QVERIFY(line.stopSimulator());
    }

    void lateReplyIsNeverTheNextValue()
    {
        // Slave 8 answers 300 ms after each request, inside the next wait.
        QCOMPARE(read({"8", "3", "00", "00", "00", "01"}), QString());
        // The same meter's next register: the late 999 must not show here.
        QCOMPARE(read({"8", "3", "00", "01", "00", "01"}), QString());
        // Another meter reads true, late frames or not.
        QCOMPARE(read({"9", "3", "00", "00", "00", "01"}), QStringLiteral("4321"));
        QCOMPARE(read({"9", "3", "00", "00", "00", "01"}), QStringLiteral("4321"));
    }

    // Two-value meters on one slave whose values name their registers,
    // answering late by the row's time, polled as the polling cycle does:
    // never a wrong value; past the reply wait never a number at all.
    void neverAWrongValue_data()
    {
        QTest::addColumn<bool>("paced");
        QTest::addColumn<int>("meters");
        QTest::addColumn<int>("pollMs");
        QTest::addColumn<int>("lateMs");
        QTest::addColumn<int>("ticks");
        QTest::newRow("paced, 3 meters 150 ms late, within the wait")
            << true << 3 << 300 << 150 << 4;
        QTest::newRow("paced, 3 meters 500 ms late, polled every 300 ms")
            << true << 3 << 300 << 500 << 8;
        QTest::newRow("unpaced, 1 meter 2 s late, polled every 300 ms")
            << false << 1 << 300 << 2000 << 16;
        QTest::newRow("paced, 1 meter 2 s late, polled every second")
            << true << 1 << 1000 << 2000 << 6;
        QTest::newRow("unpaced, 3 meters 4 s late, polled every second")
            << false << 3 << 1000 << 4000 << 7;
        QTest::newRow("paced, 1 meter 4 s late, polled every 5 s")
            << true << 1 << 5000 << 4000 << 3;
    }
    void neverAWrongValue()
    {
        QFETCH(bool, paced);
        QFETCH(int, meters);
        QFETCH(int, pollMs);
        QFETCH(int, lateMs);
        QFETCH(int, ticks);
        SimulatedLine line;
        line.setPaced(paced);
        QString error;
        QVERIFY2(line.start(kelmar::test::namedMeterArgs(meters, lateMs), &error),
                 qPrintable(error));
        ModbusMaster master(line.port());
        const auto count = kelmar::test::pollNamedMeters(master, meters, pollMs, ticks);
        QCOMPARE(count.wrong, 0);
        if (lateMs > ModbusMaster::ReplyWaitMs)
            QCOMPARE(count.good, 0);
        else
            QVERIFY(count.good > 0);
        QVERIFY(line.stopSimulator());
    }

    void eventsAreHandledDuringATransaction()
    {
        int ticks = 0;
        QTimer tick;
        connect(&tick, &QTimer::timeout, this, [&] { ++ticks; });
        tick.start(20);
        bool clicked = false;
        int ticksWhenDone = -1;
        bool clickedWhenDone = false;
        // The silent slave: the transaction runs its whole wait.
        QVERIFY(m_master->MODBUS("2", "3", "00", "00", "00", "01", [&](const ModbusReading &) {
            ticksWhenDone = ticks;
            clickedWhenDone = clicked;
        }));
        // A click posted while the transaction waits.
        QMetaObject::invokeMethod(
            this, [&] { clicked = true; }, Qt::QueuedConnection);
        QTRY_VERIFY_WITH_TIMEOUT(ticksWhenDone >= 0, 5000);
        QVERIFY(clickedWhenDone);
        QVERIFY2(ticksWhenDone >= 1, qPrintable(QString::number(ticksWhenDone)));
    }
};

// Slave ID "300" on the wire, seen from the meters' end without a simulator.
class TstModbusRequestOnWire : public QObject
{
    Q_OBJECT
private slots:
    void slave300SendsAddress0()
    {
        kelmar::test::TestFolder folder;
        kelmar::test::SocatPair pair(folder.path());
        QVERIFY(pair.start());
        QVERIFY(folder.mapComPort(1, pair.endB()));
        SystemSerialPort port(folder.path());
        port.setCommPort(1);
        port.setSettings(QStringLiteral("9600,N,8,1"));
        QVERIFY(port.setPortOpen(true));
        QSerialPort meters(pair.endA());
        QVERIFY(meters.open(QIODevice::ReadWrite));
        ModbusMaster master(port);
        bool done = false;
        QVERIFY(master.MODBUS("300", "3", "00", "00", "00", "01",
                              [&](const ModbusReading &) { done = true; }));
        QByteArray wire;
        QTRY_VERIFY_WITH_TIMEOUT((wire += meters.readAll()).size() >= 8, 5000);
        QCOMPARE(wire.toHex(' '), QByteArray("00 03 00 00 00 01 85 db"));
        QTRY_VERIFY_WITH_TIMEOUT(done, 5000);
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int status = 0;
    {
        TstModbusRequestOnWire t;
        status |= QTest::qExec(&t, argc, argv);
    }
    {
        TstModbusLine t;
        status |= QTest::qExec(&t, argc, argv);
    }
    return status;
}

#include "tst_modbusline.moc"
