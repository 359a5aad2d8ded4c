#include "readinglabel.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <iterator>
#include <string>

namespace kelmar {

namespace {

// Each try after the first proportional guess is this much smaller; small
// enough that the result is within a few percent of the largest fit.
constexpr double ShrinkStep = 0.97;
// A face that does not scale would never fit; give up after this many tries.
constexpr int MaxTries = 60;

// Width of the ink and the advance together: bold glyphs may reach past
// their advance, and the text is centred by its advance.
double drawnWidth(const QFont &font, const QString &text)
{
    const QFontMetricsF fm(font);
    const QRectF ink = fm.boundingRect(text);
    const double advance = fm.horizontalAdvance(text);
    return qMax(advance, ink.right()) - qMin(0.0, ink.left());
}

double digitHeight(const QFont &font)
{
    return QFontMetricsF(font).tightBoundingRect(QStringLiteral("0123456789")).height();
}

// What readings are made of.
constexpr char16_t ReadingAlphabet[] = u"0123456789.-+";
// Room kept for kerning and overhang when characters are measured one by
// one instead of as a whole reading.
constexpr double SafetyShare = 1.1;

// The most reading characters that fit a field at the font whatever they
// are: such readings need no measuring, which costs a shaping each time.
int safeReadingLength(const QFont &font, int fieldWidth)
{
    double widest = 0;
    for (const char16_t c : ReadingAlphabet)
        if (c)
            widest = qMax(widest, drawnWidth(font, QString(QChar(c))));
    const double room = fieldWidth - 2 * ReadingSideMargin;
    return widest > 0 && room > 0 ? int(room / (widest * SafetyShare)) : 0;
}

bool onlyReadingCharacters(const QString &text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) {
        return std::char_traits<char16_t>::find(ReadingAlphabet, std::size(ReadingAlphabet) - 1,
                                                c.unicode()) != nullptr;
    });
}

} // namespace

ReadingFit fitReading(const QFont &design, const QString &text, int fieldWidth)
{
    const double room = fieldWidth - 2 * ReadingSideMargin;
    const double designWidth = drawnWidth(design, text);
    if (text.isEmpty() || designWidth <= room)
        return {design, true};

    QFont f = design;
    double points = design.pointSizeF() * room / designWidth;
    for (int i = 0; i < MaxTries; ++i, points *= ShrinkStep) {
        f.setPointSizeF(points);
        if (digitHeight(f) < MinDigitHeight)
            break;
        if (drawnWidth(f, text) <= room)
            return {f, true};
    }
    return {design, false};
}

ReadingLabel::ReadingLabel(QWidget *parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
}

void ReadingLabel::setReading(const QString &text)
{
    if (text == this->text())
        return;
    setText(text);
    refit();
}

void ReadingLabel::refit()
{
    const QString t = text();
    if (m_safeLength < 0)
        m_safeLength = safeReadingLength(font(), contentsRect().width());
    m_fit = t.size() <= m_safeLength && onlyReadingCharacters(t)
                ? ReadingFit{font(), true}
                : fitReading(font(), t, contentsRect().width());
    // The whole value stays within reach when the field cannot show it.
    setToolTip(m_fit.fits ? QString() : text());
    update();
}

void ReadingLabel::paintEvent(QPaintEvent *)
{
    if (text().isEmpty())
        return;
    QPainter p(this);
    p.setPen(palette().color(QPalette::WindowText));
    if (m_fit.fits) {
        p.setFont(m_fit.font);
        p.drawText(contentsRect(), int(alignment()), text());
        return;
    }
    p.setFont(fitReading(font(), OverflowMark, contentsRect().width()).font);
    p.drawText(contentsRect(), int(alignment()), OverflowMark);
}

void ReadingLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    m_safeLength = -1;
    refit();
}

void ReadingLabel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        m_safeLength = -1;
        refit();
    }
}

} // namespace kelmar
