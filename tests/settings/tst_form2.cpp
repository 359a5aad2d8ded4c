#include "clock.h"
#include "form1.h"
#include "stationform.h"
#include "form2.h"
#include "lamp.h"
#include "serialport.h"
#include "session.h"
#include "socatpair.h"
#include "systemserialport.h"
#include "testfolder.h"
#include "findcontrol.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <memory>

using namespace kelmar;
using kelmar::test::SocatPair;
using kelmar::test::TestFolder;
using kelmar::test::control;

namespace {

// Controls by their names on screen.
QComboBox *list(const QWidget *w, const char *name)
{
    return control<QComboBox>(w, QLatin1String(name));
}
QPushButton *button(const QWidget *w, const char *name)
{
    return control<QPushButton>(w, QLatin1String(name));
}
QCheckBox *recordBox(const QWidget *f2)
{
    return control<QCheckBox>(f2, QStringLiteral("Check1"));
}

// A program folder whose port `number` is one end of a socat pair, and the
// main window started from it.
struct Line
{
    TestFolder dir;
    SocatPair pair{dir.path()};
    ManualClock clock;
    std::unique_ptr<Form1> form;

    bool start(int number)
    {
        if (!pair.start() || !dir.mapComPort(number, pair.endA()))
            return false;
        form = std::make_unique<test::StationForm1>(dir.path(), clock);
        form->Form_Load();
        return true;
    }
};

} // namespace

// The host settings window against a real pseudo-terminal pair mapped as a
// COM port of the program folder.
class TstForm2 : public QObject
{
    Q_OBJECT
private slots:
    void connectTurnsLampGreenAndEnables()
    {
        Line l;
        QVERIFY(l.start(3));
        Form1 &f = *l.form;
        Form2 *f2 = f.form2();
        list(f2, "Combo1")->setCurrentIndex(2);
        list(f2, "Combo2")->setCurrentIndex(0);
        QTest::mouseClick(button(f2, "Command1"), Qt::LeftButton);
        QVERIFY(f.port().PortOpen());
        QCOMPARE(f.port().CommPort(), 3);
        QCOMPARE(f.port().Settings(), QStringLiteral("19200,N,8,1"));
        QCOMPARE(f2->lampColor(), Form2::LampOn);
        QVERIFY(recordBox(f2)->isEnabled());
        QVERIFY(button(&f, "Command3")->isEnabled());

        // Connect while connected closes and reopens with the current choices.
        list(f2, "Combo2")->setEditText(QStringLiteral("4800"));
        f2->Command1_Click();
        QVERIFY(f.port().PortOpen());
        QCOMPARE(f.port().Settings(), QStringLiteral("4800,N,8,1"));

        // Disconnect with recording ticked unticks and disables it.
        recordBox(f2)->setChecked(true);
        QSignalSpy toggled(recordBox(f2), &QCheckBox::toggled);
        QTest::mouseClick(button(f2, "Command2"), Qt::LeftButton);
        QVERIFY(!f.port().PortOpen());
        QCOMPARE(toggled.count(), 1);
        QVERIFY(!recordBox(f2)->isChecked());
        QVERIFY(!f2->isRecording() && !f.session().recorder().isOn());
        QVERIFY(!recordBox(f2)->isEnabled());
        QVERIFY(!button(&f, "Command3")->isEnabled());
        QCOMPARE(f2->lampColor(), Form2::LampOff);

        // A second disconnect changes nothing further.
        f2->Command2_Click();
        QCOMPARE(toggled.count(), 1);
    }

    void connectFailures_data()
    {
        QTest::addColumn<int>("mappedPort");
        QTest::addColumn<int>("chosenIndex");
        QTest::addColumn<QString>("baud");
        QTest::newRow("absent port") << 3 << 4 << "9600";
        QTest::newRow("no entry chosen") << 3 << -1 << "9600";
        QTest::newRow("baud typed as letters") << 3 << 2 << "fast";
        QTest::newRow("baud with a blank") << 3 << 2 << "9600 ";
    }
    void connectFailures()
    {
        QFETCH(int, mappedPort);
        QFETCH(int, chosenIndex);
        QFETCH(QString, baud);
        Line l;
        QVERIFY(l.start(mappedPort));
        // Port 5 is mapped to a device that does not exist.
        QVERIFY(l.dir.mapComPort(5, l.dir.file(QStringLiteral("nothing-here"))));
        Form1 &f = *l.form;
        Form2 *f2 = f.form2();
        list(f2, "Combo1")->setCurrentIndex(chosenIndex);
        list(f2, "Combo2")->setEditText(baud);
        f2->Command1_Click();
        QVERIFY(!f.port().PortOpen());
        QCOMPARE(f2->lampColor(), Form2::LampOff);
        QVERIFY(!recordBox(f2)->isEnabled());
        QVERIFY(!button(&f, "Command3")->isEnabled());
    }

