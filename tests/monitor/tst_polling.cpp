#include "clock.h"
#include "fakemeterport.h"
#include "form1.h"
#include "form2.h"
#include "form3.h"
#include "form4.h"
#include "pollingcycle.h"
#include "testfolder.h"
#include "intervaltimer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace kelmar;
using kelmar::test::FakeMeterPort;
using kelmar::test::TestFolder;

namespace {

// Slot k as the meter setup window leaves it after the operator's choices.
void setUpSlot(Form1 &f, int k, int id, const QString &flag,
               const QString &places = QStringLiteral("0"))
{
    Form4 *f4 = f.form4();
    f4->MSCK(k)->setChecked(true);
    f4->MS(k, 0)->setText(QString::number(id));
    f4->MS(k, 1)->setText(places);
    f4->MS(k, 2)->setText(QStringLiteral("0000"));
    f4->MS(k, 3)->setText(QStringLiteral("0001"));
    f4->MS(k, 4)->setText(QStringLiteral("0002"));
    f4->MS(k, 5)->setText(QStringLiteral("0001"));
    f4->MS(k, 6)->setText(flag);
}

struct Run
{
    TestFolder dir;
    ManualClock clock{QDateTime(QDate(2025, 3, 6), QTime(14, 5, 7))};
    FakeMeterPort port;
    Form1 form{dir.path(), clock, &port};

    Run()
    {
        dir.copyDist();
        form.Form_Load();
        form.Timer2->setEnabled(false); // the clock is not what these tests watch
        form.form2()->Command1_Click();
    }
    QString value(int k, int item) { return form.form3()->Label(k, item)->text(); }
    // Starts monitoring with the ticks left to the test.
    void startByHand()
    {
        form.Command3_Click();
        form.Timer1->setEnabled(false);
    }
};

} // namespace

class TstPolling : public QObject
{
    Q_OBJECT
private slots:
    void tickWritesLabelsRecordLineAndText3()
    {
        Run r;
        QVERIFY(r.port.PortOpen());
        r.port.registers[{1, 0}] = 12345;
        r.port.registers[{2, 0}] = quint16(-42);
        r.port.registers[{2, 2}] = 7;
        setUpSlot(r.form, 1, 1, QStringLiteral("A"), QStringLiteral("2"));
        setUpSlot(r.form, 2, 2, QStringLiteral("B"));
        r.startByHand();
        QSignalSpy ticks(r.form.pollingCycle(), &PollingCycle::finished);
        r.form.Timer1_Timer();
        QVERIFY(ticks.wait(10000));
        QCOMPARE(r.form.RecordLine,
                 QStringLiteral("14:05:07\t123.45\t\t-42\t7") + QString(8, u'\t'));
        QCOMPARE(r.form.Text3->text(), r.form.RecordLine);
        QCOMPARE(r.form.PollTickCount, 1);
    }

    void ticksNeverOverlapOnTheLine()
    {
        Run r;
        for (int k = 1; k <= 6; ++k)
            setUpSlot(r.form, k, k, QStringLiteral("B"));
        r.form.Timer1->setInterval(50); // far shorter than a tick of 12 transactions
        r.form.Command3_Click();
        QSignalSpy ticks(r.form.pollingCycle(), &PollingCycle::finished);
        QTRY_VERIFY_WITH_TIMEOUT(ticks.count() >= 2, 30000);
        r.form.form3()->Command1_Click();
        QTRY_VERIFY_WITH_TIMEOUT(!r.form.pollTickRunning(), 10000);
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
        r.form.PollTickCount = 3599;
        r.port.events.clear();
        r.form.Timer1_Timer();
        QCOMPARE(r.port.events, QStringList{QStringLiteral("close")});
        QVERIFY(r.form.pollTickRunning());
        r.form.Timer1_Timer(); // falls due during the pause: skipped
        QTRY_VERIFY_WITH_TIMEOUT(r.port.PortOpen(), 10000);
        QVERIFY(r.port.closedAt.elapsed() - r.port.openedAt.elapsed() >= 100);
        QCOMPARE(r.port.events, QStringList({QStringLiteral("close"), QStringLiteral("open")}));
        QCOMPARE(r.form.PollTickCount, 0);
        QVERIFY(!r.form.pollTickRunning());
    }

