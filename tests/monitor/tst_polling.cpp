#include "sessiononfakeline.h"
#include "testmeters.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

using namespace kelmar;
using kelmar::test::meterAt;

namespace {

// Every finished tick counted, for the tests of overlap and Exit.
struct Run : kelmar::test::SessionOnFakeLine
{
    QSignalSpy ticks{&s, &Session::tickFinished};
};

} // namespace

class TstPolling : public QObject
{
    Q_OBJECT
private slots:
    void tickWritesReadingsAndRecordLine()
    {
        Run r;
        r.port.registers[{1, 0}] = 12345;
        r.port.registers[{2, 0}] = quint16(-42);
        r.port.registers[{2, 2}] = 7;
        r.s.setSlot(1, meterAt(1, QStringLiteral("A")));
        r.s.setSlot(2, meterAt(2, QStringLiteral("B")));
        r.startByHand({100, 1, 1, 1, 1, 1});
        QSignalSpy shown(&r.s, &Session::readingChanged);
        QVERIFY(r.tick());
        const QString line = QStringLiteral("14:05:07\t123.45\t\t-42\t7") + QString(8, u'\t');
        QCOMPARE(r.s.RecordLine, line);
        QCOMPARE(r.ticks.last().at(0).toString(), line);
        QCOMPARE(shown.count(), 3);
        QCOMPARE(r.s.PollTickCount, 1);
        QCOMPARE(r.s.health[1].good, 2);
    }

    void ticksNeverOverlapOnTheLine()
    {
        Run r;
        for (int k = 1; k <= 6; ++k)
            r.s.setSlot(k, meterAt(k, QStringLiteral("B")));
        r.s.pollTimer().setInterval(50); // far shorter than a tick of 12 transactions
        r.s.start({1, 1, 1, 1, 1, 1});
        QTRY_VERIFY_WITH_TIMEOUT(r.ticks.count() >= 2, 30000);
        r.s.stop();
        QTRY_VERIFY_WITH_TIMEOUT(!r.s.pollTickRunning(), 10000);
        // Whole ticks in order: slot by slot, first then second reading.
        const int n = r.port.requests.size();
        for (int i = 0; i < n; ++i) {
            const QByteArray &q = r.port.requests[i];
            QCOMPARE(int(quint8(q[0])), (i % 12) / 2 + 1);
            QCOMPARE(int(quint8(q[3])), (i % 2) * 2);
        }
        QCOMPARE(n % 12, 0);
    }

    void reopenAfter3600Ticks()
    {
        Run r;
        r.startByHand();
        r.s.PollTickCount = 3599;
        r.port.events.clear();
        r.s.pollTick();
        QCOMPARE(r.port.events, QStringList{QStringLiteral("close")});
        QVERIFY(r.s.pollTickRunning());
        r.s.pollTick(); // falls due during the pause: skipped
        QTRY_VERIFY_WITH_TIMEOUT(r.port.PortOpen(), 10000);
        QVERIFY(r.port.closedAt.elapsed() - r.port.openedAt.elapsed() >= 100);
        QCOMPARE(r.port.events, QStringList({QStringLiteral("close"), QStringLiteral("open")}));
        QCOMPARE(r.s.PollTickCount, 0);
        QVERIFY(!r.s.pollTickRunning());
        QCOMPARE(r.ticks.count(), 1);
    }

    // Waits are measured on a monotonic clock, so the wall clock passing
    // midnight (or being set) in the middle of one changes nothing.
    void midnightInTheMiddleOfATransaction()
    {
        Run r;
        r.port.registers[{1, 0}] = 1234;
        r.s.setSlot(1, meterAt(1, QStringLiteral("A")));
        r.startByHand();
        r.clock.set(QDateTime(QDate(2025, 3, 6), QTime(23, 59, 59, 900)));
        r.s.pollTick();
        QVERIFY(r.s.pollTickRunning());
        r.clock.set(QDateTime(QDate(2025, 3, 7), QTime(0, 0, 0, 50)));
        QVERIFY(r.ticks.wait(10000));
        QCOMPARE(r.value(1, 0), QStringLiteral("1234"));
        QVERIFY(r.s.RecordLine.startsWith(QStringLiteral("00:00:00\t1234")));
    }

