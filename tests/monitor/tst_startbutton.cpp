#include "clock.h"
#include "fakemeterport.h"
#include "findcontrol.h"
#include "form1.h"
#include "stationform.h"
#include "form2.h"
#include "form3.h"
#include "form4.h"
#include "intervaltimer.h"
#include "session.h"
#include "testfolder.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace kelmar;
using kelmar::test::control;
using kelmar::test::FakeMeterPort;
using kelmar::test::TestFolder;

namespace {

// Slot k switched on with model list entry `model` of the shipped table, as
// the operator does it in the meter setup window.
void useSlot(Form1 &f, int k, int model, int decimalsEntry = -1)
{
    Form4 *m = f.form4();
    control<QCheckBox>(m, QStringLiteral("MSCK%1").arg(k))->setChecked(true);
    emit control<QComboBox>(m, QStringLiteral("Combo%1").arg(k))->activated(model);
    if (decimalsEntry >= 0)
        emit control<QComboBox>(m, QStringLiteral("I%1").arg(k))->activated(decimalsEntry);
}

QPushButton *exitButton(Form3 *d)
{
    return control<QPushButton>(d, QStringLiteral("Command1"));
}

} // namespace

// The start press through the main window.
class TstStartButton : public QObject
{
    Q_OBJECT
private slots:
    void startThroughMainWindow_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QSize>("size");
        QTest::newRow("800X600") << "1" << QSize(800, 600);
        QTest::newRow("invalid screen code: shown and running all the same")
            << "x" << QSize(800, 600);
    }
    void startThroughMainWindow()
    {
        QFETCH(QString, code);
        QFETCH(QSize, size);
        TestFolder dir;
        QVERIFY(dir.copyDist());
        ManualClock clock;
        FakeMeterPort port;
        test::StationForm1 f(dir.path(), clock, test::lendPort(port));
        f.form2()->Command1_Click();
        Session &s = f.session();
        s.setDisplayCode(code);
        // The shipped table: line 3 is ZRP-VA, a two-value model.
        useSlot(f, 2, 3, 2);
        QCOMPARE(s.meterSlot(2).flag, QStringLiteral("B"));
        // A run before this one left counts behind.
        s.start();
        for (int i = 0; i < 7; ++i)
            f.line().tickEnded();
        for (int i = 0; i < 9; ++i)
            s.recordTick();
        s.stop();
        QCOMPARE(f.line().ticksSinceReopen(), 7);
        QCOMPARE(s.recorder().count(), 9);
        f.Command3_Click();
        Form3 *d = f.form3();
        QVERIFY(d->isVisible());
        QCOMPARE(d->size(), size);
        QCOMPARE(s.meterSlot(2).decimalPlaces().divisor(), 100.0);
        QCOMPARE(f.line().ticksSinceReopen(), 0);
        QCOMPARE(s.recorder().count(), 0);
        QVERIFY(s.isMonitoring());
        QVERIFY(s.pollTimer().enabled());
        QVERIFY(s.recordTimer().enabled());
        QVERIFY(f.noticeText().isEmpty());
        if (code == QLatin1String("1")) {
            QCOMPARE(control<QWidget>(d, QStringLiteral("Label2_1"))->geometry(),
                     QRect(614, 125, 151, 47));
            QVERIFY(control<QLabel>(d, QStringLiteral("Image1"))->pixmap().isNull());
        }
        exitButton(d)->click();
        QVERIFY(!d->isVisible());
        QVERIFY(!s.isMonitoring());
        QVERIFY(!s.pollTimer().enabled());
        QVERIFY(!s.recordTimer().enabled());
    }

    // Readings of a run are gone when the display comes back, and the
    // keyboard focus is in the display's focus box.
    void exitAndStartAgain()
    {
        TestFolder dir;
        QVERIFY(dir.copyDist());
        ManualClock clock;
        FakeMeterPort port;
        port.registers[{1, 4}] = 2301;
        port.registers[{1, 6}] = 980;
        test::StationForm1 f(dir.path(), clock, test::lendPort(port));
        f.form2()->Command1_Click();
        QVERIFY(port.PortOpen());
        f.show(); // as in the program: the display is a window of the shown main window
        f.session().setDisplayCode(QStringLiteral("1"));
        // Line 4: ZRP-WPF, power and power factor; no ID chosen is slave 0
        // on the wire, so slave 1 is chosen.
        useSlot(f, 1, 4);
        emit control<QComboBox>(f.form4(), QStringLiteral("ID1"))->activated(0);
        f.Command3_Click();
        f.session().pollTimer().setEnabled(false);
        Form3 *d = f.form3();
        QSignalSpy ticks(&f.session(), &Session::tickFinished);
        f.session().pollTick();
        QVERIFY(ticks.wait(10000));
        QCOMPARE(d->reading(1, 0), QStringLiteral("2301"));
        QCOMPARE(d->reading(1, 1), QStringLiteral("980"));
        exitButton(d)->click();
        f.Command3_Click();
        QVERIFY(d->isVisible());
        QVERIFY(d->reading(1, 0).isEmpty());
        QVERIFY(d->reading(1, 1).isEmpty());
        // The offscreen platform keeps a hidden window as its focus window,
        // so the main window takes the focus in between.
        f.activateWindow();
        QTRY_VERIFY_WITH_TIMEOUT(f.isActiveWindow(), 10000);
        d->activateWindow();
        QTRY_VERIFY_WITH_TIMEOUT(d->isActiveWindow(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::focusWidget(),
                                  control<QWidget>(d, QStringLiteral("Text1")), 10000);
    }

    void missingPictureReachesTheOperator()
    {
        TestFolder dir;
        QVERIFY(dir.copyDist());
        QVERIFY(QFile::remove(dir.file(QStringLiteral("logo/vq2_366.jpg"))));
        ManualClock clock;
        test::StationForm1 f(dir.path(), clock);
        f.session().setDisplayCode(QStringLiteral("2"));
        useSlot(f, 6, 0); // VQ2-V, model "A"
        f.Command3_Click();
        QVERIFY(f.form3()->isVisible());
        QVERIFY(f.session().pollTimer().enabled());
        QVERIFY(f.noticeText().contains(QStringLiteral("vq2_366.jpg")));
        QCOMPARE(f.form3()->notice(), f.noticeText());
    }
};

QTEST_MAIN(TstStartButton)
#include "tst_startbutton.moc"
