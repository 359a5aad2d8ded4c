#include "form3.h"
#include "counts.h"
#include "meterpanel.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

using namespace kelmar;

namespace {

template <typename W = QWidget> W *control(const Form3 &f, const QString &name)
{
    W *w = f.findChild<W *>(name);
    if (!w)
        qFatal("no control %s", qPrintable(name));
    return w;
}

QLabel *value(const Form3 &f, int k, int item)
{
    return control<QLabel>(f, QStringLiteral("Label%1_%2").arg(k).arg(item));
}
QLabel *title(const Form3 &f, int k)
{
    return control<QLabel>(f, QStringLiteral("Label%1").arg(SlotCount + k));
}
QLabel *image(const Form3 &f, int k)
{
    return control<QLabel>(f, QStringLiteral("Image%1").arg(k));
}

QColor textColour(const QWidget *w)
{
    return w->palette().color(QPalette::WindowText);
}

} // namespace

class TstForm3 : public QObject
{
    Q_OBJECT
private slots:
    void window()
    {
        QWidget owner;
        Form3 f(&owner);
        QCOMPARE(f.windowTitle(), QStringLiteral("Kelmar 資訊顯示"));
        QVERIFY(f.isWindow());
        QVERIFY(f.windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(f.size(), QSize(800, 600));
        QVERIFY(f.isHidden());
        QVERIFY(f.autoFillBackground());
        QCOMPARE(f.palette().color(QPalette::Window), QColor(25, 43, 81));
        // Centred on the screen when created.
        const QRect screen = f.screen()->geometry();
        QCOMPARE(f.pos(), screen.topLeft() +
                              QPoint((screen.width() - 800) / 2, (screen.height() - 600) / 2));
    }

    // The main window makes the display a frameless top-level window again
    // after creating it; that must not move or resize it.
    void flagsSetAgainKeepPlace()
    {
        QWidget owner;
        Form3 f(&owner);
        const QRect before = f.geometry();
        f.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        QCOMPARE(f.geometry(), before);
        QVERIFY(f.isWindow());
    }

    void initialGeometry_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("rect");
        QTest::newRow("Label13") << "Label13" << QRect(0, 0, 241, 25);
        QTest::newRow("Label14") << "Label14" << QRect(168, 0, 121, 25);
        QTest::newRow("Command1") << "Command1" << QRect(24, 552, 753, 35);
        QTest::newRow("Text1 below the visible area") << "Text1" << QRect(8, 864, 49, 33);
        const QPoint picture[SlotCount] = {{24, 56},   {408, 56}, {24, 232},
                                           {408, 232}, {24, 408}, {408, 408}};
        const QPoint title[SlotCount] = {{24, 24},   {408, 24}, {24, 200},
                                         {408, 200}, {24, 376}, {408, 376}};
        const QPoint item0[SlotCount] = {{64, 64},   {448, 64}, {64, 240},
                                         {448, 240}, {64, 416}, {448, 416}};
        const QPoint item1[SlotCount] = {{230, 125}, {614, 125}, {230, 301},
                                         {614, 301}, {230, 477}, {614, 477}};
        for (int k = 1; k <= SlotCount; ++k) {
            QTest::addRow("Image%d", k)
                << QStringLiteral("Image%1").arg(k) << QRect(picture[k - 1], QSize(366, 143));
            QTest::addRow("Label%d", SlotCount + k) << QStringLiteral("Label%1").arg(SlotCount + k)
                                                    << QRect(title[k - 1], QSize(281, 33));
            QTest::addRow("Label%d item 0", k)
                << QStringLiteral("Label%1_0").arg(k) << QRect(item0[k - 1], QSize(317, 57));
            QTest::addRow("Label%d item 1", k)
                << QStringLiteral("Label%1_1").arg(k) << QRect(item1[k - 1], QSize(151, 47));
        }
    }
    void initialGeometry()
    {
        QFETCH(QString, name);
        QFETCH(QRect, rect);
        QWidget owner;
        Form3 f(&owner);
        QWidget *w = control(f, name);
        QCOMPARE(w->geometry(), rect);
        QVERIFY(w->isVisibleTo(&f));
    }

