#include "clock.h"
#include "intervaltimer.h"
#include "session.h"
#include "simulatedline.h"
#include "testmeters.h"

#include <QSignalSpy>
#include <QTest>

using namespace kelmar;
using kelmar::test::meterAt;
using kelmar::test::SimulatedLine;

// What a slot shows for each way a real meter can fail on the line, and
// that a good reply clears it: against the simulator's fault modes.
class TstLineHealth : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (SimulatedLine::simulatorPath().isEmpty())
            QSKIP("the meter simulator was not built");
    }

    void statusOfEachFault_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("status");
        QTest::newRow("silent") << "silent" << "無回應";
        QTest::newRow("bad CRC") << "badcrc" << "通訊錯誤";
        QTest::newRow("other slave") << "otherslave=9" << "通訊錯誤";
        QTest::newRow("cut short") << "short" << "通訊錯誤";
        QTest::newRow("exception 02") << "exception=2" << "例外 02";
        QTest::newRow("noise before a good reply") << "garbage" << "";
    }
    void statusOfEachFault()
    {
        QFETCH(QString, fault);
        QFETCH(QString, status);
        SimulatedLine line;
        line.setPaced(true);
        QString error;
        QVERIFY2(line.start({"--slave", "3", "--reg", "0=31", "--reg", "2=32", "--fault", fault,
                             "--slave", "4", "--reg", "0=41", "--reg", "2=42"},
                            &error),
                 qPrintable(error));
        Session session(line.folder().path(), Clock::system(), line.port());
        session.clockTimer().setEnabled(false);
        session.setSlot(1, meterAt(3));
        session.start({1, 1, 1, 1, 1, 1});
        session.pollTimer().setEnabled(false);
        auto tick = [&session] {
            QSignalSpy done(&session, &Session::tickFinished);
            session.pollTick();
            return done.wait(10000);
        };
        QVERIFY(tick());
        QCOMPARE(session.slotStatus[0], status);
        const SlotHealth &h = session.health[0];
        QCOMPARE(h.good, status.isEmpty() ? 2 : 0);
        QCOMPARE(h.transactions - h.good, h.noReply + h.badReply + h.exceptions);

        // The meter answers again (here: the slot is moved to a sound one).
        session.setSlot(1, meterAt(4));
        QVERIFY(tick());
        QCOMPARE(session.slotStatus[0], QString());
        QCOMPARE(session.readings[0][1], QStringLiteral("42"));
        QCOMPARE(h.lastFailure, status);
    }
};

QTEST_MAIN(TstLineHealth)
#include "tst_linehealth.moc"
