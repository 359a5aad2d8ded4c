#include "readinglabel.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>

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
    setText(text);
    refit();
}

void ReadingLabel::refit()
{
    m_fit = fitReading(font(), text(), contentsRect().width());
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
    refit();
}

void ReadingLabel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        refit();
}

} // namespace kelmar
