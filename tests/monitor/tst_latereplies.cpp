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

// A meter that answers late, on a paced line against the simulator, with
// its healthy neighbour on the same line. Monitoring runs on its own timers
// as in the program; every value shown or recorded must be one that the
// meter holds in that very register.
class TstLateReplies : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (SimulatedLine::simulatorPath().isEmpty())
            QSKIP("the meter simulator was not built");
    }

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
        line.setPaced(true);
        QString error;
        QVERIFY2(line.start({"--slave", "3", "--reg", "0=1111", "--reg", "2=2222", "--fault",
                             QStringLiteral("3:late=%1").arg(lateMs), "--slave", "4", "--reg",
                             "0=4441", "--reg", "2=4442"},
                            &error),
                 qPrintable(error));

        Session session(line.folder().path(), Clock::system(), line.port());
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
        session.start({1, 1, 1, 1, 1, 1});
        QTRY_VERIFY_WITH_TIMEOUT(ticks >= 4, 30000);
        session.stop();
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QStringLiteral("; "))));
        // The late meter must not cost its neighbour a reading.
        QCOMPARE(neighbourGood, ticks);
    }
};

QTEST_MAIN(TstLateReplies)
#include "tst_latereplies.moc"
