#include "clock.h"
#include "form1.h"
#include "form3.h"
#include "form4.h"
#include "intervaltimer.h"
#include "testfolder.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace kelmar;
using kelmar::test::TestFolder;

namespace {

bool hasPicture(const QLabel *box)
{
    return !box->pixmap().isNull();
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
        Form1 f(dir.path(), clock);
        f.OP_D->setText(code);
        Form4 *m = f.form4();
        m->MSCK(2)->setChecked(true);
        // The shipped table: line 3 is ZRP-VA, a two-value model.
        m->Combo(2)->activated(3);
        m->I(2)->activated(2);
        QCOMPARE(m->MS(2, 6)->text(), QStringLiteral("B"));
        f.PollTickCount = 7;
        f.RecordTickCount = 9;
        f.Command3_Click();
        Form3 *d = f.form3();
        QVERIFY(d->isVisible());
        QCOMPARE(d->size(), size);
        QCOMPARE(f.MeterDivisor[1], 100.0);
        QCOMPARE(f.PollTickCount, 0);
        QCOMPARE(f.RecordTickCount, 0);
        QVERIFY(f.Timer1->enabled());
        QVERIFY(f.Timer3->enabled());
        QVERIFY(f.noticeText().isEmpty());
        if (code == QLatin1String("1")) {
            QCOMPARE(d->Label(2, 1)->geometry(), QRect(614, 125, 151, 47));
            QVERIFY(!hasPicture(d->Image(1)));
        }
        d->Command1->click();
        QVERIFY(!d->isVisible());
        QVERIFY(!f.Timer1->enabled());
        QVERIFY(!f.Timer3->enabled());
    }

    void exitAndStartAgain()
    {
        TestFolder dir;
        QVERIFY(dir.copyDist());
        ManualClock clock;
        Form1 f(dir.path(), clock);
        f.OP_D->setText(QStringLiteral("1"));
        f.form4()->MSCK(1)->setChecked(true);
        f.form4()->Combo(1)->activated(4);
        f.Command3_Click();
        Form3 *d = f.form3();
        d->Label(1, 0)->setText(QStringLiteral("230.1"));
        d->Label(1, 1)->setText(QStringLiteral("0.98"));
        d->Command1->click();
        f.Command3_Click();
        QVERIFY(d->isVisible());
        QVERIFY(d->Label(1, 0)->text().isEmpty());
        QVERIFY(d->Label(1, 1)->text().isEmpty());
        d->activateWindow();
        QTRY_VERIFY_WITH_TIMEOUT(d->isActiveWindow(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::focusWidget(), d->Text1, 10000);
    }

    void missingPictureReachesTheOperator()
    {
        TestFolder dir;
        QVERIFY(dir.copyDist());
        QVERIFY(QFile::remove(dir.file(QStringLiteral("logo/vq2_366.jpg"))));
        ManualClock clock;
        Form1 f(dir.path(), clock);
        f.OP_D->setText(QStringLiteral("2"));
        f.form4()->MSCK(6)->setChecked(true);
        f.form4()->Combo(6)->activated(0); // VQ2-V, model "A"
        f.Command3_Click();
        QVERIFY(f.form3()->isVisible());
        QVERIFY(f.Timer1->enabled());
        QVERIFY(f.noticeText().contains(QStringLiteral("vq2_366.jpg")));
        QCOMPARE(f.form3()->notice(), f.noticeText());
    }
};

QTEST_MAIN(TstStartButton)
#include "tst_startbutton.moc"
