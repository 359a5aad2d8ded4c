#include "clock.h"
#include "fakemeterport.h"
#include "findcontrol.h"
#include "fonts.h"
#include "form1.h"
#include "stationform.h"
#include "form2.h"
#include "form3.h"
#include "form4.h"
#include "intervaltimer.h"
#include "serialport.h"
#include "session.h"
#include "setupini.h"
#include "testfolder.h"
#include "testmeters.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFontInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

using namespace kelmar;
using kelmar::test::control;
using kelmar::test::TestFolder;

namespace {

QString comboText(const QWidget *w, const char *name)
{
    return control<QComboBox>(w, QLatin1String(name))->currentText();
}

QPushButton *button(const QWidget *w, const char *name)
{
    return control<QPushButton>(w, QLatin1String(name));
}

QString noticeShown(const Form1 &f)
{
    return control<QLabel>(&f, QStringLiteral("Notice"))->text();
}

// Lines 6 to 10 of a setup.ini, each without its CR LF.
QList<QByteArray> lines6to10(const QByteArray &file)
{
    return file.split('\n').mid(5, 5);
}

} // namespace

class TstForm1 : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { installFontSubstitutions(); }

    void startUpWithoutFileKeepsInitialValues()
    {
        TestFolder dir;
        ManualClock clock;
        test::StationForm1 f(dir.path(), clock);
        f.Form_Load();
        Form2 *f2 = f.form2();
        const Session &s = f.session();
        QCOMPARE(f.windowTitle(), QStringLiteral("Kelmar"));
        QCOMPARE(comboText(f2, "Combo1"), QStringLiteral("COM1"));
        QCOMPARE(comboText(f2, "Combo2"), QStringLiteral("9600"));
        QCOMPARE(comboText(f2, "Combo3"), QStringLiteral("N,8,1"));
        QVERIFY(control<QLineEdit>(f2, QStringLiteral("Text1"))->text().isEmpty());
        QVERIFY(control<QRadioButton>(f2, QStringLiteral("Option1"))->isChecked());
        QVERIFY(f2->hostSettings() == HostSettings());
        QVERIFY(s.displayCode().isEmpty());
        QCOMPARE(s.setup().extension, QStringLiteral("Text2"));
        QCOMPARE(s.setup().recordSeconds, QStringLiteral("Text4"));
        QCOMPARE(s.recordSeconds(), 0.0);
        QCOMPARE(f.session().pollTimer().interval(), 1000);
        QVERIFY(!f.session().pollTimer().enabled());
        QVERIFY(f.session().clockTimer().enabled() && f.session().recordTimer().enabled());
        QVERIFY(!button(&f, "Command3")->isEnabled());
        QVERIFY(!f2->isVisible());
        QVERIFY(!control<QCheckBox>(f2, QStringLiteral("Check1"))->isEnabled());
        QVERIFY(!f.hasForm3());
        QVERIFY(!f.port().PortOpen());
        // State lives in the session: no invisible field is left to hold it.
        for (const char *gone : {"Text1", "Text2", "Text3", "Text4", "OP_D", "Label1", "Label2",
                                 "Label4"})
            QVERIFY2(!f.findChild<QWidget *>(QLatin1String(gone), Qt::FindDirectChildrenOnly),
                     gone);
        QVERIFY(!f2->findChild<QWidget *>(QStringLiteral("Text2")));
    }

    void startUpReadsEveryLine()
    {
        TestFolder dir;
        // Big5 for "記錄" (folder) and "監視" (title).
        QVERIFY(dir.write(SetupIniName,
                          " 3 \r\n4800\r\nE,8,1\r\nD:\\\xb0\x4f\xbf\xfd\\\r\n1024X768\r\n"
                          " 2000 \r\nReserved\r\ncsv\r\nKelmar \xba\xca\xb5\xf8\r\n5\r\n"));
        ManualClock clock;
        test::StationForm1 f(dir.path(), clock);
        f.Form_Load();
        Form2 *f2 = f.form2();
        const Session &s = f.session();
        QCOMPARE(comboText(f2, "Combo1"), QStringLiteral("COM3"));
        QCOMPARE(comboText(f2, "Combo2"), QStringLiteral("4800"));
        QCOMPARE(comboText(f2, "Combo3"), QStringLiteral("E,8,1"));
        QCOMPARE(control<QLineEdit>(f2, QStringLiteral("Text1"))->text(),
                 QStringLiteral("D:\\記錄\\"));
        QVERIFY(control<QRadioButton>(f2, QStringLiteral("Option2"))->isChecked());
        QCOMPARE(s.displayCode(), QStringLiteral("2"));
        QCOMPARE(f.session().pollTimer().interval(), 2000);
        QCOMPARE(s.setup().extension, QStringLiteral("csv"));
        QCOMPARE(f.windowTitle(), QStringLiteral("Kelmar 監視"));
        QCOMPARE(s.setup().recordSeconds, QStringLiteral("5"));
        QCOMPARE(s.recordSeconds(), 5.0);
        QVERIFY(noticeShown(f).isEmpty());
    }

    void leaveWritesTheFileByteForByte()
    {
        TestFolder dir;
        const QByteArray file =
            " 3 \r\n4800\r\nE,8,1\r\nD:\\log\\\r\n1024X768\r\n 2000 \r\nReserved\r\n"
            "txt\r\nKelmar\r\n5\r\n";
        QVERIFY(dir.write(SetupIniName, file));
        ManualClock clock;
        test::StationForm1 f(dir.path(), clock);
        f.Form_Load();
        QVERIFY(dir.write(SetupIniName, "changed by hand\r\n"));
        f.form2()->show();
        QTest::mouseClick(button(f.form2(), "Command3"), Qt::LeftButton);
        QCOMPARE(dir.read(SetupIniName), file);
        QVERIFY(!f.form2()->isVisible());
    }

    void leaveSetsDisplayMode_data()
    {
        QTest::addColumn<bool>("large");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QByteArray>("line5");
        QTest::newRow("800X600") << false << "1" << QByteArray("800X600");
        QTest::newRow("1024X768") << true << "2" << QByteArray("1024X768");
    }
    void leaveSetsDisplayMode()
    {
        QFETCH(bool, large);
        QFETCH(QString, code);
        QFETCH(QByteArray, line5);
        TestFolder dir;
        ManualClock clock;
        test::StationForm1 f(dir.path(), clock);
        f.Form_Load();
        control<QRadioButton>(f.form2(), QLatin1String(large ? "Option2" : "Option1"))
            ->setChecked(true);
        // A click of a size option alone does not move the layout.
        QVERIFY(f.session().displayCode().isEmpty());
        f.form2()->Command3_Click();
        QCOMPARE(f.session().displayCode(), code);
        QCOMPARE(dir.read(SetupIniName).split('\n').value(4), line5 + '\r');
    }

    // Line 6 as start-up takes it, and what the operator is told.
    void pollInterval_data()
    {
        QTest::addColumn<QByteArray>("line6");
        QTest::addColumn<int>("interval");
        QTest::addColumn<QString>("notice"); // a part of the main window's report
        // Every value of line 6: tst_session.
        QTest::newRow("abc is 0: never fires") << QByteArray("abc") << 0 << "interval is 0";
        QTest::newRow("70000 is refused: 1000 stays") << QByteArray("70000") << 1000 << "line 6";
    }
    void pollInterval()
    {
        QFETCH(QByteArray, line6);
        QFETCH(int, interval);
        QFETCH(QString, notice);
        TestFolder dir;
        QVERIFY(dir.write(SetupIniName, " 1 \r\n9600\r\nN,8,1\r\n\r\n800X600\r\n" + line6 + "\r\n"));
        ManualClock clock;
        test::StationForm1 f(dir.path(), clock);
        f.Form_Load();
        IntervalTimer &t = f.session().pollTimer();
        QCOMPARE(t.interval(), interval);
        QVERIFY2(noticeShown(f).contains(notice), qPrintable(noticeShown(f)));
        t.setEnabled(true);
        QCOMPARE(t.isTicking(), interval > 0);
    }

    void clockTickCreatesDisplayAndWritesBothClocks()
    {
        TestFolder dir;
        ManualClock clock(QDateTime(QDate(2025, 3, 6), QTime(14, 5, 7)));
        test::StationForm1 f(dir.path(), clock);
        f.Form_Load();
        QVERIFY(!f.hasForm3());
        QTRY_VERIFY_WITH_TIMEOUT(f.hasForm3(), 10000);
        const QLabel *clockShown = control<QLabel>(&f, QStringLiteral("Label3"));
        QCOMPARE(clockShown->text(), QStringLiteral("2025-03-06  14:05:07"));
        QCOMPARE(control<QLabel>(f.form3(), QStringLiteral("Label13"))->text(), clockShown->text());
        QVERIFY(!f.form3()->isVisible());
        // The start shows the time at once, as its clock restarts with polling.
        clock.advanceSeconds(1);
        f.Command3_Click();
        QCOMPARE(clockShown->text(), QStringLiteral("2025-03-06  14:05:08"));
    }

    void buttonsShowWindowsModeless()
    {
        TestFolder dir;
        ManualClock clock;
        test::StationForm1 f(dir.path(), clock);
        f.Form_Load();
        f.show();
        QTest::mouseClick(button(&f, "Command1"), Qt::LeftButton);
        QVERIFY(f.form2()->isVisible());
        QVERIFY(!f.form2()->isModal());
        QTest::mouseClick(button(&f, "Command2"), Qt::LeftButton);
        QVERIFY(f.form4()->isVisible());
        QVERIFY(!f.form4()->isModal());
    }

    // 離開 asks first only while logging would end with it; the question
    // waits in no loop of its own, so monitoring goes on meanwhile.
    void quitAsksOnlyWhileLogging_data()
    {
        QTest::addColumn<bool>("monitoring");
        QTest::addColumn<bool>("recording");
        QTest::newRow("idle: ends at once") << false << false;
        QTest::newRow("monitoring") << true << false;
        QTest::newRow("recording") << false << true;
    }
    void quitAsksOnlyWhileLogging()
    {
        QFETCH(bool, monitoring);
        QFETCH(bool, recording);
        TestFolder dir;
        ManualClock clock;
        test::StationForm1 f(dir.path(), clock);
        SetupFile file = f.session().setup();
        file.host.recordFolder = dir.path() + QLatin1Char('/');
        f.session().applySetup(file);
        if (monitoring)
            f.session().start();
        if (recording)
            f.session().setRecording(true);
        f.Command5_Click();
        auto *question = f.findChild<QMessageBox *>(QStringLiteral("QuitQuestion"));
        QCOMPARE(question && question->isVisible(), monitoring || recording);
        if (question) {
            QVERIFY(question->text().contains(QStringLiteral("確定離開")));
            question->done(QMessageBox::No);
            QVERIFY(f.session().isMonitoring() == monitoring);
        }
    }

    // Slots set by typing and by picking are there again, and polled from
    // them, after the program ended and started again.
    void slotsSurviveQuitAndStart()
    {
        TestFolder dir;
        QVERIFY(dir.copyDist());
        ManualClock clock;
        {
            test::StationForm1 f(dir.path(), clock);
            f.Form_Load();
            Form4 *f4 = f.form4();
            f4->show();
            QVERIFY(QTest::qWaitForWindowExposed(f4));
            auto *id = control<QComboBox>(f4, QStringLiteral("ID3"));
            id->lineEdit()->setFocus();
            id->lineEdit()->selectAll();
            QTest::keyClicks(id->lineEdit(), QStringLiteral("25"));
            QTest::keyClick(id->lineEdit(), Qt::Key_Return);
            auto *model = control<QComboBox>(f4, QStringLiteral("Combo3"));
            model->setCurrentIndex(1);
            emit model->activated(1);
            control<QCheckBox>(f4, QStringLiteral("MSCK3"))->setChecked(true);
            f.Command5_Click(); // nothing runs: ends at once, keeping the setup
        }
        test::StationForm1 again(dir.path(), clock);
        again.Form_Load();
        const MeterSlot &s = again.session().meterSlot(3);
        QVERIFY(s.enabled);
        QCOMPARE(s.slaveId, std::optional<int>(25));
        QVERIFY(!s.register1.isEmpty());
        QVERIFY(!again.session().meterSlot(2).enabled);
    }

    // A tick's readings and the clock reach the display together when the
    // tick ends, so the display is drawn once a tick; an exit in between
    // leaves no reading standing.
    void aTicksReadingsAppearTogether_data()
    {
        QTest::addColumn<bool>("exitAfterFirst");
        QTest::newRow("tick ends") << false;
        QTest::newRow("exit between the values") << true;
    }
    void aTicksReadingsAppearTogether()
    {
        QFETCH(bool, exitAfterFirst);
        TestFolder dir;
        ManualClock clock;
        test::FakeMeterPort port;
        port.registers[{1, 0}] = 2100;
        port.registers[{1, 2}] = 1000;
        port.registers[{2, 0}] = 500;
        test::StationForm1 f(dir.path(), clock, test::lendPort(port));
        Session &s = f.session();
        s.setSlot(1, test::meterAt(1, QStringLiteral("B"), 1));
        s.setSlot(2, test::meterAt(2, QStringLiteral("A"), 1));
        f.line().connectLine(1, QStringLiteral("9600,N,8,1"));
        f.Command3_Click();
        s.pollTimer().setEnabled(false);
        s.pollTick();
        QTRY_COMPARE_WITH_TIMEOUT(f.form3()->reading(2, 0), QStringLiteral("50.0"), 10000);
        port.registers[{1, 0}] = 2205;
        port.registers[{1, 2}] = 1234;
        port.registers[{2, 0}] = 600;
        const QString clockBefore = f.form3()->findChild<QLabel *>("Label13")->text();
        QStringList shownWhenRead;
        connect(&s, &Session::readingChanged, this, [&](int k, int item) {
            if (!s.isMonitoring())
                return;
            shownWhenRead << f.form3()->reading(1, 0) + QLatin1Char('/') + f.form3()->reading(1, 1)
                                 + QLatin1Char('/') + f.form3()->reading(2, 0) + QLatin1Char('/')
                                 + f.form3()->findChild<QLabel *>("Label13")->text();
            if (k == 1 && item == 0) {
                clock.advanceSeconds(1);
                s.clockTick();
                if (exitAfterFirst)
                    s.stop();
            }
        });
        s.pollTick();
        QTRY_VERIFY_WITH_TIMEOUT(!s.pollTickRunning(), 10000);
        const QString before = QStringLiteral("210.0/100.0/50.0/") + clockBefore;
        QCOMPARE(shownWhenRead, QStringList(exitAfterFirst ? 1 : 3, before));
        QCOMPARE(f.form3()->reading(1, 0), exitAfterFirst ? QString() : QStringLiteral("220.5"));
        QCOMPARE(f.form3()->reading(1, 1), exitAfterFirst ? QString() : QStringLiteral("123.4"));
        QCOMPARE(f.form3()->reading(2, 0), exitAfterFirst ? QString() : QStringLiteral("60.0"));
        QVERIFY(f.form3()->findChild<QLabel *>("Label13")->text() != clockBefore);
    }

    // A tick held up by meters that do not answer still shows what it has
    // read, well before it ends.
    void aSlowTickShowsWhatItRead()
    {
        TestFolder dir;
        ManualClock clock;
        test::FakeMeterPort port;
        port.registers[{1, 0}] = 2100;
        test::StationForm1 f(dir.path(), clock, test::lendPort(port));
        Session &s = f.session();
        for (int k = 1; k <= SlotCount; ++k)
            s.setSlot(k, test::meterAt(k, QStringLiteral("A"), 1));
        port.silent = {2, 3, 4, 5, 6};
        f.line().connectLine(1, QStringLiteral("9600,N,8,1"));
        f.Command3_Click();
        s.pollTimer().setEnabled(false);
        s.pollTick();
        QTRY_COMPARE_WITH_TIMEOUT(f.form3()->reading(1, 0), QStringLiteral("210.0"), 10000);
        QVERIFY(s.pollTickRunning());
    }

    // Disconnect ends recording and says so until recording is on again.
    void disconnectSaysRecordingStopped()
    {
        TestFolder dir;
        ManualClock clock;
        test::FakeMeterPort port;
        test::StationForm1 f(dir.path(), clock, test::lendPort(port));
        SetupFile file = f.session().setup();
        file.host.recordFolder = dir.path() + QLatin1Char('/');
        f.session().applySetup(file);
        const QString stopped = QStringLiteral("記錄已停止 (recording stopped)");
        QCOMPARE(f.line().connectLine(1, QStringLiteral("9600,N,8,1")), MeterLine::State::Open);
        emit f.form2()->recordingSwitched(true);
        f.form2()->Command2_Click(); // disconnect
        QVERIFY(!f.session().recorder().isOn());
        QVERIFY(noticeShown(f).contains(stopped));
        f.session().setRecording(true);
        QVERIFY(!noticeShown(f).contains(stopped));
    }

    // Problems stack with the newest first, in sight without scrolling;
    // information (a network port) stays out of both problem areas.
    void noticesFromSeveralSourcesStack()
    {
        TestFolder dir;
        ManualClock clock;
        test::StationForm1 f(dir.path(), clock);
        f.session().setNotice(QStringLiteral("a"), QStringLiteral("first"));
        f.session().setInformation(QStringLiteral("i"), QStringLiteral("a note"));
        f.session().setNotice(QStringLiteral("b"), QStringLiteral("second"));
        QCOMPARE(noticeShown(f), QStringLiteral("second\nfirst"));
        QCOMPARE(f.form3()->notice(), noticeShown(f));
        f.session().setNotice(QStringLiteral("a"), QStringLiteral("first, again"));
        QCOMPARE(noticeShown(f), QStringLiteral("first, again\nsecond"));
        f.session().setNotice(QStringLiteral("a"), QString());
        QCOMPARE(f.form3()->notice(), QStringLiteral("second"));
        QCOMPARE(noticeShown(f), QStringLiteral("second"));
        QCOMPARE(control<QLabel>(&f, QStringLiteral("Information"))->text(), QStringLiteral("a note"));
    }

    // A title typed in the meter setup window reaches the display at once
    // when its slot is on; typed while off, it waits for the next start.
    void titleReachesTheDisplay_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::newRow("slot on: shown at once") << true;
        QTest::newRow("slot off: not shown, not even when ticked later") << false;
    }
    void titleReachesTheDisplay()
    {
        QFETCH(bool, enabled);
        TestFolder dir;
        ManualClock clock;
        test::StationForm1 f(dir.path(), clock);
        Form4 *f4 = f.form4();
        f4->show();
        QVERIFY(QTest::qWaitForWindowExposed(f4));
        auto *box = control<QCheckBox>(f4, QStringLiteral("MSCK3"));
        box->setChecked(enabled);
        QTest::keyClicks(control<QLineEdit>(f4, QStringLiteral("Text3")), QStringLiteral("ab"));
        QCOMPARE(f.session().meterSlot(3).title, QStringLiteral("ab"));
        box->setChecked(true);
        QCOMPARE(f.form3()->title(3) == QStringLiteral("ab"), enabled);
    }

    // Tab reaches only controls the operator sees, and whatever is typed
    // into them, leave keeps the lines no window edits.
    void typingIntoEveryFocusStopKeepsLines6to10_data()
    {
        QTest::addColumn<QByteArray>("file"); // setup.ini before, "" for none
        QTest::addColumn<QList<QByteArray>>("kept");
        QTest::newRow("no setup.ini")
            << QByteArray() << QList<QByteArray>{" 1000 \r", "Reserved\r", "Text2\r", "Kelmar\r", "Text4\r"};
        // Big5 "監視" in the title.
        QTest::newRow("every line given")
            << QByteArray(" 2 \r\n4800\r\nN,8,1\r\nlog/\r\n800X600\r\n 250 \r\nReserved\r\n"
                          "\r\nKelmar \xba\xca\xb5\xf8\r\n2.5\r\n")
            << QList<QByteArray>{" 250 \r", "Reserved\r", "\r", "Kelmar \xba\xca\xb5\xf8\r", "2.5\r"};
    }
    void typingIntoEveryFocusStopKeepsLines6to10()
    {
        QFETCH(QByteArray, file);
        QFETCH(QList<QByteArray>, kept);
        TestFolder dir;
        if (!file.isEmpty())
            QVERIFY(dir.write(SetupIniName, file));
        ManualClock clock;
        test::StationForm1 f(dir.path(), clock);
        f.Form_Load();
        f.show();
        f.Command1_Click();
        for (QWidget *window : {static_cast<QWidget *>(&f), static_cast<QWidget *>(f.form2())}) {
            window->activateWindow();
            QTRY_VERIFY_WITH_TIMEOUT(window->isActiveWindow(), 10000);
            QWidget *first = nullptr;
            QStringList seen;
            for (int stops = 0; stops < 40; ++stops) {
                QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window,
                                Qt::Key_Tab);
                QWidget *stop = QApplication::focusWidget();
                QVERIFY(stop);
                if (stop == first)
                    break;
                if (!first)
                    first = stop;
                QVERIFY2(stop->window() == window, qPrintable(stop->objectName()));
                QVERIFY2(stop->isVisible() && window->rect().contains(stop->mapTo(window, QPoint())),
                         qPrintable(stop->objectName()));
                QTest::keyClicks(stop, QStringLiteral("Q"));
                seen << stop->objectName();
            }
            // The main window's three buttons, or the host settings window's
            // lists, folder, option and buttons, at the least.
            QVERIFY2(seen.size() >= (window == &f ? 3 : 7), qPrintable(seen.join(u' ')));
        }
        QTest::mouseClick(button(f.form2(), "Command3"), Qt::LeftButton);
        QCOMPARE(lines6to10(dir.read(SetupIniName)), kept);
    }

    // Pictures of the windows for a person to compare with the layout; they
    // land in the build folder's grabs/.
    void grabsWindows()
    {
        TestFolder dir;
        QVERIFY(dir.copyDist());
        // A gateway (information) and a problem, to see them apart.
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("com")));
        QVERIFY(dir.write(QStringLiteral("com/gateway1"), "tcp://192.0.2.7:502\n"));
        ManualClock clock(QDateTime(QDate(2025, 3, 6), QTime(14, 5, 7)));
        test::StationForm1 f(dir.path(), clock);
        f.Form_Load();
        f.session().setNotice(QStringLiteral("record"),
                              QStringLiteral("磁碟已滿 (disk full): /var/tmp/2025-03-06-1405.txt"));
        f.show();
        f.Command1_Click();
        QTRY_VERIFY_WITH_TIMEOUT(!control<QLabel>(&f, QStringLiteral("Label3"))->text().isEmpty(),
                                 10000);
        const QString out = QStringLiteral(KELMAR_BINARY_DIR "/grabs");
        QDir().mkpath(out);
        const QImage main = f.grab().toImage();
        const QImage host = f.form2()->grab().toImage();
        QCOMPARE(main.size(), QSize(352, 222));
        QCOMPARE(host.size(), QSize(608, 260));
        QVERIFY(main.save(out + QStringLiteral("/form1.png")));
        QVERIFY(host.save(out + QStringLiteral("/form2.png")));
    }

    void captionsRenderAsCharacters()
    {
        // The substitute faces must hold the Traditional Chinese captions.
        const QFont ming = designFont(FontMing, 12);
        QVERIFY(QFontMetrics(ming).inFont(QChar(0x555f))); // 啟
        const QFont kai = designFont(FontKai, 20.25, true);
        QVERIFY(QFontMetrics(kai).inFont(QChar(0x8a18))); // 記
        QVERIFY(QFontInfo(ming).family().contains(QStringLiteral("Ming")));
        QVERIFY(QFontInfo(kai).family().contains(QStringLiteral("Kai")));
    }
};

QTEST_MAIN(TstForm1)
#include "tst_form1.moc"