    void delayAcrossMidnight()
    {
        Run r;
        r.clock.set(QDateTime(QDate(2025, 3, 6), QTime(23, 59, 59, 950)));
        bool done = false;
        QElapsedTimer took;
        took.start();
        r.s.Delay(0.1, [&done] { done = true; });
        r.clock.set(QDateTime(QDate(2025, 3, 7), QTime(0, 0, 0, 50)));
        QTRY_VERIFY_WITH_TIMEOUT(done, 10000);
        QVERIFY(took.elapsed() > 100);
    }

    void connectOrDisconnectDuringThePauseWins_data()
    {
        QTest::addColumn<bool>("reconnect");
        QTest::newRow("解除COM during the pause") << false;
        QTest::newRow("連線COM to another port during the pause") << true;
    }
    void connectOrDisconnectDuringThePauseWins()
    {
        QFETCH(bool, reconnect);
        Run r;
        r.startByHand();
        r.s.PollTickCount = 3599;
        r.s.pollTick();
        QVERIFY(!r.port.PortOpen());
        if (reconnect)
            r.connectLine(5);
        else
            r.disconnectLine();
        QTRY_VERIFY_WITH_TIMEOUT(!r.s.pollTickRunning(), 10000);
        QCOMPARE(r.port.PortOpen(), reconnect);
        QCOMPARE(r.port.CommPort(), reconnect ? 5 : 1);
    }

    void disconnectedPortIsNotReopened()
    {
        Run r;
        r.startByHand();
        r.disconnectLine();
        r.s.PollTickCount = 3599;
        r.s.pollTick();
        QTRY_VERIFY_WITH_TIMEOUT(!r.s.pollTickRunning(), 10000);
        QVERIFY(!r.port.PortOpen());
        QCOMPARE(r.s.PollTickCount, 0);
    }

    void unpluggedAdapterComesBackWithoutAClick()
    {
        Run r;
        r.port.registers[{1, 0}] = 2205;
        r.s.setSlot(1, meterAt(1, QStringLiteral("A")));
        r.startByHand({10, 1, 1, 1, 1, 1});
        QSignalSpy lamp(&r.s, &Session::lineLostChanged);
        QVERIFY(r.tick());
        QCOMPARE(r.value(1, 0), QStringLiteral("220.5"));

        r.port.unplug();
        QVERIFY(r.s.lineLost);
        QVERIFY(!r.s.noticeText().isEmpty());
        QVERIFY(r.tick());
        QCOMPARE(r.value(1, 0), QString());
        QVERIFY(!r.port.PortOpen());

        // Another port was chosen and saved meanwhile: the adapter still
        // comes back on the port of the last connect.
        r.s.setup.host.portNumber = 5;
        QVERIFY(r.s.save());
        r.port.plugIn();
        QVERIFY(r.tick());
        QVERIFY(r.port.PortOpen());
        QCOMPARE(r.port.CommPort(), 1);
        QCOMPARE(r.value(1, 0), QStringLiteral("220.5"));
        QVERIFY(!r.s.lineLost);
        QVERIFY(r.s.noticeText().isEmpty());
        QCOMPARE(lamp.count(), 2);
    }

    void exitDuringATickIsTolerated()
    {
        Run r;
        r.port.registers[{1, 0}] = 5;
        r.s.setSlot(1, meterAt(1, QStringLiteral("B")));
        r.startByHand();
        r.s.pollTick();
        QVERIFY(r.s.pollTickRunning());
        r.s.stop();
        QVERIFY(!r.s.monitoring);
        QVERIFY(!r.s.pollTimer().enabled());
        QVERIFY(!r.s.recordTimer().enabled());
        QTRY_VERIFY_WITH_TIMEOUT(!r.s.pollTickRunning(), 10000);
        // The tick ends, but what it read after Exit is neither shown nor
        // taken for a record line.
        QCOMPARE(r.ticks.count(), 0);
        QCOMPARE(r.s.readings[0][0], QString());
    }

    void disconnectDuringATickIsTolerated()
    {
        Run r;
        for (int k = 1; k <= 3; ++k)
            r.s.setSlot(k, meterAt(k, QStringLiteral("A")));
        r.startByHand();
        r.s.pollTick();
        r.disconnectLine();
        QVERIFY(r.ticks.wait(10000));
        QCOMPARE(r.value(3, 0), QString());
    }
};

QTEST_MAIN(TstPolling)
#include "tst_polling.moc"
