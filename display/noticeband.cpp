#include "noticeband.h"

#include <QEvent>
#include <QTextLayout>

namespace kelmar {

namespace {

// Long enough to read two lines of a report, short enough that a message
// of several pages comes round again within half a minute.
constexpr int PageMilliseconds = 4000;

// The report wrapped to width: at word boundaries, and anywhere in a run
// of Chinese text or a long path that has none.
QStringList wrapped(const QString &paragraph, const QFont &font, int width, QList<double> &heights)
{
    QStringList lines;
    QTextLayout layout(paragraph, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        lines << paragraph.mid(line.textStart(), line.textLength()).trimmed();
        heights << line.height();
    }
    layout.endLayout();
    return lines;
}

} // namespace

NoticeBand::NoticeBand(QWidget *parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_turn.setInterval(PageMilliseconds);
    QObject::connect(&m_turn, &QTimer::timeout, this, [this] { turnPage(); });
}

void NoticeBand::setNotice(const QString &text)
{
    m_notice = text;
    repage();
}

void NoticeBand::repage()
{
    m_pages.clear();
    m_page = 0;
    const QRect room = contentsRect();
    QStringList lines;
    QList<double> heights;
    for (const QString &report : m_notice.split(u'\n', Qt::SkipEmptyParts))
        lines << wrapped(report, font(), room.width(), heights);

    QStringList page;
    double used = 0;
    for (int i = 0; i < lines.size(); ++i) {
        // A page holds at least one line, however low the band.
        if (!page.isEmpty() && used + heights[i] > room.height()) {
            m_pages << page.join(u'\n');
            page.clear();
            used = 0;
        }
        page << lines[i];
        used += heights[i];
    }
    if (!page.isEmpty())
        m_pages << page.join(u'\n');

    setText(m_pages.value(0));
    if (m_pages.size() > 1)
        m_turn.start();
    else
        m_turn.stop();
}

void NoticeBand::turnPage()
{
    if (m_pages.isEmpty())
        return;
    m_page = (m_page + 1) % m_pages.size();
    setText(m_pages[m_page]);
}

void NoticeBand::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    repage();
}

void NoticeBand::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        repage();
}

} // namespace kelmar
