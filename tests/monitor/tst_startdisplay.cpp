#include "displaylayout.h"
#include "form3.h"
#include "meterpanel.h"
#include "meterslot.h"
#include "readinglabel.h"
#include "startdisplay.h"
#include "testfolder.h"

#include <QDir>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>

using namespace kelmar;
using kelmar::test::TestFolder;

namespace {

#ifdef Q_OS_WIN
constexpr bool OnWindows = true;
#else
constexpr bool OnWindows = false;
#endif

// Positions (left, top) per slot as the layout tables list them: picture,
// title, "A" item 0, "B" item 0, "B" item 1.
struct SlotRow
{
    QPoint picture, title, a0, b0, b1;
};
const SlotRow Small[SlotCount] = {
    {{24, 56}, {24, 24}, {46, 64}, {64, 64}, {230, 125}},
    {{408, 56}, {408, 24}, {430, 64}, {448, 64}, {614, 125}},
    {{24, 232}, {24, 200}, {46, 240}, {64, 240}, {230, 301}},
    {{408, 232}, {408, 200}, {430, 240}, {448, 240}, {614, 301}},
    {{24, 408}, {24, 376}, {46, 416}, {64, 416}, {230, 477}},
    {{408, 408}, {408, 376}, {430, 416}, {448, 416}, {614, 477}},
};
const SlotRow Large[SlotCount] = {
    {{144, 136}, {144, 104}, {166, 144}, {184, 144}, {350, 205}},
    {{528, 136}, {528, 104}, {550, 144}, {568, 144}, {734, 205}},
    {{144, 312}, {144, 280}, {166, 320}, {184, 320}, {350, 381}},
    {{528, 312}, {528, 280}, {550, 320}, {568, 320}, {734, 381}},
    {{144, 488}, {144, 456}, {166, 496}, {184, 496}, {350, 557}},
    {{528, 488}, {528, 456}, {550, 496}, {568, 496}, {734, 557}},
};

template <typename W = QLabel> W *control(const Form3 *f, const QString &name)
{
    W *w = f->findChild<W *>(name);
    if (!w)
        qFatal("no control %s", qPrintable(name));
    return w;
}

// The display window and six meter slots over a program folder made from
// dist/.
struct Windows
{
    TestFolder dir;
    QWidget owner;
    Form3 *display = nullptr;
    std::array<MeterSlot, SlotCount> meterSlots;

    Windows()
    {
        dir.copyDist();
        display = new Form3(&owner);
    }
    void setSlot(int k, bool on, const QString &flag, std::optional<int> decimals = {})
    {
        meterSlots[k - 1].enabled = on;
        meterSlots[k - 1].flag = flag;
        meterSlots[k - 1].decimals = decimals;
    }
    StartLayoutResult press(const QString &OP_D)
    {
        return layOutDisplay(*display, meterSlots, OP_D, dir.path());
    }
    bool shows(const QWidget *w) const { return w->isVisibleTo(display); }
    QLabel *image(int k) const { return control(display, QStringLiteral("Image%1").arg(k)); }
    QLabel *title(int k) const
    {
        return control(display, QStringLiteral("Label%1").arg(SlotCount + k));
    }
    QLabel *value(int k, int item) const
    {
        return control(display, QStringLiteral("Label%1_%2").arg(k).arg(item));
    }
    QWidget *exitButton() const { return control<QPushButton>(display, "Command1"); }
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
            for (int k = 1; k <= SlotCount; ++k)
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
        QLabel *image = w.image(k);
        QCOMPARE(image->pos(), row.picture);
        QVERIFY(hasPicture(image));
        QCOMPARE(image->size(), QSize(366, 143));
        QCOMPARE(image->pixmap().size(), QSize(366, 143));
        QCOMPARE(w.title(k)->pos(), row.title);

