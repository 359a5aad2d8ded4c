#include "modbusmaster.h"
#include "simulatedline.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QTest>
#include <QTimer>
#include <memory>

using namespace kelmar;
using kelmar::test::SimulatedLine;

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
    "--slave", "9", "--reg", "0=4321"};

} // namespace

class TstModbusLine : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<SimulatedLine> m_line;
    std::unique_ptr<ModbusMaster> m_master;

    // One transaction; the reading and how long it took.
    QString read(const QStringList &t, qint64 *ms = nullptr)
    {
        QString reading = QStringLiteral("<none>");
        bool done = false;
        QElapsedTimer clock;
        clock.start();
        if (!m_master->MODBUS(t[0], t[1], t[2], t[3], t[4], t[5], [&](const QString &r) {
                reading = r;
                done = true;
            }))
            return QStringLiteral("<refused>");
        for (int waited = 0; !done && waited < 10000; waited += 5)
            QTest::qWait(5);
        if (ms)
            *ms = clock.elapsed();
        return reading;
    }

private slots:
    void initTestCase()
    {
        if (SimulatedLine::simulatorPath().isEmpty())
            QSKIP("kelmar_metersim was not built");
        m_line = std::make_unique<SimulatedLine>();
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
        auto row = [](const char *name, const char *slave, const char *reg, const char *count,
                      const char *reading) {
            const QString r = QString::fromLatin1(reg), c = QString::fromLatin1(count);
            QTest::newRow(name) << QStringList{slave, "3", r.left(2), r.mid(2), c.left(2), c.mid(2)}
                                << QString::fromLatin1(reading);
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
        row("silent slave", "2", "0000", "0001", "");
        row("exception reply", "3", "0000", "0001", "");
        row("bad CRC", "4", "0000", "0001", "");
        row("short reply", "5", "0000", "0001", "");
        row("reply from another slave", "6", "0000", "0001", "");
        row("garbage before the frame", "7", "0000", "0001", "");
        row("address beyond the meter's map", "1", "0100", "0001", "");
        row("slave not on the line", "99", "0000", "0001", "");
        row("slave 300 goes out as broadcast 0", "300", "0000", "0001", "");
    }
    void readings()
    {
        QFETCH(QStringList, texts);
        QFETCH(QString, reading);
        qint64 ms = 0;
        QCOMPARE(read(texts, &ms), reading);
        QVERIFY2(ms >= ModbusMaster::ReplyWaitMs && ms < 2000, qPrintable(QString::number(ms)));
    }

    void silentSlaveTakesTheWaitOnly()
    {
        qint64 ms = 0;
        QCOMPARE(read({"2", "3", "00", "00", "00", "01"}, &ms), QString());
        QVERIFY2(ms >= 200 && ms < 1000, qPrintable(QString::number(ms)));
    }

    void lateReplyIsNeverTheNextValue()
    {
        // Slave 8 answers 300 ms after each request, inside the next wait.
        QCOMPARE(read({"8", "3", "00", "00", "00", "01"}), QString());
        // The same meter's next register: the late 999 must not show here.
        QCOMPARE(read({"8", "3", "00", "01", "00", "01"}), QString());
        // Another meter: neither late value shows, at worst nothing does.
        const QString other = read({"9", "3", "00", "00", "00", "01"});
        QVERIFY2(other.isEmpty() || other == u"4321", qPrintable(other));
        // Once the late replies are through, the line reads true again.
        QCOMPARE(read({"9", "3", "00", "00", "00", "01"}), QStringLiteral("4321"));
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
        QVERIFY(m_master->MODBUS("1", "3", "00", "00", "00", "01", [&](const QString &) {
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
                              [&](const QString &) { done = true; }));
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
