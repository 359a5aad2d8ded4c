#include "clock.h"
#include "intervaltimer.h"
#include "session.h"
#include "lendport.h"
#include "simulatedline.h"
#include "testmeters.h"

#include <QSignalSpy>
#include <QTest>

using namespace kelmar;
using kelmar::test::meterAt;
using kelmar::test::SimulatedLine;

namespace {

// Two meters on a line paced like real wires: meter 3 (1111, 2222) with the
// fault asked for, and its healthy neighbour, meter 4 (4441, 4442).
bool startMeters(SimulatedLine &line, const QString &faultOf3, QString *error)
{
    line.setPaced(true);
    return line.start({"--slave", "3", "--reg", "0=1111", "--reg", "2=2222", "--fault", faultOf3,
                       "--slave", "4", "--reg", "0=4441", "--reg", "2=4442"},
                      error);
}

} // namespace

// The session against the simulator: what misbehaving meters do to the
// values and to what the operator sees of the line.
class TstSessionOnLine : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (SimulatedLine::simulatorPath().isEmpty())
            QSKIP("the meter simulator was not built");
    }

    // A meter that answers late, with monitoring on its own timers as in the
    // program: every value shown or recorded must be one that the meter
    // holds in that very register.
    void neverAnotherRegistersValue_data()
    {
        QTest::addColumn<int>("lateMs");
        for (int ms : {210, 300, 410, 450, 500, 600, 800, 1200})
            QTest::addRow("%d ms late", ms) << ms;
    }
    void neverAnotherRegistersValue()
    {
        QFETCH(int, lateMs);
        SimulatedLine line;
        QString error;
        QVERIFY2(startMeters(line, QStringLiteral("late=%1").arg(lateMs), &error),
                 qPrintable(error));

        line.port().setPortOpen(false); // the line opens it as the program does
        MeterLine meters(test::lendPort(line.port()));
        QCOMPARE(meters.connectLine(1, line.port().Settings()), MeterLine::State::Open);
        Session session(line.folder().path(), Clock::system(), meters);
        session.clockTimer().setEnabled(false);
        session.setSlot(3, meterAt(3));
        session.setSlot(4, meterAt(4));
        const QStringList allowed[2] = {{QString(), QStringLiteral("1111")},
                                        {QString(), QStringLiteral("2222")}};
        QStringList wrong;
        connect(&session, &Session::readingChanged, this,
                [&](int k, int item, const QString &text) {
                    if (k == 3 && !allowed[item].contains(text))
                        wrong << QStringLiteral("shown %1 as value %2").arg(text).arg(item + 1);
                });
        int ticks = 0;
        int neighbourGood = 0;
        connect(&session, &Session::tickFinished, this, [&](const QString &recordLine) {
            const QStringList f = recordLine.split(u'\t');
            if (f.size() != 13 || !allowed[0].contains(f[5]) || !allowed[1].contains(f[6]))
                wrong << QStringLiteral("recorded ") + recordLine;
            ++ticks;
            neighbourGood += f.value(7) == QStringLiteral("4441") &&
                             f.value(8) == QStringLiteral("4442");
        });
        session.start();
        QTRY_VERIFY_WITH_TIMEOUT(ticks >= 4, 30000);
        session.stop();
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QStringLiteral("; "))));
        // The late meter must not cost its neighbour a reading.
        QCOMPARE(neighbourGood, ticks);
    }

    // What a slot shows for each way a meter can fail on the line, and that
    // a good reply clears it.
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
        QString error;
        QVERIFY2(startMeters(line, fault, &error), qPrintable(error));
        line.port().setPortOpen(false); // the line opens it as the program does
        MeterLine meters(test::lendPort(line.port()));
        QCOMPARE(meters.connectLine(1, line.port().Settings()), MeterLine::State::Open);
        Session session(line.folder().path(), Clock::system(), meters);
        session.clockTimer().setEnabled(false);
        session.setSlot(1, meterAt(3));
        session.start();
        session.pollTimer().setEnabled(false);
        auto tick = [&session] {
            QSignalSpy done(&session, &Session::tickFinished);
            session.pollTick();
            return done.wait(10000);
        };
        QVERIFY(tick());
        QCOMPARE(session.slotStatus(1), status);
        const SlotHealth &h = session.health(1);
        QCOMPARE(h.good, status.isEmpty() ? 1 : 0); // both values in one request
        QCOMPARE(h.transactions - h.good, h.noReply + h.badReply + h.exceptions);

        // The meter answers again (here: the slot is moved to a sound one).
        session.setSlot(1, meterAt(4));
        QVERIFY(tick());
        QCOMPARE(session.slotStatus(1), QString());
        QCOMPARE(session.reading(1, 1), QStringLiteral("4442"));
        QCOMPARE(h.lastFailure, status);
    }
};

QTEST_MAIN(TstSessionOnLine)
#include "tst_sessiononline.moc"
