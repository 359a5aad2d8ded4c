#include "clock.h"
#include "displaylayout.h"
#include "form1.h"
#include "form3.h"
#include "form4.h"
#include "meterpanel.h"
#include "startdisplay.h"
#include "testfolder.h"
#include "intervaltimer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>

using namespace kelmar;
using kelmar::test::TestFolder;

namespace {

// Positions (left, top) per slot as the layout tables list them: picture,
// title, "A" item 0, "B" item 0, "B" item 1.
struct SlotRow
{
    QPoint picture, title, a0, b0, b1;
};
const SlotRow Small[6] = {
    {{24, 56}, {24, 24}, {46, 64}, {64, 64}, {230, 125}},
    {{408, 56}, {408, 24}, {430, 64}, {448, 64}, {614, 125}},
    {{24, 232}, {24, 200}, {46, 240}, {64, 240}, {230, 301}},
    {{408, 232}, {408, 200}, {430, 240}, {448, 240}, {614, 301}},
    {{24, 408}, {24, 376}, {46, 416}, {64, 416}, {230, 477}},
    {{408, 408}, {408, 376}, {430, 416}, {448, 416}, {614, 477}},
};
const SlotRow Large[6] = {
    {{144, 136}, {144, 104}, {166, 144}, {184, 144}, {350, 205}},
    {{528, 136}, {528, 104}, {550, 144}, {568, 144}, {734, 205}},
    {{144, 312}, {144, 280}, {166, 320}, {184, 320}, {350, 381}},
    {{528, 312}, {528, 280}, {550, 320}, {568, 320}, {734, 381}},
    {{144, 488}, {144, 456}, {166, 496}, {184, 496}, {350, 557}},
    {{528, 488}, {528, 456}, {550, 496}, {568, 496}, {734, 557}},
};

// The display and setup windows over a program folder made from dist/.
struct Windows
{
    TestFolder dir;
    QWidget owner;
    Form3 *display = nullptr;
    Form4 *meters = nullptr;

    Windows()
    {
        dir.copyDist();
        display = new Form3(&owner);
        meters = new Form4(dir.path(), &owner);
    }
    void setSlot(int k, bool on, const QString &flag, const QString &decimals = QString())
    {
        meters->MSCK(k)->setChecked(on);
        meters->MS(k, 6)->setText(flag);
        meters->MS(k, 1)->setText(decimals);
    }
    StartLayoutResult press(const QString &OP_D)
    {
        return layOutDisplay(*display, *meters, OP_D, dir.path());
    }
    bool shows(const QWidget *w) const { return w->isVisibleTo(display); }
};

double points(const QLabel *l)
{
    return l->font().pointSizeF();
}

bool hasPicture(const QLabel *box)
{
    return !box->pixmap().isNull();
}

} // namespace

class TstStartDisplay : public QObject
{
    Q_OBJECT
private slots:
    void distHasBothPictures()
    {
        Windows w;
        QVERIFY(QFile::exists(w.dir.file(QStringLiteral("logo/vq2_366.jpg"))));
        QVERIFY(QFile::exists(w.dir.file(QStringLiteral("logo/ZRP_366.jpg"))));
    }