    void noEntryChosenNeverOpensAnEarlierPort()
    {
        Line l;
        QVERIFY(l.start(1));
        Form1 &f = *l.form;
        Form2 *f2 = f.form2();
        f2->Command1_Click();
        QVERIFY(f.port().PortOpen());
        list(f2, "Combo1")->setCurrentIndex(-1);
        f2->Command1_Click();
        QVERIFY(!f.port().PortOpen());
        QCOMPARE(f2->lampColor(), Form2::LampOff);
        QVERIFY(!button(&f, "Command3")->isEnabled());
    }

    void typedTextIsTakenAsTyped()
    {
        TestFolder dir;
        ManualClock clock;
        test::StationForm1 f(dir.path(), clock);
        Form2 *f2 = f.form2();
        list(f2, "Combo2")->lineEdit()->clear();
        QTest::keyClicks(list(f2, "Combo2")->lineEdit(), QStringLiteral("96"));
        QTest::keyClick(list(f2, "Combo2")->lineEdit(), Qt::Key_Return);
        QCOMPARE(f2->settingsText(), QStringLiteral("96,N,8,1"));
        QCOMPARE(f.session().setup().host.baud, QStringLiteral("96"));
        // In the port list only the position counts, and typing does not move it.
        list(f2, "Combo1")->lineEdit()->clear();
        QTest::keyClicks(list(f2, "Combo1")->lineEdit(), QStringLiteral("COM5"));
        QTest::keyClick(list(f2, "Combo1")->lineEdit(), Qt::Key_Return);
        QCOMPARE(f2->portNumber(), 1);
    }

    void leaveWhileConnectedKeepsThePortInUse()
    {
        Line l;
        QVERIFY(l.start(1));
        Form1 &f = *l.form;
        Form2 *f2 = f.form2();
        f2->Command1_Click();
        QVERIFY(f.port().PortOpen());
        list(f2, "Combo1")->setCurrentIndex(6);
        f2->Command3_Click();
        QVERIFY(f.port().PortOpen());
        QCOMPARE(f.port().CommPort(), 1);
        QVERIFY(l.dir.read(QStringLiteral("setup.ini")).startsWith(" 7 \r\n"));
    }

    void twoProgramsNeverHoldOnePort()
    {
        TestFolder dir;
        SocatPair line(dir.path());
        QVERIFY(line.start());
        // One device under two names.
        QVERIFY(dir.mapComPort(1, line.endA()));
        QVERIFY(dir.mapComPort(2, line.endA()));
        SystemSerialPort first(dir.path());
        SystemSerialPort second(dir.path());
        QVERIFY(first.setPortOpen(true));
        QVERIFY(second.setCommPort(2));
        QVERIFY(!second.setPortOpen(true));
        QVERIFY(!second.PortOpen());
        first.setPortOpen(false);
        QVERIFY(second.setPortOpen(true));
    }

    void commPortRefusedWhileOpen()
    {
        TestFolder dir;
        SocatPair line(dir.path());
        QVERIFY(line.start());
        QVERIFY(dir.mapComPort(1, line.endA()));
        SystemSerialPort port(dir.path());
        QVERIFY(port.setPortOpen(true));
        QVERIFY(!port.setCommPort(2));
        QCOMPARE(port.CommPort(), 1);
        QVERIFY(port.setPortOpen(false));
        QVERIFY(port.setPortOpen(false)); // closing a closed port is fine
        QVERIFY(!port.setCommPort(0));
        QVERIFY(!port.setCommPort(11));
        QVERIFY(port.setCommPort(10));
    }
};

QTEST_MAIN(TstForm2)
#include "tst_form2.moc"