    void valueLabels_data()
    {
        QTest::addColumn<int>("k");
        QTest::addColumn<double>("points0");
        QTest::addColumn<double>("points1");
        QTest::newRow("slot 1") << 1 << 39.75 << 39.75;
        QTest::newRow("slot 2") << 2 << 60.0 << 32.25;
        for (int k = 3; k <= SlotCount; ++k)
            QTest::addRow("slot %d", k) << k << 60.0 << 60.0;
    }
    void valueLabels()
    {
        QFETCH(int, k);
        QFETCH(double, points0);
        QFETCH(double, points1);
        QWidget owner;
        Form3 f(&owner);
        const double points[2] = {points0, points1};
        for (int item = 0; item < ItemsPerSlot; ++item) {
            QLabel *l = value(f, k, item);
            QCOMPARE(l->font().pointSizeF(), points[item]);
            QCOMPARE(l->font().family(), QStringLiteral("Arial"));
            QVERIFY(l->font().bold());
            QCOMPARE(l->alignment(), Qt::AlignCenter);
            QCOMPARE(textColour(l), QColor(255, 0, 0));
            // An opaque black field over the picture.
            QVERIFY(l->autoFillBackground());
            QCOMPARE(l->palette().color(QPalette::Window), QColor(0, 0, 0));
            QCOMPARE(l->frameShape(), QFrame::NoFrame);
            QVERIFY(l->text().isEmpty());
        }
    }

    void otherLabels()
    {
        QWidget owner;
        Form3 f(&owner);
        for (int k = 1; k <= SlotCount; ++k) {
            QLabel *t = title(f, k);
            QCOMPARE(t->font().family(), QStringLiteral("標楷體"));
            QCOMPARE(t->font().pointSizeF(), 20.25);
            QVERIFY(t->font().bold());
            QCOMPARE(textColour(t), QColor(180, 180, 180));
            QVERIFY(!t->autoFillBackground());
            QVERIFY(t->alignment() & Qt::AlignLeft);
            QVERIFY(t->text().isEmpty());
        }
        QCOMPARE(control<QLabel>(f, "Label13")->font().family(), QStringLiteral("Arial"));
        QCOMPARE(control<QLabel>(f, "Label13")->font().pointSizeF(), 14.25);
        QVERIFY(control<QLabel>(f, "Label13")->font().bold());
        QCOMPARE(textColour(control<QLabel>(f, "Label13")), QColor(180, 180, 180));
        QVERIFY(control<QLabel>(f, "Label13")->alignment() & Qt::AlignLeft);
        QCOMPARE(control<QLabel>(f, "Label14")->font().pointSizeF(), 14.25);
        QVERIFY(control<QLabel>(f, "Label14")->font().bold());
        QCOMPARE(textColour(control<QLabel>(f, "Label14")), QColor(255, 0, 0));
        QVERIFY(control<QLabel>(f, "Label14")->alignment() & Qt::AlignRight);
        QVERIFY(!control<QLabel>(f, "Label13")->autoFillBackground());
        QVERIFY(!control<QLabel>(f, "Label14")->autoFillBackground());
        QCOMPARE(control<QPushButton>(f, "Command1")->text(), QStringLiteral("Exit"));
        QCOMPARE(control<QPushButton>(f, "Command1")->font().family(), QStringLiteral("Arial"));
        QCOMPARE(control<QPushButton>(f, "Command1")->font().pointSizeF(), 24.0);
        QVERIFY(control<QPushButton>(f, "Command1")->font().bold());
    }

    void defaultPictures()
    {
        QWidget owner;
        Form3 f(&owner);
        const QImage panel = drawMeterPanel(PanelKind::Neutral);
        for (int k = 1; k <= SlotCount; ++k) {
            const QPixmap p = image(f, k)->pixmap();
            QCOMPARE(p.size(), QSize(366, 143));
            QCOMPARE(p.toImage().convertToFormat(panel.format()), panel);
        }
    }

