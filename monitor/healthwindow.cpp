#include "healthwindow.h"

#include "fonts.h"
#include "counts.h"
#include "meterslot.h"
#include "session.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QScreen>
#include <QTableWidget>
#include <QVBoxLayout>

namespace kelmar {

namespace {

// Two lines each, so the table stays narrow enough for an 800 x 600 screen.
const char *const Columns[] = {
    QT_TRANSLATE_NOOP("kelmar::HealthWindow", "儀表\n(slot)"),
    QT_TRANSLATE_NOOP("kelmar::HealthWindow", "ID"),
    QT_TRANSLATE_NOOP("kelmar::HealthWindow", "傳送\n(sent)"),
    QT_TRANSLATE_NOOP("kelmar::HealthWindow", "正常\n(good)"),
    QT_TRANSLATE_NOOP("kelmar::HealthWindow", "無回應\n(no reply)"),
    QT_TRANSLATE_NOOP("kelmar::HealthWindow", "通訊錯誤\n(bad reply)"),
    QT_TRANSLATE_NOOP("kelmar::HealthWindow", "例外\n(exception)"),
    QT_TRANSLATE_NOOP("kelmar::HealthWindow", "最後錯誤\n(last failure)")};
constexpr int ColumnCount = int(std::size(Columns));
constexpr double TablePoints = 10.5;
constexpr QSize WindowSize(780, 200);

} // namespace

HealthWindow::HealthWindow(QWidget *parent) : QWidget(parent)
{
    setWindowTitle(tr("通訊統計 (line counters)"));
    setFont(designFont(FontMing, TablePoints));
    resize(WindowSize);
    m_table = new QTableWidget(SlotCount, ColumnCount, this);
    m_table->setObjectName(QStringLiteral("Counters"));
    QStringList header;
    for (const char *c : Columns)
        header << tr(c);
    m_table->setHorizontalHeaderLabels(header);
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    for (int r = 0; r < SlotCount; ++r)
        for (int c = 0; c < ColumnCount; ++c)
            m_table->setItem(r, c, new QTableWidgetItem);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_table);
}

void HealthWindow::follow(Session &session, MeterLine &line)
{
    auto showSlot = [this, &session](int k) {
        showHealth(k, session.meterSlot(k), session.health(k));
    };
    for (int k = 1; k <= SlotCount; ++k)
        showSlot(k);
    setLine(line.portDescription());
    connect(&session, &Session::healthChanged, this, showSlot);
    connect(&session, &Session::slotChanged, this, showSlot);
    connect(&session, &Session::lineStateChanged, this,
            [this, &line] { setLine(line.portDescription()); });
}

void HealthWindow::setLine(const QString &description)
{
    setWindowTitle(tr("通訊統計 (line counters) %1").arg(description));
}

void HealthWindow::showEvent(QShowEvent *event)
{
    // Wide enough for every column as filled now, within the screen.
    int need = 2 * m_table->frameWidth() + layout()->contentsMargins().left() +
               layout()->contentsMargins().right();
    const QFontMetrics metrics(m_table->font());
    for (int c = 0; c < ColumnCount; ++c) {
        int column = m_table->horizontalHeader()->sectionSizeHint(c);
        for (int r = 0; r < SlotCount; ++r)
            column = qMax(column, metrics.horizontalAdvance(m_table->item(r, c)->text()) +
                                      2 * metrics.averageCharWidth());
        need += column;
    }
    if (const QScreen *screen = this->screen())
        need = qMin(need, screen->availableGeometry().width());
    if (width() < need)
        resize(need, height());
    QWidget::showEvent(event);
}

void HealthWindow::showHealth(int k, const MeterSlot &slot, const SlotHealth &h)
{
    const QString failure =
        h.lastFailure.isEmpty()
            ? QString()
            : h.lastFailure + QStringLiteral("  ") +
                  h.lastFailureAt.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    const QString cells[ColumnCount] = {
        slot.title.isEmpty() ? tr("儀表%1").arg(k) : QStringLiteral("%1 %2").arg(k).arg(slot.title),
        slot.enabled && slot.slaveId ? QString::number(*slot.slaveId) : QString(),
        QString::number(h.transactions),
        QString::number(h.good),
        QString::number(h.noReply),
        h.strayBytes ? QStringLiteral("%1 (+%2 B)").arg(h.badReply).arg(h.strayBytes)
                     : QString::number(h.badReply),
        QString::number(h.exceptions),
        failure};
    for (int c = 0; c < ColumnCount; ++c)
        if (m_table->item(k - 1, c)->text() != cells[c])
            m_table->item(k - 1, c)->setText(cells[c]);
}

QString HealthWindow::cellText(int k, int column) const
{
    return m_table->item(k - 1, column)->text();
}

} // namespace kelmar
