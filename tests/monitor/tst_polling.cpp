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
        r.s.setSlot(1, meterAt(1, QStringLiteral("A"), 2));
        r.s.setSlot(2, meterAt(2, QStringLiteral("B")));
        r.startByHand();
        QSignalSpy shown(&r.s, &Session::readingChanged);
        QVERIFY(r.tick());
        const QString line = QStringLiteral("14:05:07\t123.45\t\t-42\t7") + QString(8, u'\t');
        QCOMPARE(r.s.recordLine(), line);
        QCOMPARE(r.ticks.last().at(0).toString(), line);
        QCOMPARE(shown.count(), 3);
        QCOMPARE(r.line.ticksSinceReopen(), 1);
        QCOMPARE(r.s.health(2).good, 1); // both values in one request
    }

    void ticksNeverOverlapOnTheLine()
    {
        Run r;
        for (int k = 1; k <= 6; ++k)
            r.s.setSlot(k, meterAt(k, QStringLiteral("B")));
        r.s.pollTimer().setInterval(50); // far shorter than a tick of 6 transactions
        r.s.start();
        QTRY_VERIFY_WITH_TIMEOUT(r.ticks.count() >= 2, 30000);
        r.s.stop();
        QTRY_VERIFY_WITH_TIMEOUT(!r.s.pollTickRunning(), 10000);
        // Whole ticks in order: slot by slot, both readings in one request.
        const int n = r.port.requests.size();
        for (int i = 0; i < n; ++i) {
            const QByteArray &q = r.port.requests[i];
            QCOMPARE(int(quint8(q[0])), i % 6 + 1);
            QCOMPARE(int(quint8(q[5])), 3);
        }
        QCOMPARE(n % 6, 0);
    }

    void reopenAfter3600Ticks()
    {
        Run r;
        r.startByHand();
        r.countTicksUpToReopen();
        r.port.events.clear();
        r.s.pollTick();
        QCOMPARE(r.port.events, QStringList{QStringLiteral("close")});
        QVERIFY(r.s.pollTickRunning());
        r.s.pollTick(); // falls due during the pause: skipped
        QTRY_VERIFY_WITH_TIMEOUT(r.port.PortOpen(), 10000);
        QVERIFY(r.port.closedAt.elapsed() - r.port.openedAt.elapsed() >= 100);
        QCOMPARE(r.port.events, QStringList({QStringLiteral("close"), QStringLiteral("open")}));
        QCOMPARE(r.line.ticksSinceReopen(), 0);
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
        // The line carries the time its tick began.
        QVERIFY(r.s.recordLine().startsWith(QStringLiteral("23:59:59\t1234")));
    }

    void reopenPauseAcrossMidnight()
    {
        Run r;
        r.startByHand();
        r.clock.set(QDateTime(QDate(2025, 3, 6), QTime(23, 59, 59, 950)));
        r.countTicksUpToReopen();
        QElapsedTimer took;
        took.start();
        r.s.pollTick();
        QVERIFY(!r.port.PortOpen());
        r.clock.set(QDateTime(QDate(2025, 3, 7), QTime(0, 0, 0, 50)));
        QTRY_VERIFY_WITH_TIMEOUT(r.port.PortOpen(), 10000);
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
        r.countTicksUpToReopen();
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
        r.countTicksUpToReopen();
        r.disconnectLine();
        r.s.pollTick();
        QTRY_VERIFY_WITH_TIMEOUT(!r.s.pollTickRunning(), 10000);
        QVERIFY(!r.port.PortOpen());
        QCOMPARE(r.line.ticksSinceReopen(), 0);
    }

    void unpluggedAdapterComesBackWithoutAClick()
    {
        Run r;
        r.port.registers[{1, 0}] = 2205;
        r.s.setSlot(1, meterAt(1, QStringLiteral("A"), 1));
        r.startByHand();
        QSignalSpy lamp(&r.s, &Session::lineStateChanged);
        QVERIFY(r.tick());
        QCOMPARE(r.value(1, 0), QStringLiteral("220.5"));

        r.port.unplug();
        QCOMPARE(r.s.lineState(), MeterLine::State::Lost);
        QVERIFY(!r.s.noticeText().isEmpty());
        QVERIFY(r.tick());
        QCOMPARE(r.value(1, 0), QString());
        QVERIFY(!r.port.PortOpen());

        // Another port was chosen and saved meanwhile: the adapter still
        // comes back on the port of the last connect.
        HostSettings other = r.s.setup().host;
        other.portNumber = 5;
        r.s.setHostSettings(other);
        QVERIFY(r.s.save());
        r.port.plugIn();
        QVERIFY(r.tick());
        QVERIFY(r.port.PortOpen());
        QCOMPARE(r.port.CommPort(), 1);
        QCOMPARE(r.value(1, 0), QStringLiteral("220.5"));
        QCOMPARE(r.s.lineState(), MeterLine::State::Open);
        QVERIFY(r.s.noticeText().isEmpty());
        QCOMPARE(lamp.count(), 2);
    }

    // While the line is lost, a tick with its reopen attempt ends within
    // the polling interval: the record stamps go on one a second, with
    // empty values, and none repeats or goes missing.
    void lostLineTicksEndWithinTheInterval_data()
    {
        QTest::addColumn<int>("intervalMs");
        QTest::newRow("1000 ms") << 1000;
        QTest::newRow("300 ms") << 300;
    }
    void lostLineTicksEndWithinTheInterval()
    {
        QFETCH(int, intervalMs);
        Run r;
        for (int k = 1; k <= 6; ++k)
            r.s.setSlot(k, meterAt(k, QStringLiteral("B")));
        r.editSetup([&](SetupFile &f) {
            f.host.recordFolder = r.dir.file(QStringLiteral("log/"));
            f.extension = QStringLiteral("txt");
            f.recordSeconds = QStringLiteral("1");
            f.pollIntervalMs = intervalMs;
        });
        r.s.setRecording(true);
        r.startByHand();
        QVERIFY(r.tick());
        r.port.unplug();
        for (int i = 1; i <= 4; ++i) {
            r.clock.advanceSeconds(1);
            QElapsedTimer took;
            took.start();
            QVERIFY(r.tick());
            QVERIFY2(took.elapsed() < intervalMs, qPrintable(QString::number(took.elapsed())));
            r.s.recordTick();
        }
        QTRY_COMPARE_WITH_TIMEOUT(r.s.recordWriterWaiting(), 0, 10000);
        const QList<QByteArray> lines =
            r.dir.read(QStringLiteral("log/2025-03-06-1405.txt")).split('\n');
        QCOMPARE(lines.size(), 5); // and the empty rest after the last CR LF
        for (int i = 1; i <= 4; ++i)
            QCOMPARE(lines[i - 1], QTime(14, 5, 7).addSecs(i).toString(u"hh:mm:ss").toLatin1() +
                                       QByteArray(12, '\t') + '\r');
        QCOMPARE(r.s.slotStatus(1), QStringLiteral("無回應"));
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
        QVERIFY(!r.s.isMonitoring());
        QVERIFY(!r.s.pollTimer().enabled());
        QVERIFY(!r.s.recordTimer().enabled());
        QTRY_VERIFY_WITH_TIMEOUT(!r.s.pollTickRunning(), 10000);
        // The tick ends, but what it read after Exit is neither shown nor
        // taken for a record line.
        QCOMPARE(r.ticks.count(), 0);
        QCOMPARE(r.s.reading(1, 0), QString());
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