    void slotLayout_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<int>("k");
        QTest::addColumn<QString>("flag");
        for (const char *code : {"1", "2"})
            for (int k = 1; k <= 6; ++k)
                for (const char *flag : {"A", "B"})
                    QTest::addRow("%s slot %d model %s", code[0] == '1' ? "800X600" : "1024X768", k,
                                  flag)
                        << QString::fromLatin1(code) << k << QString::fromLatin1(flag);
    }
    void slotLayout()
    {
        QFETCH(QString, code);
        QFETCH(int, k);
        QFETCH(QString, flag);
        Windows w;
        w.setSlot(k, true, flag);
        const StartLayoutResult r = w.press(code);
        QVERIFY2(r.missingPictures.isEmpty(), qPrintable(r.missingPictures.join(u' ')));

        const SlotRow &row = (code == QLatin1String("1") ? Small : Large)[k - 1];
        QLabel *image = w.display->Image(k);
        QCOMPARE(image->pos(), row.picture);
        QVERIFY(hasPicture(image));
        QCOMPARE(image->size(), QSize(366, 143));
        QCOMPARE(image->pixmap().size(), QSize(366, 143));
        QCOMPARE(w.display->TitleLabel(k)->pos(), row.title);

        QLabel *item0 = w.display->Label(k, 0);
        QLabel *item1 = w.display->Label(k, 1);
        QVERIFY(w.shows(item0));
        if (flag == QLatin1String("A")) {
            QCOMPARE(item0->geometry(), QRect(row.a0, QSize(321, 81)));
            QCOMPARE(points(item0), 60.0);
            QVERIFY(!w.shows(item1));
        } else {
            QCOMPARE(item0->geometry(), QRect(row.b0, QSize(317, 57)));
            QCOMPARE(points(item0), 40.0);
            QVERIFY(w.shows(item1));
            QCOMPARE(item1->geometry(), QRect(row.b1, QSize(151, 47)));
            QCOMPARE(points(item1), 32.0);
        }
        QVERIFY(item0->font().bold());

        // The other slots are off: no picture, no readings, title in place.
        for (int other = 1; other <= 6; ++other) {
            if (other == k)
                continue;
            QVERIFY(!hasPicture(w.display->Image(other)));
            QVERIFY(!w.shows(w.display->Label(other, 0)));
            QVERIFY(!w.shows(w.display->Label(other, 1)));
            QCOMPARE(w.display->TitleLabel(other)->pos(),
                     (code == QLatin1String("1") ? Small : Large)[other - 1].title);
        }
    }

    void windowSizeAndExit_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QPoint>("exit");
        QTest::newRow("800X600") << "1" << QSize(800, 600) << QPoint(24, 552);
        QTest::newRow("1024X768") << "2" << QSize(1024, 768) << QPoint(144, 637);
    }
    void windowSizeAndExit()
    {
        QFETCH(QString, code);
        QFETCH(QSize, size);
        QFETCH(QPoint, exit);
        Windows w;
        w.press(code);
        QCOMPARE(w.display->size(), size);
        QCOMPARE(w.display->Command1->pos(), exit);
        QCOMPARE(w.display->Command1->size(), QSize(753, 35));
        // The clock, the recording indicator and the focus box stay put.
        QCOMPARE(w.display->Label13->geometry(), QRect(0, 0, 241, 25));
        QCOMPARE(w.display->Label14->geometry(), QRect(168, 0, 121, 25));
        QCOMPARE(w.display->Text1->geometry(), QRect(8, 864, 49, 33));
        // Centred for its new size, so it covers a screen of that size.
        const QRect screen = w.display->screen()->geometry();
        QCOMPARE(w.display->pos(),
                 screen.topLeft() + QPoint((screen.width() - size.width()) / 2,
                                           (screen.height() - size.height()) / 2));
    }

    void noSlotEnabled()
    {
        Windows w;
        for (int k = 1; k <= 6; ++k)
            w.meters->Text(k)->setText(QStringLiteral("title %1").arg(k));
        w.press(QStringLiteral("2"));
        for (int k = 1; k <= 6; ++k) {
            QVERIFY(!hasPicture(w.display->Image(k)));
            QCOMPARE(w.display->Image(k)->pos(), Large[k - 1].picture);
            QVERIFY(!w.shows(w.display->Label(k, 0)));
            QVERIFY(!w.shows(w.display->Label(k, 1)));
            QVERIFY(w.shows(w.display->TitleLabel(k)));
            QCOMPARE(w.display->TitleLabel(k)->pos(), Large[k - 1].title);
        }
    }

    void modelBChangedToA()
    {
        Windows w;
        w.setSlot(3, true, QStringLiteral("B"));
        w.press(QStringLiteral("1"));
        QVERIFY(w.shows(w.display->Label(3, 1)));
        w.setSlot(3, true, QStringLiteral("A"));
        w.press(QStringLiteral("1"));
        QVERIFY(!w.shows(w.display->Label(3, 1)));
        QVERIFY(w.shows(w.display->Label(3, 0)));
        QCOMPARE(w.display->Label(3, 0)->geometry(), QRect(46, 240, 321, 81));
        QCOMPARE(points(w.display->Label(3, 0)), 60.0);
        QCOMPARE(w.display->Image(3)->pixmap().toImage(),
                 QImage(w.dir.file(QStringLiteral("logo/vq2_366.jpg")))
                     .convertToFormat(w.display->Image(3)->pixmap().toImage().format()));
    }

    void switchedOffLosesPictureAndReadings()
    {
        Windows w;
        w.setSlot(2, true, QStringLiteral("B"));
        w.press(QStringLiteral("1"));
        QVERIFY(hasPicture(w.display->Image(2)));
        w.setSlot(2, false, QStringLiteral("B"));
        w.press(QStringLiteral("1"));
        QVERIFY(!hasPicture(w.display->Image(2)));
        QVERIFY(!w.shows(w.display->Label(2, 0)));
        QVERIFY(!w.shows(w.display->Label(2, 1)));
    }

    void otherFlagLeavesSlot_data()
    {
        QTest::addColumn<QString>("flag");
        QTest::newRow("lower-case a") << "a";
        QTest::newRow("A and a blank") << "A ";
        QTest::newRow("no model chosen") << "";
    }
    void otherFlagLeavesSlot()
    {
        QFETCH(QString, flag);
        Windows w;
        // First run: the initial geometry and the built-in picture stand.
        w.setSlot(1, true, flag);
        w.press(QStringLiteral("2"));
        QCOMPARE(w.display->Image(1)->pos(), QPoint(144, 136)); // pictures move in any case
        QCOMPARE(w.display->Image(1)->pixmap().toImage(), Form3::defaultPicture().toImage());
        QCOMPARE(w.display->Label(1, 0)->geometry(), QRect(64, 64, 317, 57));
        QCOMPARE(w.display->Label(1, 1)->geometry(), QRect(230, 125, 151, 47));
        QCOMPARE(points(w.display->Label(1, 0)), 39.75);
        QVERIFY(w.shows(w.display->Label(1, 0)));
        QVERIFY(w.shows(w.display->Label(1, 1)));

        // A later press keeps what an earlier one laid out.
        w.setSlot(1, true, QStringLiteral("A"));
        w.press(QStringLiteral("1"));
        const QImage before = w.display->Image(1)->pixmap().toImage();
        w.setSlot(1, true, flag);
        w.press(QStringLiteral("2"));
        QCOMPARE(w.display->Image(1)->pixmap().toImage(), before);
        QCOMPARE(w.display->Label(1, 0)->geometry(), QRect(46, 64, 321, 81));
        QVERIFY(!w.shows(w.display->Label(1, 1)));
    }

    void invalidScreenCodeLaysOutNothing_data()
    {
        QTest::addColumn<QString>("code");
        QTest::newRow("empty") << "";
        QTest::newRow("3") << "3";
        QTest::newRow("2 and a blank") << "2 ";
    }
    void invalidScreenCodeLaysOutNothing()
    {
        QFETCH(QString, code);
        Windows w;
        for (int k = 1; k <= 6; ++k)
            w.setSlot(k, k % 2 == 1, QStringLiteral("B"), QString::number(k - 1));
        const StartLayoutResult r = w.press(code);
        QCOMPARE(w.display->size(), QSize(800, 600));
        QCOMPARE(w.display->Command1->pos(), QPoint(24, 552));
        for (int k = 1; k <= 6; ++k) {
            QCOMPARE(w.display->Image(k)->pos(), Small[k - 1].picture);
            QCOMPARE(w.display->Image(k)->pixmap().toImage(), Form3::defaultPicture().toImage());
            QVERIFY(w.shows(w.display->Label(k, 0)));
            QVERIFY(w.shows(w.display->Label(k, 1)));
        }
        // The divisors are computed all the same, for slots off as well.
        const std::array<double, 6> expected{1, 10, 100, 1000, 10000, 10000};
        QCOMPARE(r.divisors, expected);
        QVERIFY(r.missingPictures.isEmpty());
    }

    void divisorsForEverySlot()
    {
        Windows w;
        const char *decimals[6] = {"2", "4", "7", "2.5", "-1", ""};
        for (int k = 1; k <= 6; ++k)
            w.setSlot(k, k == 1, QStringLiteral("A"), QString::fromLatin1(decimals[k - 1]));
        const std::array<double, 6> expected{100, 10000, 10000, 2.5, -1, 1};
        QCOMPARE(w.press(QStringLiteral("1")).divisors, expected);
    }

    void pictureNamesIgnoreCase()
    {
        Windows w;
        QDir d(w.dir.path());
        QVERIFY(d.rename(QStringLiteral("logo"), QStringLiteral("LOGO")));
        QVERIFY(d.rename(QStringLiteral("LOGO/ZRP_366.jpg"), QStringLiteral("LOGO/zrp_366.JPG")));
        w.setSlot(1, true, QStringLiteral("A"));
        w.setSlot(2, true, QStringLiteral("B"));
        const StartLayoutResult r = w.press(QStringLiteral("1"));
        QVERIFY(r.missingPictures.isEmpty());
        QVERIFY(hasPicture(w.display->Image(1)));
        QVERIFY(hasPicture(w.display->Image(2)));
    }

    void missingPictureIsReported_data()
    {
        QTest::addColumn<QByteArray>("content"); // empty: no file at all
        QTest::newRow("no file") << QByteArray();
        QTest::newRow("not a picture") << QByteArray("not a JPEG at all");
        QTest::newRow("cut JPEG") << QByteArray("\xff\xd8\xff\xe0\x00\x10JFIF", 10);
    }
    void missingPictureIsReported()
    {
        QFETCH(QByteArray, content);
        Windows w;
        const QString zrp = w.dir.file(QStringLiteral("logo/ZRP_366.jpg"));
        QFile::remove(zrp);
        if (!content.isEmpty())
            QVERIFY(w.dir.write(QStringLiteral("logo/ZRP_366.jpg"), content));
        w.setSlot(1, true, QStringLiteral("B"));
        w.setSlot(4, true, QStringLiteral("B"));
        w.setSlot(5, true, QStringLiteral("A"), QStringLiteral("1"));
        const StartLayoutResult r = w.press(QStringLiteral("1"));
        // Named once, though two slots want it; the press runs to the end.
        QCOMPARE(r.missingPictures, QStringList{QDir::toNativeSeparators(zrp)});
        QVERIFY(!hasPicture(w.display->Image(1)));
        QVERIFY(!hasPicture(w.display->Image(4)));
        QVERIFY(hasPicture(w.display->Image(5)));
        QCOMPARE(w.display->Label(4, 1)->geometry(), QRect(614, 301, 151, 47));
        QVERIFY(w.shows(w.display->Label(4, 1)));
        QCOMPARE(w.display->Command1->pos(), QPoint(24, 552));
        QCOMPARE(r.divisors[4], 10.0);
    }

    void picturesAreReadAtEveryPress()
    {
        Windows w;
        w.setSlot(6, true, QStringLiteral("A"));
        w.press(QStringLiteral("1"));
        QCOMPARE(w.display->Image(6)->size(), QSize(366, 143));
        QImage other(200, 100, QImage::Format_RGB32);
        other.fill(Qt::darkGreen);
        QVERIFY(other.save(w.dir.file(QStringLiteral("logo/vq2_366.jpg")), "JPG"));
        w.press(QStringLiteral("1"));
        // Shown at its own size, top left corner at the slot origin.
        QCOMPARE(w.display->Image(6)->geometry(), QRect(408, 408, 200, 100));
    }

    void panelFieldsLieUnderTheReadings_data()
    {
        QTest::addColumn<int>("model");
        QTest::addColumn<int>("kind");
        QTest::newRow("A") << int(SlotAction::ModelA) << int(PanelKind::SingleValue);
        QTest::newRow("B") << int(SlotAction::ModelB) << int(PanelKind::TwoValues);
        QTest::newRow("built-in picture: B places")
            << int(SlotAction::ModelB) << int(PanelKind::Neutral);
    }
    void panelFieldsLieUnderTheReadings()
    {
        QFETCH(int, model);
        QFETCH(int, kind);
        const QList<QRect> fields = panelDisplayFields(PanelKind(kind));
        const QPoint origin(100, 200);
        for (int item = 0; item < fields.size(); ++item)
            QCOMPARE(valuePlace(SlotAction(model), item, origin).rect.translated(-origin),
                     fields[item]);
    }

    // The readings sit inside the pictured display fields: around every
    // value label the grabbed window shows the dark field frame or glass,
    // not the panel's face. Set KELMAR_GRAB_DIR to keep the pictures.
    void readingsSitInTheDisplayFields_data()
    {
        QTest::addColumn<QString>("code");
        QTest::newRow("800X600") << "1";
        QTest::newRow("1024X768") << "2";
    }
    void readingsSitInTheDisplayFields()
    {
        QFETCH(QString, code);
        Windows w;
        const char *flags[6] = {"A", "B", "B", "A", "A", "B"};
        for (int k = 1; k <= 6; ++k) {
            w.setSlot(k, k != 5 || code == QLatin1String("1"), QString::fromLatin1(flags[k - 1]));
            w.meters->Text(k)->setText(QStringLiteral("第%1號 儀表").arg(k));
            w.display->TitleLabel(k)->setText(w.meters->Text(k)->text());
            w.display->Label(k, 0)->setText(QStringLiteral("-123.4"));
            w.display->Label(k, 1)->setText(QStringLiteral("0.98"));
        }
        w.display->Label13->setText(QStringLiteral("2025-03-06  14:05:00"));
        w.display->Label14->setText(QStringLiteral("RECORD"));
        w.display->setNotice(QStringLiteral("Picture missing: C:\\Kelmar_T\\logo\\x.jpg"));
        w.press(code);
        const QImage shot = w.display->grab().toImage();
        if (const QByteArray out = qgetenv("KELMAR_GRAB_DIR"); !out.isEmpty()) {
            shot.save(QString::fromLocal8Bit(out) + QStringLiteral("/form3_%1.png").arg(code));
        }
        auto dark = [&shot](QPoint p) { return qGray(shot.pixel(p)) < 60; };
        for (int k = 1; k <= 6; ++k) {
            for (int item = 0; item < 2; ++item) {
                const QLabel *l = w.display->Label(k, item);
                if (!w.shows(l))
                    continue;
                const QRect r = l->geometry().adjusted(-1, -1, 1, 1);
                for (const QPoint p :
                     {r.topLeft(), r.topRight(), r.bottomLeft(), r.bottomRight(),
                      QPoint(r.center().x(), r.top()), QPoint(r.center().x(), r.bottom())})
                    QVERIFY2(dark(p), qPrintable(QStringLiteral("slot %1 item %2 at %3,%4")
                                                     .arg(k)
                                                     .arg(item)
                                                     .arg(p.x())
                                                     .arg(p.y())));
            }
        }
    }

    // The whole start press through the main window.
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

QTEST_MAIN(TstStartDisplay)
#include "tst_startdisplay.moc"
