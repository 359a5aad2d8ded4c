#include "form3.h"

#include "fonts.h"
#include "meterpanel.h"
#include "noticeband.h"
#include "readinglabel.h"

#include <QCloseEvent>
#include <QEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

namespace kelmar {

using namespace displaytable;

namespace {

//: The recording indicator of the display window.
const char *const RecordCaption = QT_TRANSLATE_NOOP("kelmar::Form3", "RECORD");

template <typename L = QLabel>
L *label(QWidget *parent, const QString &name, const QRect &place, const QFont &font,
         const QColor &text, Qt::Alignment align)
{
    auto *l = new L(parent);
    l->setObjectName(name);
    l->setGeometry(place);
    l->setFont(font);
    l->setAlignment(align);
    l->setTextFormat(Qt::PlainText);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, text);
    l->setPalette(pal);
    return l;
}

void fill(QWidget *w, const QColor &colour)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, colour);
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

} // namespace

Form3::Form3(QWidget *parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
{
    setWindowTitle(tr("Kelmar 資訊顯示"));
    // Created at the small screen's size; the start button sets the size.
    resize(displayWindowSize(ScreenSize::Small));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Background);
    setPalette(pal);

    // Creation order is drawing order: pictures first, readings above them,
    // the Exit button above everything.
    const QPixmap panel = defaultPicture();
    for (int k = 1; k <= SlotCount; ++k) {
        QLabel *image = new QLabel(this);
        image->setObjectName(QStringLiteral("Image%1").arg(k));
        image->setGeometry(QRect(slotOrigin(ScreenSize::Small, k), Panel));
        image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        image->setPixmap(panel);
        m_images[k - 1] = image;
    }
    for (int k = 1; k <= SlotCount; ++k) {
        const QRect title(titlePosition(ScreenSize::Small, k), Title.size());
        m_titles[k - 1] = label(this, QStringLiteral("Label%1").arg(SlotCount + k), title,
                                designFont(FontKai, TitlePoints, true), GreyText,
                                Qt::AlignLeft | Qt::AlignVCenter);
        QLabel *status =
            label(this, QStringLiteral("Status%1").arg(k), Status.translated(title.topLeft()),
                  designFont(FontMing, StatusPoints, true), StatusText, Qt::AlignCenter);
        fill(status, StatusNoReply);
        status->hide();
        m_status[k - 1] = status;
    }
    for (int k = 1; k <= SlotCount; ++k) {
        for (int item = 0; item < ItemsPerSlot; ++item) {
            const ValueField field =
                placedField(PanelKind::Neutral, item, slotOrigin(ScreenSize::Small, k));
            ReadingLabel *v =
                label<ReadingLabel>(this, QStringLiteral("Label%1_%2").arg(k).arg(item), field.rect,
                                    designFont(FontArial, InitialPoints[k - 1][item], true),
                                    ValueText, Qt::AlignCenter);
            fill(v, ValueBackground);
            m_values[k - 1][item] = v;
        }
    }
    Label13 =
        label(this, QStringLiteral("Label13"), Clock, designFont(FontArial, ClockPoints, true),
              GreyText, Qt::AlignLeft | Qt::AlignVCenter);
    Label14 =
        label(this, QStringLiteral("Label14"), Recording, designFont(FontArial, ClockPoints, true),
              RecordText, Qt::AlignRight | Qt::AlignVCenter);
    QFont noticeFont = designFont(FontArial, ClockPoints, true);
    noticeFont.setPixelSize(NoticePixels);
    m_notice = label<NoticeBand>(this, QStringLiteral("Notice"), QRect(), noticeFont, NoticeText,
                                 Qt::AlignLeft | Qt::AlignTop);

    // The focus box keeps the keyboard away from Exit, so a stray key does
    // not end the run. It is read-only and no Tab stop: nothing typed into
    // the invisible box is kept or used.
    Text1 = new QLineEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setGeometry(FocusBox);
    Text1->setReadOnly(true);
    Text1->setFocusPolicy(Qt::ClickFocus);
    Text1->setContextMenuPolicy(Qt::NoContextMenu);
    Text1->setAcceptDrops(false);
    Command1 = new QPushButton(tr("Exit"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(QRect(exitButtonPosition(ScreenSize::Small), ExitButton));
    Command1->setFont(designFont(FontArial, ExitPoints, true));
    Command1->raise();
    setFocusProxy(Text1);
    connect(Command1, &QPushButton::clicked, this, &Form3::Command1_Click);

    placeNotice();
    centreOnScreen();
}

QPixmap Form3::defaultPicture()
{
    static const QImage panel = drawMeterPanel(PanelKind::Neutral);
    return QPixmap::fromImage(panel);
}

void Form3::setReading(int k, int item, const QString &text)
{
    if (isSlot(k) && isItem(item))
        m_values[k - 1][item]->setReading(text);
}

QString Form3::reading(int k, int item) const
{
    return isSlot(k) && isItem(item) ? m_values[k - 1][item]->text() : QString();
}

void Form3::setTitle(int k, const QString &text)
{
    if (!isSlot(k))
        return;
    QLabel *t = m_titles[k - 1];
    m_titleTexts[k - 1] = text;
    t->setText(QFontMetrics(t->font()).elidedText(text, Qt::ElideRight, t->contentsRect().width()));
}

QString Form3::title(int k) const
{
    return isSlot(k) ? m_titleTexts[k - 1] : QString();
}

void Form3::setSlotStatus(int k, const QString &text, StatusKind kind)
{
    if (!isSlot(k))
        return;
    QLabel *s = m_status[k - 1];
    fill(s, kind == StatusKind::Exception  ? StatusException
            : kind == StatusKind::BadReply ? StatusBadReply
                                           : StatusNoReply);
    s->setText(QFontMetrics(s->font()).elidedText(text, Qt::ElideRight, s->contentsRect().width()));
    m_statusTexts[k - 1] = text;
    s->setVisible(!text.isEmpty());
}

QString Form3::slotStatus(int k) const
{
    return isSlot(k) ? m_statusTexts[k - 1] : QString();
}

void Form3::setClock(const QString &text)
{
    Label13->setText(text);
}

void Form3::setRecording(bool on)
{
    Label14->setText(on ? tr(RecordCaption) : QString());
}

void Form3::setNotice(const QString &text)
{
    m_notice->setNotice(text);
}

QString Form3::notice() const
{
    return m_notice->notice();
}

void Form3::clearReadings()
{
    for (int k = 1; k <= SlotCount; ++k)
        for (int item = 0; item < ItemsPerSlot; ++item)
            setReading(k, item, QString());
}

void Form3::applyLayout(const DisplayPlan &plan)
{
    resize(plan.windowSize);
    // Meant to cover a screen of the chosen size exactly; on another screen
    // it stays centred.
    centreOnScreen();
    for (int k = 1; k <= SlotCount; ++k)
        m_images[k - 1]->move(plan.slotPlans[k - 1].picture);
    for (int k = 1; k <= SlotCount; ++k) {
        const QPoint title = plan.slotPlans[k - 1].title;
        m_titles[k - 1]->move(title);
        m_status[k - 1]->move(title + Status.topLeft());
    }
    for (int k = 1; k <= SlotCount; ++k) {
        const SlotPlan &s = plan.slotPlans[k - 1];
        if (s.keep)
            continue;
        setPicture(k, s.image);
        placeValue(k, 0, s.item0);
        placeValue(k, 1, s.item1);
    }
    Command1->move(plan.exitButton);
    placeNotice();
}

void Form3::setPicture(int k, const QPixmap &picture)
{
    QLabel *box = m_images[k - 1];
    if (picture.isNull()) {
        box->clear();
        return;
    }
    // At the picture's own size, top left corner in place.
    box->setPixmap(picture);
    box->resize(picture.size());
}

void Form3::placeValue(int k, int item, const std::optional<ValueField> &field)
{
    ReadingLabel *l = m_values[k - 1][item];
    if (!field) {
        l->hide();
        return;
    }
    l->setGeometry(field->rect);
    QFont f = l->font();
    f.setPointSizeF(field->points);
    l->setFont(f);
    l->show();
}

void Form3::placeNotice()
{
    int top = height();
    for (int k = 0; k < SlotCount; ++k)
        top = std::min({top, m_titles[k]->y(), m_status[k]->y(), m_images[k]->y()});
    const int left = std::max(Label13->geometry().right(), Label14->geometry().right()) + NoticeGap;
    m_notice->setGeometry(
        QRect(QPoint(left, 0), QPoint(width() - NoticeGap, top - 1 - NoticeBottomGap)));
}

void Form3::centreOnScreen()
{
    const QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!s)
        return;
    const QRect area = s->geometry();
    move(area.left() + (area.width() - width()) / 2, area.top() + (area.height() - height()) / 2);
}

void Form3::Command1_Click()
{
    clearReadings();
    hide();
    emit exited();
}

void Form3::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeNotice();
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