    void drawingOrder()
    {
        QWidget owner;
        Form3 f(&owner);
        const QObjectList order = f.children();
        auto at = [&order](QObject *o) { return order.indexOf(o); };
        for (int k = 1; k <= SlotCount; ++k) {
            QVERIFY(at(value(f, k, 0)) > at(image(f, k)));
            QVERIFY(at(value(f, k, 1)) > at(image(f, k)));
        }
        // The Exit button lies above everything.
        QCOMPARE(f.childAt(control<QPushButton>(f, "Command1")->geometry().center()),
                 control<QPushButton>(f, "Command1"));
        QWidget *last = nullptr;
        for (QObject *o : order)
            if (o->isWidgetType())
                last = static_cast<QWidget *>(o);
        QCOMPARE(last, control<QPushButton>(f, "Command1"));
    }

    // The problem line stays clear of the clock, the recording indicator,
    // the titles and the pictures (both sizes: tst_startdisplay).
    void noticeKeepsClear()
    {
        QWidget owner;
        Form3 f(&owner);
        f.setNotice(QStringLiteral("Picture missing: a\nRecord file: b"));
        QCOMPARE(f.notice(), QStringLiteral("Picture missing: a\nRecord file: b"));
        QLabel *notice = control<QLabel>(f, "Notice");
        const QRect n = notice->geometry();
        QVERIFY(n.left() > control<QLabel>(f, "Label14")->geometry().right());
        QVERIFY(n.bottom() < 24);
        QVERIFY(n.right() < 800);
        QVERIFY(!n.intersects(control<QLabel>(f, "Label13")->geometry()));
        QVERIFY(!n.intersects(control<QLabel>(f, "Label14")->geometry()));
        for (int k = 1; k <= SlotCount; ++k) {
            QVERIFY(!n.intersects(title(f, k)->geometry()));
            QVERIFY(!n.intersects(image(f, k)->geometry()));
        }
        QVERIFY(notice->text().startsWith(QStringLiteral("Picture missing: a")));
        f.setNotice(QString());
        QVERIFY(f.notice().isEmpty());
        QVERIFY(notice->text().isEmpty());
    }

    void exitClearsReadingsOnly()
    {
        QWidget owner;
        Form3 f(&owner);
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        for (int k = 1; k <= SlotCount; ++k) {
            f.setReading(k, 0, QStringLiteral("12.3"));
            f.setReading(k, 1, QStringLiteral("4.56"));
            f.setTitle(k, QStringLiteral("儀表%1").arg(k));
        }
        f.setClock(QStringLiteral("2025-03-06  14:05:00"));
        f.setRecording(true);
        QSignalSpy exited(&f, &Form3::exited);
        QTest::mouseClick(control<QPushButton>(f, "Command1"), Qt::LeftButton);
        QCOMPARE(exited.count(), 1);
        QVERIFY(!f.isVisible());
        for (int k = 1; k <= SlotCount; ++k) {
            QVERIFY(f.reading(k, 0).isEmpty());
            QVERIFY(value(f, k, 0)->text().isEmpty());
            QVERIFY(f.reading(k, 1).isEmpty());
            QCOMPARE(title(f, k)->text(), QStringLiteral("儀表%1").arg(k));
            QVERIFY(!image(f, k)->pixmap().isNull());
        }
        QCOMPARE(control<QLabel>(f, "Label13")->text(), QStringLiteral("2025-03-06  14:05:00"));
        QCOMPARE(control<QLabel>(f, "Label14")->text(), QStringLiteral("RECORD"));
    }

    void closeRequestEndsTheRunLikeExit()
    {
        QWidget owner;
        Form3 f(&owner);
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        f.setReading(2, 0, QStringLiteral("1"));
        QSignalSpy exited(&f, &Form3::exited);
        f.close();
        QCOMPARE(exited.count(), 1);
        QVERIFY(!f.isVisible());
        QVERIFY(f.reading(2, 0).isEmpty());
        // Closing a hidden window is no second Exit.
        f.close();
        QCOMPARE(exited.count(), 1);
    }

