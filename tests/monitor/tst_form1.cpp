#include "clock.h"
#include "fonts.h"
#include "form1.h"
#include "form2.h"
#include "form3.h"
#include "serialport.h"
#include "setupini.h"
#include "testfolder.h"
#include "intervaltimer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFontInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

using namespace kelmar;
using kelmar::test::TestFolder;

class TstForm1 : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { installFontSubstitutions(); }

    void startUpWithoutFileKeepsInitialValues()
    {
        TestFolder dir;
        ManualClock clock;
        Form1 f(dir.path(), clock);
        f.Form_Load();
        Form2 *f2 = f.form2();
        QCOMPARE(f.windowTitle(), QStringLiteral("Kelmar"));
        QCOMPARE(f2->Combo1->currentText(), QStringLiteral("COM1"));
        QCOMPARE(f2->Combo2->currentText(), QStringLiteral("9600"));
        QCOMPARE(f2->Combo3->currentText(), QStringLiteral("N,8,1"));
        QVERIFY(f2->Text1->text().isEmpty());
        QVERIFY(f2->Option1->isChecked());
        QVERIFY(f.OP_D->text().isEmpty());
        QCOMPARE(f.Text2->text(), QStringLiteral("Text2"));
        QCOMPARE(f.Text4->text(), QStringLiteral("Text4"));
        QCOMPARE(f.RecordSeconds, 0.0);
        QCOMPARE(f.Timer1->interval(), 1000);
        QVERIFY(!f.Timer1->enabled());
        QVERIFY(f.Timer2->enabled() && f.Timer3->enabled());
        QVERIFY(!f.Command3->isEnabled());
        QVERIFY(!f2->isVisible());
        QVERIFY(!f2->Check1->isEnabled());
        QVERIFY(!f.hasForm3() && !f.hasForm4());
        QVERIFY(!f.MSComm1->PortOpen());
    }

    void startUpReadsEveryLine()
    {
        TestFolder dir;
        // Big5 for "記錄" (folder) and "監視" (title).
        QVERIFY(dir.write(SetupIniName,
                          " 3 \r\n4800\r\nE,8,1\r\nD:\\\xb0\x4f\xbf\xfd\\\r\n1024X768\r\n"
                          " 2000 \r\nReserved\r\ncsv\r\nKelmar \xba\xca\xb5\xf8\r\n5\r\n"));
        ManualClock clock;
        Form1 f(dir.path(), clock);
        f.Form_Load();
        Form2 *f2 = f.form2();
        QCOMPARE(f2->Combo1->currentText(), QStringLiteral("COM3"));
        QCOMPARE(f2->Combo2->currentText(), QStringLiteral("4800"));
        QCOMPARE(f2->Combo3->currentText(), QStringLiteral("E,8,1"));
        QCOMPARE(f2->Text1->text(), QStringLiteral("D:\\記錄\\"));
        QVERIFY(f2->Option2->isChecked());
        QCOMPARE(f.OP_D->text(), QStringLiteral("2"));
        QCOMPARE(f.Timer1->interval(), 2000);
        QCOMPARE(f.Text2->text(), QStringLiteral("csv"));
        QCOMPARE(f.windowTitle(), QStringLiteral("Kelmar 監視"));
        QCOMPARE(f.Text4->text(), QStringLiteral("5"));
        QCOMPARE(f.RecordSeconds, 5.0);
    }

    void leaveWritesTheFileByteForByte()
    {
        TestFolder dir;
        const QByteArray file =
            " 3 \r\n4800\r\nE,8,1\r\nD:\\log\\\r\n1024X768\r\n 2000 \r\nReserved\r\n"
            "txt\r\nKelmar\r\n5\r\n";
        QVERIFY(dir.write(SetupIniName, file));
        ManualClock clock;
        Form1 f(dir.path(), clock);
        f.Form_Load();
        QVERIFY(dir.write(SetupIniName, "changed by hand\r\n"));
        f.form2()->show();
        QTest::mouseClick(f.form2()->Command3, Qt::LeftButton);
        QCOMPARE(dir.read(SetupIniName), file);
        QVERIFY(!f.form2()->isVisible());
    }

    void leaveSetsDisplayMode_data()
    {
        QTest::addColumn<bool>("large");
        QTest::addColumn<QString>("opd");
        QTest::addColumn<QByteArray>("line5");
        QTest::newRow("800X600") << false << "1" << QByteArray("800X600");
        QTest::newRow("1024X768") << true << "2" << QByteArray("1024X768");
    }
    void leaveSetsDisplayMode()
    {
        QFETCH(bool, large);
        QFETCH(QString, opd);
        QFETCH(QByteArray, line5);
        TestFolder dir;
        ManualClock clock;
        Form1 f(dir.path(), clock);
        f.Form_Load();
        (large ? f.form2()->Option2 : f.form2()->Option1)->setChecked(true);
        f.form2()->Command3_Click();
        QCOMPARE(f.OP_D->text(), opd);
        QCOMPARE(dir.read(SetupIniName).split('\n').value(4), line5 + '\r');
    }

    void intervalZeroNeverFires()
    {
        TestFolder dir;
        QVERIFY(dir.write(SetupIniName, " 1 \r\n9600\r\nN,8,1\r\n\r\n800X600\r\nabc\r\n"));
        ManualClock clock;
        Form1 f(dir.path(), clock);
        f.Form_Load();
        QCOMPARE(f.Timer1->interval(), 0);
        f.Timer1->setEnabled(true);
        QVERIFY(!f.Timer1->isTicking());
    }

    void intervalRefusedByTheTimerKeeps1000()
    {
        TestFolder dir;
        QVERIFY(dir.write(SetupIniName, " 1 \r\n9600\r\nN,8,1\r\n\r\n800X600\r\n70000\r\n"));
        ManualClock clock;
        Form1 f(dir.path(), clock);
        f.Form_Load();
        QCOMPARE(f.Timer1->interval(), 1000);
    }

    void clockTickCreatesDisplayAndWritesBothClocks()
    {
        TestFolder dir;
        ManualClock clock(QDateTime(QDate(2025, 3, 6), QTime(14, 5, 7)));
        Form1 f(dir.path(), clock);
        f.Form_Load();
        QVERIFY(!f.hasForm3());
        QTRY_VERIFY_WITH_TIMEOUT(f.hasForm3(), 10000);
        QCOMPARE(f.Label3->text(), QStringLiteral("2025-03-06  14:05:07"));
        QCOMPARE(f.form3()->Label13->text(), f.Label3->text());
        QVERIFY(!f.form3()->isVisible());
    }

    void buttonsShowWindowsModeless()
    {
        TestFolder dir;
        ManualClock clock;
        Form1 f(dir.path(), clock);
        f.Form_Load();
        f.show();
        QTest::mouseClick(f.Command1, Qt::LeftButton);
        QVERIFY(f.form2()->isVisible());
        QVERIFY(!f.form2()->isModal());
        QTest::mouseClick(f.Command2, Qt::LeftButton);
        QVERIFY(f.hasForm4());
    }

    void noticesFromSeveralSourcesStack()
    {
        TestFolder dir;
        ManualClock clock;
        Form1 f(dir.path(), clock);
        f.setNotice(QStringLiteral("a"), QStringLiteral("first"));
        f.setNotice(QStringLiteral("b"), QStringLiteral("second"));
        QCOMPARE(f.LabelNotice->text(), QStringLiteral("first\nsecond"));
        QCOMPARE(f.form3()->notice(), f.LabelNotice->text());
        f.setNotice(QStringLiteral("a"), QString());
        QCOMPARE(f.form3()->notice(), QStringLiteral("second"));
    }

    // Pictures of the windows for a person to compare with the layout; they
    // land in the build folder's grabs/.
    void grabsWindows()
    {
        TestFolder dir;
        QVERIFY(dir.copyDist());
        ManualClock clock(QDateTime(QDate(2025, 3, 6), QTime(14, 5, 7)));
        Form1 f(dir.path(), clock);
        f.Form_Load();
        f.show();
        f.Command1_Click();
        QTRY_VERIFY_WITH_TIMEOUT(!f.Label3->text().isEmpty(), 10000);
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
