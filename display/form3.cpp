#include "form3.h"

#include "fonts.h"
#include "meterpanel.h"

#include <QCloseEvent>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace kelmar {

namespace {

struct Place
{
    int left, top, width, height;
};

struct SlotPlaces
{
    Place picture;
    Place title;
    Place value0;
    Place value1;
    double points0;
    double points1;
};

// Initial geometry in pixels. The start button moves the slots it lays out;
// the rest stays as here.
constexpr int ClientWidth = 800;
constexpr int ClientHeight = 600;
constexpr SlotPlaces SlotTable[6] = {
    {{24, 56, 366, 143}, {24, 24, 281, 33}, {64, 64, 317, 57}, {230, 125, 151, 47}, 39.75, 39.75},
    {{408, 56, 366, 143}, {408, 24, 281, 33}, {448, 64, 317, 57}, {614, 125, 151, 47}, 60, 32.25},
    {{24, 232, 366, 143}, {24, 200, 281, 33}, {64, 240, 317, 57}, {230, 301, 151, 47}, 60, 60},
    {{408, 232, 366, 143}, {408, 200, 281, 33}, {448, 240, 317, 57}, {614, 301, 151, 47}, 60, 60},
    {{24, 408, 366, 143}, {24, 376, 281, 33}, {64, 416, 317, 57}, {230, 477, 151, 47}, 60, 60},
    {{408, 408, 366, 143}, {408, 376, 281, 33}, {448, 416, 317, 57}, {614, 477, 151, 47}, 60, 60},
};
constexpr Place Label13Place{0, 0, 241, 25};
constexpr Place Label14Place{168, 0, 121, 25};
constexpr Place Command1Place{24, 552, 753, 35};
constexpr Place Text1Place{8, 864, 49, 33}; // below the visible area
// Problem reports sit right of the clock and the recording indicator, above
// the titles of the right-hand column, at the same place in both sizes.
constexpr Place NoticePlace{300, 0, 492, 24};

const QColor Background(25, 43, 81);
const QColor ValueText(255, 0, 0);
const QColor ValueField(0, 0, 0);
const QColor GreyText(180, 180, 180);
const QColor RecordText(255, 0, 0);
const QColor NoticeText(255, 220, 60);

constexpr double TitlePoints = 20.25;
constexpr double ClockPoints = 14.25;
constexpr double ExitPoints = 24;
constexpr double NoticePoints = 9;

QRect rectOf(const Place &p)
{
    return QRect(p.left, p.top, p.width, p.height);
}

QLabel *label(QWidget *parent, const Place &p, const QFont &font, const QColor &text,
              Qt::Alignment align)
{
    auto *l = new QLabel(parent);
    l->setGeometry(rectOf(p));
    l->setFont(font);
    l->setAlignment(align);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, text);
    l->setPalette(pal);
    return l;
}

} // namespace

Form3::Form3(QWidget *parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
{
    setWindowTitle(QStringLiteral("Kelmar 資訊顯示"));
    resize(ClientWidth, ClientHeight);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Background);
    setPalette(pal);

    // Creation order is drawing order: pictures first, readings above them,
    // the Exit button above everything.
    const QPixmap panel = defaultPicture();
    for (int k = 0; k < 6; ++k) {
        m_images[k] = new QLabel(this);
        m_images[k]->setGeometry(rectOf(SlotTable[k].picture));
        m_images[k]->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        m_images[k]->setPixmap(panel);
    }
    for (int k = 0; k < 6; ++k)
        m_titles[k] = label(this, SlotTable[k].title, designFont(FontKai, TitlePoints, true),
                            GreyText, Qt::AlignLeft | Qt::AlignVCenter);
    for (int k = 0; k < 6; ++k) {
        const Place places[2] = {SlotTable[k].value0, SlotTable[k].value1};
        const double points[2] = {SlotTable[k].points0, SlotTable[k].points1};
        for (int item = 0; item < 2; ++item) {
            QLabel *v = label(this, places[item], designFont(FontArial, points[item], true),
                              ValueText, Qt::AlignCenter);
            QPalette vp = v->palette();
            vp.setColor(QPalette::Window, ValueField);
            v->setPalette(vp);
            v->setAutoFillBackground(true);
            m_values[k][item] = v;
        }
    }
    Label13 = label(this, Label13Place, designFont(FontArial, ClockPoints, true), GreyText,
                    Qt::AlignLeft | Qt::AlignVCenter);
    Label14 = label(this, Label14Place, designFont(FontArial, ClockPoints, true), RecordText,
                    Qt::AlignRight | Qt::AlignVCenter);
    m_notice = label(this, NoticePlace, designFont(FontArial, NoticePoints, true), NoticeText,
                     Qt::AlignRight | Qt::AlignVCenter);

    Text1 = new QLineEdit(this);
    Text1->setGeometry(rectOf(Text1Place));
    Command1 = new QPushButton(QStringLiteral("Exit"), this);
    Command1->setGeometry(rectOf(Command1Place));
    Command1->setFont(designFont(FontArial, ExitPoints, true));
    Command1->raise();
    setFocusProxy(Text1);
    connect(Command1, &QPushButton::clicked, this, &Form3::Command1_Click);

    centreOnScreen();
}

QPixmap Form3::defaultPicture()
{
    static const QImage panel = drawMeterPanel(PanelKind::Neutral);
    return QPixmap::fromImage(panel);
}

void Form3::setPicture(int k, const QPixmap &picture)
{
    QLabel *box = m_images[k - 1];
    if (picture.isNull()) {
        box->clear();
        return;
    }
    box->setPixmap(picture);
    box->resize(picture.size());
}

void Form3::centreOnScreen()
{
    const QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!s)
        return;
    const QRect area = s->geometry();
    move(area.left() + (area.width() - width()) / 2, area.top() + (area.height() - height()) / 2);
}

void Form3::setNotice(const QString &text)
{
    m_noticeText = text;
    // One line: several reports stand side by side.
    m_notice->setText(text.split(u'\n').join(QStringLiteral("   ")));
}

QString Form3::notice() const
{
    return m_noticeText;
}

void Form3::Command1_Click()
{
    for (auto &slot : m_values)
        for (QLabel *l : slot)
            l->clear();
    hide();
    emit exited();
}

void Form3::changeEvent(QEvent *event)
{
    // Every activation, also a return from another window, puts the focus
    // on the box below the visible area.
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        Text1->setFocus(Qt::ActiveWindowFocusReason);
    QWidget::changeEvent(event);
}

void Form3::closeEvent(QCloseEvent *event)
{
    // A close request from the system (the window has no close box) ends
    // the run like Exit, so no timer keeps polling into a hidden window.
    event->ignore();
    if (isVisible())
        Command1_Click();
}

} // namespace kelmar
