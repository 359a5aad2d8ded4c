#include "fakemeterport.h"
#include "meterline.h"

#include <QSignalSpy>
#include <QTest>

using namespace kelmar;
using kelmar::test::FakeMeterPort;
using State = MeterLine::State;

namespace {

// The states a spy saw, in order.
QList<State> seen(const QSignalSpy &spy)
{
    QList<State> states;
    for (const QList<QVariant> &args : spy)
        states << args.at(0).value<State>();
    return states;
}

} // namespace

class TstMeterLine : public QObject
{
    Q_OBJECT
private slots:
    // The operator's connect, for each way a transport can answer it; the
    // port number chosen picks the transport.
    void connect_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<bool>("plugged");
        QTest::addColumn<bool>("background");
        QTest::addColumn<QList<State>>("states");
        QTest::addColumn<bool>("open");
        QTest::newRow("serial port opens") << 2 << true << false << QList<State>{State::Open} << true;
        QTest::newRow("serial port missing") << 2 << false << false << QList<State>{} << false;
        QTest::newRow("no port chosen") << 0 << true << false << QList<State>{} << false;
        QTest::newRow("gateway connects later")
            << 7 << true << true << QList<State>{State::Opening, State::Open} << true;
        QTest::newRow("gateway never connects")
            << 7 << false << true << QList<State>{State::Opening, State::Closed} << false;
    }
    void connect()
    {
        QFETCH(int, number);
        QFETCH(bool, plugged);
        QFETCH(bool, background);
        QFETCH(QList<State>, states);
        QFETCH(bool, open);
        FakeMeterPort serial;
        FakeMeterPort gateway;
        gateway.opensInBackground = true;
        FakeMeterPort &used = background ? gateway : serial;
        if (!plugged)
            used.unplug();
        QList<int> asked;
        MeterLine line([&](int n) {
            asked << n;
            SerialPort &p = n == 7 ? static_cast<SerialPort &>(gateway) : serial;
            return test::lendPort(p)(n);
        });
        QSignalSpy changes(&line, &MeterLine::stateChanged);
        const State reached = line.connectLine(number, QStringLiteral("19200,E,8,1"));
        QCOMPARE(reached, states.value(0, State::Closed));
        // Nothing waits for a transport that connects in the background.
        QCOMPARE(used.opening(), background);
        used.finishOpening();
        QCOMPARE(seen(changes), states);
        QCOMPARE(line.isOpen(), open);
        QCOMPARE(line.port().PortOpen(), open);
        QCOMPARE(asked, QList<int>{number});
        if (open) {
            QCOMPARE(used.CommPort(), number);
            QCOMPARE(used.Settings(), QStringLiteral("19200,E,8,1"));
            QCOMPARE(line.portDescription(), QStringLiteral("COM%1").arg(number));
        }
        // The port the transactions see never opens, closes or reconfigures.
        QVERIFY(!line.port().setPortOpen(false));
        QVERIFY(!line.port().setCommPort(3));
        QVERIFY(!line.port().setSettings(QStringLiteral("9600,N,8,1")));
        QCOMPARE(line.isOpen(), open);
        line.disconnectLine();
        QVERIFY(!used.PortOpen());
        QCOMPARE(line.state(), State::Closed);
    }

    // A line lost under a connection is opened again by the next tick that
    // can, without waiting in any tick; a disconnect ends the reopening.
    void lostLineIsReopenedAtATick_data()
    {
        QTest::addColumn<bool>("background");
        QTest::addColumn<bool>("disconnect");
        QTest::newRow("serial port") << false << false;
        QTest::newRow("gateway") << true << false;
        QTest::newRow("disconnected while lost") << false << true;
    }
    void lostLineIsReopenedAtATick()
    {
        QFETCH(bool, background);
        QFETCH(bool, disconnect);
        FakeMeterPort port;
        MeterLine line(test::lendPort(port));
        line.connectLine(1, QStringLiteral("9600,N,8,1"));
        QCOMPARE(line.state(), State::Open);
        port.opensInBackground = background;
        QSignalSpy changes(&line, &MeterLine::stateChanged);
        port.unplug();
        QCOMPARE(line.state(), State::Lost);
        QVERIFY(line.tick()); // still unplugged
        port.finishOpening();
        QCOMPARE(line.state(), State::Lost);
        port.plugIn();
        if (disconnect)
            line.disconnectLine();
        QVERIFY(line.tick());
        port.finishOpening();
        QCOMPARE(port.PortOpen(), !disconnect);
        QCOMPARE(seen(changes),
                 (QList<State>{State::Lost, disconnect ? State::Closed : State::Open}));
    }

    // Every ReopenEveryTicks ticks an open line is closed and, after a
    // pause that skips the ticks falling into it, opened again.
    void periodicReopen_data()
    {
        QTest::addColumn<bool>("comesBack");
        QTest::newRow("opens again") << true;
        QTest::newRow("does not open again: lost") << false;
    }
    void periodicReopen()
    {
        QFETCH(bool, comesBack);
        FakeMeterPort port;
        MeterLine line(test::lendPort(port));
        line.connectLine(1, QStringLiteral("9600,N,8,1"));
        port.events.clear();
        for (int i = 1; i < MeterLine::ReopenEveryTicks; ++i)
            line.tickEnded();
        QVERIFY(port.events.isEmpty());
        line.tickEnded();
        QCOMPARE(port.events, QStringList{QStringLiteral("close")});
        QVERIFY(line.reopening());
        QVERIFY(!line.tick());
        if (!comesBack)
            port.unplug();
        QTRY_VERIFY_WITH_TIMEOUT(!line.reopening(), 10000);
        QCOMPARE(port.PortOpen(), comesBack);
        if (comesBack)
            QVERIFY(port.closedAt.elapsed() - port.openedAt.elapsed() >= 100);
        QCOMPARE(line.state(), comesBack ? State::Open : State::Lost);
        QCOMPARE(line.ticksSinceReopen(), 0);
    }
};

QTEST_MAIN(TstMeterLine)
#include "tst_meterline.moc"