    // Waits are measured on a monotonic clock, so the wall clock passing
    // midnight (or being set) in the middle of one changes nothing.
    void midnightInTheMiddleOfATransaction()
    {
        Run r;
        r.port.registers[{1, 0}] = 1234;
        setUpSlot(r.form, 1, 1, QStringLiteral("A"));
        r.startByHand();
        r.clock.set(QDateTime(QDate(2025, 3, 6), QTime(23, 59, 59, 900)));
        QSignalSpy ticks(r.form.pollingCycle(), &PollingCycle::finished);
        QElapsedTimer took;
        took.start();
        r.form.Timer1_Timer();
        r.clock.set(QDateTime(QDate(2025, 3, 7), QTime(0, 0, 0, 50)));
        QVERIFY(ticks.wait(10000));
        QVERIFY(took.elapsed() >= 200);
        QCOMPARE(r.value(1, 0), QStringLiteral("1234"));
        QVERIFY(r.form.RecordLine.startsWith(QStringLiteral("00:00:00\t1234")));
    }

    void delayAcrossMidnight()
    {
        Run r;
        r.clock.set(QDateTime(QDate(2025, 3, 6), QTime(23, 59, 59, 950)));
        bool done = false;
        QElapsedTimer took;
        took.start();
        r.form.Delay(0.1, [&done] { done = true; });
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
        r.form.PollTickCount = 3599;
        r.form.Timer1_Timer();
        QVERIFY(!r.port.PortOpen());
        if (reconnect) {
            r.form.form2()->Combo1->setCurrentIndex(4);
            r.form.form2()->Command1_Click();
        } else {
            r.form.form2()->Command2_Click();
        }
        QTRY_VERIFY_WITH_TIMEOUT(!r.form.pollTickRunning(), 10000);
        QCOMPARE(r.port.PortOpen(), reconnect);
        QCOMPARE(r.port.CommPort(), reconnect ? 5 : 1);
    }

    void disconnectedPortIsNotReopened()
    {
        Run r;
        r.startByHand();
        r.form.form2()->Command2_Click();
        r.form.PollTickCount = 3599;
        r.form.Timer1_Timer();
        QTRY_VERIFY_WITH_TIMEOUT(!r.form.pollTickRunning(), 10000);
        QVERIFY(!r.port.PortOpen());
        QCOMPARE(r.form.PollTickCount, 0);
    }

    void unpluggedAdapterComesBackWithoutAClick()
    {
        Run r;
        r.port.registers[{1, 0}] = 2205;
        setUpSlot(r.form, 1, 1, QStringLiteral("A"), QStringLiteral("1"));
        r.startByHand();
        QSignalSpy ticks(r.form.pollingCycle(), &PollingCycle::finished);
        r.form.Timer1_Timer();
        QVERIFY(ticks.wait(10000));
        QCOMPARE(r.value(1, 0), QStringLiteral("220.5"));

        r.port.unplug();
        r.form.Timer1_Timer();
        QTRY_COMPARE_WITH_TIMEOUT(ticks.count(), 2, 10000);
        QCOMPARE(r.value(1, 0), QString());
        QVERIFY(!r.port.PortOpen());

        // Another port was chosen and saved meanwhile: the adapter still
        // comes back on the port of the last connect.
        r.form.form2()->Combo1->setCurrentIndex(4);
        r.form.form2()->Command3_Click();
        r.port.plugIn();
        r.form.Timer1_Timer();
        QTRY_COMPARE_WITH_TIMEOUT(ticks.count(), 3, 10000);
        QVERIFY(r.port.PortOpen());
        QCOMPARE(r.port.CommPort(), 1);
        QCOMPARE(r.value(1, 0), QStringLiteral("220.5"));
    }

    void exitDuringATickIsTolerated()
    {
        Run r;
        r.port.registers[{1, 0}] = 5;
        setUpSlot(r.form, 1, 1, QStringLiteral("B"));
        r.startByHand();
        r.form.Timer1_Timer();
        QVERIFY(r.form.pollTickRunning());
        QTest::mouseClick(r.form.form3()->Command1, Qt::LeftButton);
        QVERIFY(!r.form.Timer1->enabled());
        QVERIFY(!r.form.Timer3->enabled());
        QTRY_VERIFY_WITH_TIMEOUT(!r.form.pollTickRunning(), 10000);
        // The tick wrote on into the hidden window; the next start clears nothing
        // until its own first tick.
        QCOMPARE(r.value(1, 1), QStringLiteral("0"));
    }

    void disconnectDuringATickIsTolerated()
    {
        Run r;
        for (int k = 1; k <= 3; ++k)
            setUpSlot(r.form, k, k, QStringLiteral("A"));
        r.startByHand();
        QSignalSpy ticks(r.form.pollingCycle(), &PollingCycle::finished);
        r.form.Timer1_Timer();
        r.form.form2()->Command2_Click();
        QVERIFY(ticks.wait(10000));
        QCOMPARE(r.value(3, 0), QString());
    }
};

QTEST_MAIN(TstPolling)
#include "tst_polling.moc"