        QLabel *item0 = w.value(k, 0);
        QLabel *item1 = w.value(k, 1);
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
        for (int other = 1; other <= SlotCount; ++other) {
            if (other == k)
                continue;
            QVERIFY(!hasPicture(w.image(other)));
            QVERIFY(!w.shows(w.value(other, 0)));
            QVERIFY(!w.shows(w.value(other, 1)));
            QCOMPARE(w.title(other)->pos(),
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
        QCOMPARE(w.exitButton()->pos(), exit);
        QCOMPARE(w.exitButton()->size(), QSize(753, 35));
        // The clock, the recording indicator and the focus box stay put.
        QCOMPARE(control(w.display, "Label13")->geometry(), QRect(0, 0, 241, 25));
        QCOMPARE(control(w.display, "Label14")->geometry(), QRect(168, 0, 121, 25));
        QCOMPARE(control<QLineEdit>(w.display, "Text1")->geometry(), QRect(8, 864, 49, 33));
        // Centred for its new size, so it covers a screen of that size.
        const QRect screen = w.display->screen()->geometry();
        QCOMPARE(w.display->pos(),
                 screen.topLeft() + QPoint((screen.width() - size.width()) / 2,
                                           (screen.height() - size.height()) / 2));
    }

    void noSlotEnabled()
    {
        Windows w;
        for (int k = 1; k <= SlotCount; ++k)
            w.display->setTitle(k, QStringLiteral("title %1").arg(k));
        w.press(QStringLiteral("2"));
        for (int k = 1; k <= SlotCount; ++k) {
            QVERIFY(!hasPicture(w.image(k)));
            QCOMPARE(w.image(k)->pos(), Large[k - 1].picture);
            QVERIFY(!w.shows(w.value(k, 0)));
            QVERIFY(!w.shows(w.value(k, 1)));
            QVERIFY(w.shows(w.title(k)));
            QCOMPARE(w.title(k)->pos(), Large[k - 1].title);
        }
    }

    void modelBChangedToA()
    {
        Windows w;
        w.setSlot(3, true, QStringLiteral("B"));
        w.press(QStringLiteral("1"));
        QVERIFY(w.shows(w.value(3, 1)));
        w.setSlot(3, true, QStringLiteral("A"));
        w.press(QStringLiteral("1"));
        QVERIFY(!w.shows(w.value(3, 1)));
        QVERIFY(w.shows(w.value(3, 0)));
        QCOMPARE(w.value(3, 0)->geometry(), QRect(46, 240, 321, 81));
        QCOMPARE(points(w.value(3, 0)), 60.0);
        QCOMPARE(w.image(3)->pixmap().toImage(),
                 QImage(w.dir.file(QStringLiteral("logo/vq2_366.jpg")))
                     .convertToFormat(w.image(3)->pixmap().toImage().format()));
    }

    void switchedOffLosesPictureAndReadings()
    {
        Windows w;
        w.setSlot(2, true, QStringLiteral("B"));
        w.press(QStringLiteral("1"));
        QVERIFY(hasPicture(w.image(2)));
        w.setSlot(2, false, QStringLiteral("B"));
        w.press(QStringLiteral("1"));
        QVERIFY(!hasPicture(w.image(2)));
        QVERIFY(!w.shows(w.value(2, 0)));
        QVERIFY(!w.shows(w.value(2, 1)));
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
        QCOMPARE(w.image(1)->pos(), QPoint(144, 136)); // pictures move in any case
        QCOMPARE(w.image(1)->pixmap().toImage(), Form3::defaultPicture().toImage());
        QCOMPARE(w.value(1, 0)->geometry(), QRect(64, 64, 317, 57));
        QCOMPARE(w.value(1, 1)->geometry(), QRect(230, 125, 151, 47));
        QCOMPARE(points(w.value(1, 0)), 39.75);
        QVERIFY(w.shows(w.value(1, 0)));
        QVERIFY(w.shows(w.value(1, 1)));

        // A later press keeps what an earlier one laid out.
        w.setSlot(1, true, QStringLiteral("A"));
        w.press(QStringLiteral("1"));
        const QImage before = w.image(1)->pixmap().toImage();
        w.setSlot(1, true, flag);
        w.press(QStringLiteral("2"));
        QCOMPARE(w.image(1)->pixmap().toImage(), before);
        QCOMPARE(w.value(1, 0)->geometry(), QRect(46, 64, 321, 81));
        QVERIFY(!w.shows(w.value(1, 1)));
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
        for (int k = 1; k <= SlotCount; ++k)
            w.setSlot(k, k % 2 == 1, QStringLiteral("B"), k - 1);
        const StartLayoutResult r = w.press(code);
        QCOMPARE(w.display->size(), QSize(800, 600));
        QCOMPARE(w.exitButton()->pos(), QPoint(24, 552));
        for (int k = 1; k <= SlotCount; ++k) {
            QCOMPARE(w.image(k)->pos(), Small[k - 1].picture);
            QCOMPARE(w.image(k)->pixmap().toImage(), Form3::defaultPicture().toImage());
            QVERIFY(w.shows(w.value(k, 0)));
            QVERIFY(w.shows(w.value(k, 1)));
        }
        // The divisors are computed all the same, for slots off as well.
        const std::array<double, SlotCount> expected{1, 10, 100, 1000, 10000, 10000};
        QCOMPARE(r.divisors, expected);
        QVERIFY(r.missingPictures.isEmpty());
    }

    void divisorsForEverySlot()
    {
        Windows w;
        // Texts such as "2.5" are read in tst_displaylayout; chosen places
        // are whole numbers or none.
        const std::optional<int> decimals[SlotCount] = {2, 4, 7, std::nullopt, -1, 0};
        for (int k = 1; k <= SlotCount; ++k)
            w.setSlot(k, k == 1, QStringLiteral("A"), decimals[k - 1]);
        const std::array<double, SlotCount> expected{100, 10000, 10000, 1, -1, 1};
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
        QVERIFY(hasPicture(w.image(1)));
        QVERIFY(hasPicture(w.image(2)));
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
        w.setSlot(5, true, QStringLiteral("A"), 1);
        const StartLayoutResult r = w.press(QStringLiteral("1"));
        // Named once, though two slots want it; the press runs to the end.
        QCOMPARE(r.missingPictures, QStringList{QDir::toNativeSeparators(zrp)});
        QVERIFY(!hasPicture(w.image(1)));
        QVERIFY(!hasPicture(w.image(4)));
        QVERIFY(hasPicture(w.image(5)));
        QCOMPARE(w.value(4, 1)->geometry(), QRect(614, 301, 151, 47));
        QVERIFY(w.shows(w.value(4, 1)));
        QCOMPARE(w.exitButton()->pos(), QPoint(24, 552));
        QCOMPARE(r.divisors[4], 10.0);
    }

    void picturesAreReadAtEveryPress()
    {
        Windows w;
        w.setSlot(6, true, QStringLiteral("A"));
        w.press(QStringLiteral("1"));
        QCOMPARE(w.image(6)->size(), QSize(366, 143));
        QImage other(200, 100, QImage::Format_RGB32);
        other.fill(Qt::darkGreen);
        QVERIFY(other.save(w.dir.file(QStringLiteral("logo/vq2_366.jpg")), "JPG"));
        w.press(QStringLiteral("1"));
        // Shown at its own size, top left corner at the slot origin.
        QCOMPARE(w.image(6)->geometry(), QRect(408, 408, 200, 100));
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
        const char *flags[SlotCount] = {"A", "B", "B", "A", "A", "B"};
        for (int k = 1; k <= SlotCount; ++k) {
            w.setSlot(k, k != 5 || code == QLatin1String("1"), QString::fromLatin1(flags[k - 1]));
            w.display->setTitle(k, QStringLiteral("第%1號 儀表").arg(k));
            w.display->setReading(k, 0, QStringLiteral("-123.4"));
            w.display->setReading(k, 1, QStringLiteral("0.98"));
        }
        w.display->setClock(QStringLiteral("2025-03-06  14:05:00"));
        w.display->setRecording(true);
        w.display->setNotice(QStringLiteral("Picture missing: C:\\Kelmar_T\\logo\\x.jpg"));
        w.press(code);
        const QImage shot = w.display->grab().toImage();
        if (const QByteArray out = qgetenv("KELMAR_GRAB_DIR"); !out.isEmpty()) {
            shot.save(QString::fromLocal8Bit(out) + QStringLiteral("/form3_%1.png").arg(code));
        }
        auto dark = [&shot](QPoint p) { return qGray(shot.pixel(p)) < 60; };
        for (int k = 1; k <= SlotCount; ++k) {
            for (int item = 0; item < ItemsPerSlot; ++item) {
                const QLabel *l = w.value(k, item);
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

    // A reading too wide for its field at the design size is drawn smaller,
    // centred, whole; where even the smallest legible size is too wide the
    // field shows the overflow mark and keeps the reading as its tool tip.
    // Checked on the pixels: no red touches a field's left or right edge,
    // and the digits are at least MinDigitHeight tall.
    void readingIsNeverCut_data()
    {
        QTest::addColumn<QString>("code"); // "" lays out nothing: the initial fields
        QTest::addColumn<QString>("flag");
        QTest::addColumn<int>("item");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("drawn"); // false: the overflow mark
        // The widest reading four registers give, with four decimals.
        const QString widest = QStringLiteral("-922337203685477.5808");
        for (const char *code : {"1", "2"}) {
            const char *size = code[0] == '1' ? "800X600" : "1024X768";
            auto row = [&](const char *what, const char *flag, int item, const QString &text,
                           bool drawn) {
                QTest::addRow("%s %s", size, what)
                    << QString::fromLatin1(code) << QString::fromLatin1(flag) << item << text
                    << drawn;
            };
            row("A: widest reading", "A", 0, widest, true);
            row("A: 32-bit energy counter", "A", 0, QStringLiteral("16841711"), true);
            row("A: 40 bits with 4 decimals", "A", 0, QStringLiteral("109951169.3312"), true);
            row("B top: widest reading", "B", 0, widest, true);
            row("B bottom: widest reading", "B", 1, widest, false);
            row("B bottom: 32-bit counter", "B", 1, QStringLiteral("16777217"), true);
            row("B bottom: 16 digits", "B", 1, QStringLiteral("-1099511627.7760"), true);
            // Short readings of the widest digit, around the length up to
            // which readings are taken as fitting without measuring.
            for (const char *eights : {"-888.8", "8888888", "-8888.888", "88888888888"})
                row(eights, "B", 1, QString::fromLatin1(eights), true);
        }
        QTest::newRow("initial fields: widest, item 0") << ""
                                                        << "" << 0 << widest << true;
        QTest::newRow("initial fields: 32-bit counter, item 1")
            << ""
            << "" << 1 << QStringLiteral("16777217") << true;
    }
    void readingIsNeverCut()
    {
        QFETCH(QString, code);
        QFETCH(QString, flag);
        QFETCH(int, item);
        QFETCH(QString, text);
        QFETCH(bool, drawn);
        Windows w;
        for (int k = 1; k <= SlotCount; ++k) {
            w.setSlot(k, true, flag);
            w.display->setReading(k, item, text);
        }
        w.press(code);
        const QImage shot = w.display->grab().toImage();
        if (const QByteArray out = qgetenv("KELMAR_GRAB_DIR"); !out.isEmpty())
            shot.save(QString::fromLocal8Bit(out) +
                      QStringLiteral("/reading_%1.png")
                          .arg(QString::fromLatin1(QTest::currentDataTag())
                                   .replace(u' ', u'_')
                                   .remove(u':')));
        auto red = [&shot](int x, int y) {
            const QColor c = shot.pixelColor(x, y);
            return c.red() > 60 && c.green() < c.red() / 2;
        };
        for (int k = 1; k <= SlotCount; ++k) {
            const QLabel *field = w.value(k, item);
            QVERIFY(w.shows(field));
            QCOMPARE(w.display->reading(k, item), text);
            QCOMPARE(field->toolTip().isEmpty(), drawn);
            const QRect r = field->geometry();
            int top = r.bottom(), bottom = r.top(), left = r.right(), right = r.left();
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x)
                    if (red(x, y)) {
                        top = qMin(top, y);
                        bottom = qMax(bottom, y);
                        left = qMin(left, x);
                        right = qMax(right, x);
                    }
            const QString where = QStringLiteral("slot %1: ink %2..%3 in field %4..%5, %6 px high")
                                      .arg(k)
                                      .arg(left)
                                      .arg(right)
                                      .arg(r.left())
                                      .arg(r.right())
                                      .arg(bottom - top + 1);
            QVERIFY2(left <= right, qPrintable(where)); // something is drawn
            QVERIFY2(left > r.left() && right < r.right(), qPrintable(where));
            // Windows rasterizes the hinted digits up to a row shorter than
            // their outline, which the fit measures.
            QVERIFY2(bottom - top + 1 >= MinDigitHeight - (OnWindows ? 1 : 0), qPrintable(where));
            // Centred in the field, within a pixel or two of rounding.
            QVERIFY2(qAbs((left - r.left()) - (r.right() - right)) <= 3, qPrintable(where));
        }
    }

    // Each slot's status mark stands on its title line right of the title,
    // clear of the title, the picture and the readings, moves with the slot
    // and shows its text whole; "" takes it away.
    void slotStatusMovesWithTheSlot_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("status");
        for (const char *code : {"1", "2"})
            for (const char *status : {"無回應", "通訊錯誤", "例外 02"})
                QTest::addRow("%s %s", code[0] == '1' ? "800X600" : "1024X768", status)
                    << QString::fromLatin1(code) << QString::fromUtf8(status);
    }
    void slotStatusMovesWithTheSlot()
    {
        QFETCH(QString, code);
        QFETCH(QString, status);
        Windows w;
        for (int k = 1; k <= SlotCount; ++k) {
            w.setSlot(k, true, QStringLiteral("B"));
            w.display->setTitle(k, QStringLiteral("第%1號 配電盤 進線總表 三相電力").arg(k));
            w.display->setSlotStatus(k, status);
        }
        w.press(code);
        const QImage shot = w.display->grab().toImage();
        if (const QByteArray out = qgetenv("KELMAR_GRAB_DIR"); !out.isEmpty())
            shot.save(QString::fromLocal8Bit(out) +
                      QStringLiteral("/status_%1_%2.png").arg(code, status.left(2)));
        for (int k = 1; k <= SlotCount; ++k) {
            const QLabel *mark = control(w.display, QStringLiteral("Status%1").arg(k));
            const QRect m = mark->geometry();
            const QRect title = w.title(k)->geometry();
            QVERIFY(w.shows(mark));
            QCOMPARE(w.display->slotStatus(k), status);
            QCOMPARE(mark->text(), status);
            QVERIFY(QFontMetrics(mark->font()).horizontalAdvance(status) <=
                    mark->contentsRect().width());
            QVERIFY(m.left() > title.right());
            QVERIFY(m.top() >= title.top() && m.bottom() <= title.bottom());
            QVERIFY(m.right() <= w.image(k)->geometry().right());
            QVERIFY(m.bottom() < w.image(k)->y());
            for (int item = 0; item < ItemsPerSlot; ++item)
                QVERIFY(!m.intersects(w.value(k, item)->geometry()));
            // Amber on the window's dark blue: seen at a glance.
            QVERIFY(shot.pixelColor(m.left() + 1, m.center().y()).red() > 200);
        }
        w.display->setSlotStatus(2, QString());
        QVERIFY(!w.shows(control(w.display, QStringLiteral("Status2"))));
        QVERIFY(w.display->slotStatus(2).isEmpty());
        QVERIFY(w.shows(control(w.display, QStringLiteral("Status1"))));
    }

    // The problem line: text of at least 16 px, left-aligned, wrapped to the
    // band right of the clock and the recording indicator, above every slot.
    // A message longer than the band holds is shown a page at a time; every
    // page is shown whole and together they hold the whole message.
    void noticeIsReadWhole_data()
    {
        QTest::addColumn<QString>("code");
        QTest::newRow("800X600") << "1";
        QTest::newRow("1024X768") << "2";
    }
    void noticeIsReadWhole()
    {
        QFETCH(QString, code);
        Windows w;
        for (int k = 1; k <= SlotCount; ++k) {
            w.setSlot(k, true, k % 2 ? QStringLiteral("A") : QStringLiteral("B"));
            w.display->setTitle(k, QStringLiteral("第%1號 儀表").arg(k));
            w.display->setReading(k, 0, QStringLiteral("230.1"));
            w.display->setReading(k, 1, QStringLiteral("0.98"));
        }
        w.display->setSlotStatus(2, QStringLiteral("無回應"));
        w.display->setClock(QStringLiteral("2025-03-06  14:05:00"));
        w.display->setRecording(true);
        w.press(code);
        const QString message = QStringLiteral(
            "無法寫入記錄檔 (cannot write the record file): /var/tmp/2025-03-06-1405.txt: No "
            "space left on device\nCOM1 連線中斷，自動重新連線中 (line lost, reconnecting)");
        w.display->setNotice(message);
        QCOMPARE(w.display->notice(), message);

        const QLabel *band = control(w.display, "Notice");
        const QRect b = band->geometry();
        QVERIFY(QFontInfo(band->font()).pixelSize() >= 16);
        QVERIFY(band->alignment() & Qt::AlignLeft);
        QVERIFY(QRect(QPoint(0, 0), w.display->size()).contains(b));
        QVERIFY(b.left() > control(w.display, "Label13")->geometry().right());
        QVERIFY(b.left() > control(w.display, "Label14")->geometry().right());
        for (int k = 1; k <= SlotCount; ++k) {
            QVERIFY(!b.intersects(w.title(k)->geometry()));
            QVERIFY(!b.intersects(w.image(k)->geometry()));
            QVERIFY(
                !b.intersects(control(w.display, QStringLiteral("Status%1").arg(k))->geometry()));
        }

        auto squeezed = [](QString t) {
            return t.remove(QRegularExpression(QStringLiteral("\\s")));
        };
        const QByteArray out = qgetenv("KELMAR_GRAB_DIR");
        auto yellow = [](const QColor &c) {
            return c.red() > 120 && c.green() > 100 && c.blue() < c.green() / 2;
        };
        QString shown;
        QStringList pages;
        for (;;) {
            const QString page = band->text();
            pages << page;
            shown += squeezed(page);
            const QImage shot = w.display->grab().toImage();
            if (!out.isEmpty())
                shot.save(QString::fromLocal8Bit(out) +
                          QStringLiteral("/notice_%1_page%2.png").arg(code).arg(pages.size()));
            // Drawn whole: ink inside the band, none on its last row or column.
            bool ink = false;
            for (int y = b.top(); y <= b.bottom(); ++y)
                for (int x = b.left(); x <= b.right(); ++x)
                    if (yellow(shot.pixelColor(x, y))) {
                        ink = true;
                        QVERIFY2(y < b.bottom() && x < b.right(),
                                 qPrintable(QStringLiteral("page %1 cut at %2,%3")
                                                .arg(pages.size())
                                                .arg(x)
                                                .arg(y)));
                    }
            QVERIFY(ink);
            const QFontMetrics fm(band->font());
            for (const QString &line : page.split(u'\n'))
                QVERIFY2(fm.horizontalAdvance(line) <= band->contentsRect().width(),
                         qPrintable(line));
            if (shown.size() >= squeezed(message).size())
                break;
            // The next page follows within a few seconds.
            QTRY_VERIFY_WITH_TIMEOUT(band->text() != page, 20000);
        }
        QCOMPARE(shown, squeezed(message));
        // At 1024X768 the band holds the whole message at once.
        if (code == QLatin1String("2"))
            QCOMPARE(pages.size(), 1);
    }
};

QTEST_MAIN(TstStartDisplay)
#include "tst_startdisplay.moc"
