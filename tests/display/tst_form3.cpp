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

// How a control of the window as created lies (initialGeometry).
enum Rule {
    InsideWindow,
    BelowWindow,
    OverDisplay0,
    OverDisplay1,
    TitleOf,
    StatusOf,
    GridWith,
    ClockBand,
    ExitButton
};

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

    // The window as created, checked against the rules of its layout rather
    // than its table: every control inside the window but the focus box,
    // each value field exactly over a display of its slot's built-in panel,
    // each title on the line above its picture, each status mark on the
    // title line flush with the picture's right end, the pictures in two
    // aligned columns and three evenly spaced rows, the clock band above the
    // titles and Exit across both columns below the last row.
    void initialGeometry_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("other"); // the control the rule relates it to
        QTest::addColumn<int>("rule");
        QStringList inside{"Label13", "Label14", "Command1"};
        for (int k = 1; k <= SlotCount; ++k)
            inside << QStringLiteral("Image%1").arg(k)
                   << QStringLiteral("Label%1").arg(SlotCount + k)
                   << QStringLiteral("Status%1").arg(k) << QStringLiteral("Label%1_0").arg(k)
                   << QStringLiteral("Label%1_1").arg(k);
        for (const QString &name : inside)
            QTest::addRow("%s inside the window", qPrintable(name))
                << name << QString() << int(InsideWindow);
        QTest::newRow("Text1 below the visible area")
            << QStringLiteral("Text1") << QString() << int(BelowWindow);
        for (int k = 1; k <= SlotCount; ++k) {
            const QString picture = QStringLiteral("Image%1").arg(k);
            QTest::addRow("Label%d_0 over display 0 of Image%d", k, k)
                << QStringLiteral("Label%1_0").arg(k) << picture << int(OverDisplay0);
            QTest::addRow("Label%d_1 over display 1 of Image%d", k, k)
                << QStringLiteral("Label%1_1").arg(k) << picture << int(OverDisplay1);
            QTest::addRow("Label%d on the line above Image%d", SlotCount + k, k)
                << QStringLiteral("Label%1").arg(SlotCount + k) << picture << int(TitleOf);
            QTest::addRow("Status%d on the title line at Image%d's right end", k, k)
                << QStringLiteral("Status%1").arg(k) << picture << int(StatusOf);
            if (k > 2)
                QTest::addRow("Image%d one row below Image%d", k, k - 2)
                    << picture << QStringLiteral("Image%1").arg(k - 2) << int(GridWith);
        }
        QTest::newRow("Label13 above the first titles")
            << QStringLiteral("Label13") << QStringLiteral("Label7") << int(ClockBand);
        QTest::newRow("Label14 above the first titles")
            << QStringLiteral("Label14") << QStringLiteral("Label8") << int(ClockBand);
        QTest::newRow("Command1 across both columns below the last row")
            << QStringLiteral("Command1") << QStringLiteral("Image6") << int(ExitButton);
    }
    void initialGeometry()
    {
        QFETCH(QString, name);
        QFETCH(QString, other);
        QFETCH(int, rule);
        QWidget owner;
        Form3 f(&owner);
        QWidget *w = control(f, name);
        const QRect r = w->geometry();
        const QRect o = other.isEmpty() ? QRect() : control(f, other)->geometry();
        const QList<QRect> displays = panelDisplayFields(PanelKind::Neutral);
        switch (Rule(rule)) {
        case InsideWindow:
            QVERIFY(!r.isEmpty());
            QVERIFY(f.rect().contains(r));
            // The status marks show only when a meter fails.
            QCOMPARE(w->isVisibleTo(&f), !name.startsWith(QLatin1String("Status")));
            break;
        case BelowWindow:
            QVERIFY(r.top() >= f.height());
            QVERIFY(w->isVisibleTo(&f));
            break;
        case OverDisplay0:
        case OverDisplay1:
            QCOMPARE(o.size(), image(f, 1)->pixmap().size());
            QCOMPARE(r, displays[rule == OverDisplay0 ? 0 : 1].translated(o.topLeft()));
            break;
        case TitleOf:
            QCOMPARE(r.left(), o.left());
            QCOMPARE(r.bottom(), o.top());  // the title line's last row is the picture's first
            QVERIFY(r.width() < o.width()); // room for the status mark
            QVERIFY(r.height() >= QFontMetrics(w->font()).height());
            break;
        case StatusOf: {
            const QRect t =
                control(f, QStringLiteral("Label%1").arg(SlotCount + name.mid(6).toInt()))
                    ->geometry();
            QVERIFY(r.left() > t.right());
            QCOMPARE(r.right(), o.right());
            QVERIFY(r.top() >= t.top() && r.bottom() < o.top());
            break;
        }
        case GridWith: {
            // Same column, next row; rows one pitch apart, the pitch as the
            // first two rows set it, the slot's title between them.
            const int k = name.mid(5).toInt();
            const int pitch = image(f, 3)->y() - image(f, 1)->y();
            QCOMPARE(r.left(), o.left());
            QCOMPARE(r.top() - o.top(), pitch);
            QVERIFY(title(f, k)->y() > o.bottom());
            // The other column: beside it, on the same row.
            const QRect beside = image(f, k % 2 ? k + 1 : k - 1)->geometry();
            QCOMPARE(beside.top(), r.top());
            QVERIFY(!beside.intersects(r));
            break;
        }
        case ClockBand:
            QVERIFY(r.bottom() <= o.top());
            break;
        case ExitButton:
            QCOMPARE(r.left(), image(f, 1)->x());
            QVERIFY(r.right() >= o.right());
            QVERIFY(r.top() > o.bottom());
            break;
        }
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