    // Each activation puts the focus on the box below the visible area,
    // also a return from another window.
    void activationFocusesText1()
    {
        QWidget owner;
        Form3 f(&owner);
        QLineEdit other;
        other.setWindowTitle(QStringLiteral("other"));
        f.show();
        f.activateWindow();
        QTRY_VERIFY_WITH_TIMEOUT(f.isActiveWindow(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::focusWidget(), control(f, "Text1"), 10000);

        control<QPushButton>(f, "Command1")->setFocus();
        QCOMPARE(QApplication::focusWidget(), control<QPushButton>(f, "Command1"));
        other.show();
        other.activateWindow();
        QTRY_VERIFY_WITH_TIMEOUT(other.isActiveWindow(), 10000);
        f.activateWindow();
        QTRY_VERIFY_WITH_TIMEOUT(f.isActiveWindow(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::focusWidget(), control(f, "Text1"), 10000);
    }

    // A title longer than its line ends in "…" rather than a cut character;
    // the window still knows the whole title.
    void titleEndsInEllipsis_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("elided");
        QTest::newRow("short title stays whole") << QStringLiteral("第1號 儀表") << false;
        QTest::newRow("long Chinese title")
            << QStringLiteral("第一號配電盤進線總表三相電力與電能計量") << true;
        QTest::newRow("long Latin title")
            << QStringLiteral("Incoming feeder, main switchboard, line 1") << true;
    }
    void titleEndsInEllipsis()
    {
        QFETCH(QString, text);
        QFETCH(bool, elided);
        QWidget owner;
        Form3 f(&owner);
        for (int k = 1; k <= SlotCount; ++k) {
            f.setTitle(k, text);
            QCOMPARE(f.title(k), text);
            const QLabel *t = title(f, k);
            QCOMPARE(t->text().endsWith(QChar(0x2026)), elided);
            QCOMPARE(t->text() == text, !elided);
            QVERIFY(QFontMetrics(t->font()).horizontalAdvance(t->text()) <=
                    t->contentsRect().width());
        }
    }

    // The invisible focus box keeps the keys away from Exit but takes
    // nothing in: typed text is not kept, and Tab never lands on it.
    void focusBoxHoldsNothing()
    {
        QWidget owner;
        Form3 f(&owner);
        f.show();
        f.activateWindow();
        QTRY_VERIFY_WITH_TIMEOUT(f.isActiveWindow(), 10000);
        QLineEdit *box = control<QLineEdit>(f, "Text1");
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::focusWidget(), box, 10000);
        QTest::keyClicks(box, QStringLiteral("123 abc"));
        QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
        QVERIFY(box->text().isEmpty());
        QVERIFY(!(box->focusPolicy() & Qt::TabFocus));
        QPushButton *exit = control<QPushButton>(f, "Command1");
        exit->setFocus();
        for (int i = 0; i < 3; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QVERIFY(QApplication::focusWidget() != box);
        }
        QVERIFY(f.isVisible()); // no key ended the run
    }

    void pictureAtItsOwnSize()
    {
        QWidget owner;
        Form3 f(&owner);
        QPixmap small(120, 40);
        small.fill(Qt::red);
        DisplayPlan plan;
        plan.windowSize = QSize(800, 600);
        for (int k = 1; k <= SlotCount; ++k) {
            plan.slotPlans[k - 1].keep = true;
            plan.slotPlans[k - 1].picture = image(f, k)->pos();
            plan.slotPlans[k - 1].title = title(f, k)->pos();
        }
        SlotPlan &three = plan.slotPlans[2];
        three =
            SlotPlan{QPoint(10, 20), title(f, 3)->pos(), false, small, std::nullopt, std::nullopt};
        f.applyLayout(plan);
        QCOMPARE(image(f, 3)->geometry(), QRect(10, 20, 120, 40));
        three.image = QPixmap();
        f.applyLayout(plan);
        QVERIFY(image(f, 3)->pixmap().isNull());
        QCOMPARE(image(f, 3)->pos(), QPoint(10, 20));
    }

    // Set KELMAR_GRAB_DIR to keep a picture of the window as first shown.
    void grabInitial()
    {
        QWidget owner;
        Form3 f(&owner);
        f.setReading(1, 0, QStringLiteral("230.1"));
        f.setReading(1, 1, QStringLiteral("5.02"));
        const QImage shot = f.grab().toImage();
        QCOMPARE(shot.size(), QSize(800, 600));
        if (const QByteArray out = qgetenv("KELMAR_GRAB_DIR"); !out.isEmpty())
            shot.save(QString::fromLocal8Bit(out) + QStringLiteral("/form3_initial.png"));
    }
};

QTEST_MAIN(TstForm3)
#include "tst_form3.moc"
