#include "meterpanel.h"

#include "fonts.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>

namespace kelmar {

namespace {

constexpr int PanelWidth = displaytable::Panel.width();
constexpr int PanelHeight = displaytable::Panel.height();
constexpr QRect SingleField = displaytable::SingleField.rect;
constexpr QRect UpperField = displaytable::UpperField.rect;
constexpr QRect LowerField = displaytable::LowerField.rect;

struct Key
{
    const char *legend;
};
constexpr Key Keys[] = {{"SET"}, {"\u25C0"}, {"\u25B2"}, {"ENT"}};

struct Look
{
    QString name;
    QString subtitle;
    QColor accent;
};

Look lookOf(PanelKind kind)
{
    switch (kind) {
    case PanelKind::SingleValue:
        return {QStringLiteral("VQ2"), QStringLiteral("DIGITAL PANEL METER"), QColor(232, 140, 40)};
    case PanelKind::TwoValues:
        return {QStringLiteral("ZRP"), QStringLiteral("POWER METER"), QColor(70, 190, 200)};
    case PanelKind::Neutral:
        break;
    }
    return {QStringLiteral("DIGITAL"), QStringLiteral("PANEL METER"), QColor(150, 170, 200)};
}

QFont pixelFont(int pixels, bool bold)
{
    QFont f = designFont(FontArial, 8, bold);
    f.setPixelSize(pixels);
    return f;
}

// The moulded front: a dark metallic bezel around a slightly darker face.
void drawFace(QPainter &p)
{
    QLinearGradient bezel(0, 0, 0, PanelHeight);
    bezel.setColorAt(0, QColor(96, 100, 108));
    bezel.setColorAt(0.5, QColor(62, 66, 72));
    bezel.setColorAt(1, QColor(40, 43, 48));
    p.setPen(QPen(QColor(16, 17, 19), 1));
    p.setBrush(bezel);
    p.drawRoundedRect(QRectF(0.5, 0.5, PanelWidth - 1, PanelHeight - 1), 6, 6);

    QLinearGradient face(0, 3, 0, PanelHeight - 3);
    face.setColorAt(0, QColor(58, 62, 69));
    face.setColorAt(1, QColor(34, 37, 42));
    p.setPen(Qt::NoPen);
    p.setBrush(face);
    p.drawRoundedRect(QRectF(2.5, 2.5, PanelWidth - 5, PanelHeight - 5), 4, 4);

    // Light catches the upper edge of the bezel.
    p.setPen(QPen(QColor(150, 155, 163, 160), 1));
    p.drawLine(QPointF(7, 1.5), QPointF(PanelWidth - 7, 1.5));
}

// A recessed smoked-glass window: dark shadow at the top and left, a lit
// edge at the bottom and right, a faint reflection across the top.
void drawGlass(QPainter &p, const QRect &r)
{
    p.fillRect(r, QColor(12, 13, 15));
    p.setPen(QColor(6, 6, 7));
    p.drawLine(r.topLeft() - QPoint(1, 1), r.topRight() + QPoint(1, -1));
    p.drawLine(r.topLeft() - QPoint(1, 1), r.bottomLeft() + QPoint(-1, 1));
    p.setPen(QColor(118, 123, 131));
    p.drawLine(r.bottomLeft() + QPoint(-1, 1), r.bottomRight() + QPoint(1, 1));
    p.drawLine(r.topRight() + QPoint(1, -1), r.bottomRight() + QPoint(1, 1));

    QLinearGradient shine(r.left(), r.top(), r.left() + r.width() / 3, r.bottom());
    shine.setColorAt(0, QColor(255, 255, 255, 22));
    shine.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillRect(r, shine);
}

// One unlit seven-segment cell with its decimal point; the value labels
// cover the field, so these show only around an empty reading.
void drawCell(QPainter &p, const QRectF &c, const QColor &colour)
{
    const qreal t = c.height() * 0.13;
    const qreal g = t * 0.18;
    auto horizontal = [&](qreal y, qreal x1, qreal x2) {
        const qreal h = t / 2;
        p.drawPolygon(QPolygonF({{x1 + g, y},
                                 {x1 + h + g, y - h},
                                 {x2 - h - g, y - h},
                                 {x2 - g, y},
                                 {x2 - h - g, y + h},
                                 {x1 + h + g, y + h}}));
    };
    auto vertical = [&](qreal x, qreal y1, qreal y2) {
        const qreal h = t / 2;
        p.drawPolygon(QPolygonF({{x, y1 + g},
                                 {x + h, y1 + h + g},
                                 {x + h, y2 - h - g},
                                 {x, y2 - g},
                                 {x - h, y2 - h - g},
                                 {x - h, y1 + h + g}}));
    };
    const qreal l = c.left() + t / 2, r = c.right() - t / 2;
    const qreal top = c.top() + t / 2, mid = c.center().y(), bottom = c.bottom() - t / 2;
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    horizontal(top, l, r);
    horizontal(mid, l, r);
    horizontal(bottom, l, r);
    vertical(l, top, mid);
    vertical(r, top, mid);
    vertical(l, mid, bottom);
    vertical(r, mid, bottom);
    p.drawEllipse(QPointF(c.right() + t * 1.1, bottom), t * 0.55, t * 0.55);
}

// A display field: black, framed by a thin line, with unlit digits.
void drawField(QPainter &p, const QRect &field, int cells)
{
    const QRect frame = field.adjusted(-1, -1, 1, 1);
    p.fillRect(frame, QColor(44, 47, 52));
    p.fillRect(field, Qt::black);

    const qreal h = field.height() * 0.7;
    const qreal w = h * 0.5;
    const qreal gap = w * 0.42;
    const qreal total = cells * w + (cells - 1) * gap;
    const qreal x0 = field.left() + (field.width() - total) / 2;
    const qreal y0 = field.top() + (field.height() - h) / 2;
    p.save();
    p.setClipRect(field);
    // The slight forward lean of real LED digits.
    const QPointF base(0, y0 + h);
    p.translate(base);
    p.setTransform(QTransform().shear(-0.08, 0), true);
    p.translate(-base);
    for (int i = 0; i < cells; ++i)
        drawCell(p, QRectF(x0 + i * (w + gap), y0, w, h), QColor(46, 8, 8));
    p.restore();
}

void drawLed(QPainter &p, const QPointF &centre, qreal radius, const QColor &colour, bool lit)
{
    QRadialGradient g(centre - QPointF(radius / 3, radius / 3), radius * 1.4);
    g.setColorAt(0, lit ? colour.lighter(170) : colour.darker(300));
    g.setColorAt(1, lit ? colour : colour.darker(500));
    p.setPen(QPen(QColor(10, 10, 10), 0.8));
    p.setBrush(g);
    p.drawEllipse(centre, radius, radius);
}

void drawLegend(QPainter &p, const QRectF &box, const QString &text, int pixels,
                const QColor &colour = QColor(200, 204, 210))
{
    p.setPen(colour);
    p.setFont(pixelFont(pixels, true));
    p.drawText(box, Qt::AlignCenter, text);
}

// Membrane keys in a row, left to right from the given corner.
void drawKeys(QPainter &p, QPoint at, QSize size, int spacing)
{
    for (const Key &key : Keys) {
        const QRectF r(at.x() + 0.5, at.y() + 0.5, size.width(), size.height());
        QLinearGradient g(r.topLeft(), r.bottomLeft());
        g.setColorAt(0, QColor(206, 209, 214));
        g.setColorAt(1, QColor(150, 154, 161));
        p.setPen(QPen(QColor(20, 21, 24), 1));
        p.setBrush(g);
        p.drawRoundedRect(r, 3, 3);
        drawLegend(p, r, QString::fromUtf8(key.legend), size.height() > 16 ? 9 : 8,
                   QColor(35, 37, 41));
        at.rx() += size.width() + spacing;
    }
}

void drawName(QPainter &p, const Look &look, QPoint baseline, int namePixels, int subPixels,
              bool subBelow)
{
    p.setFont(pixelFont(namePixels, true));
    p.setPen(look.accent);
    p.drawText(baseline, look.name);
    const int nameWidth = p.fontMetrics().horizontalAdvance(look.name);
    p.setFont(pixelFont(subPixels, false));
    p.setPen(QColor(190, 194, 200));
    if (subBelow)
        p.drawText(baseline + QPoint(0, subPixels + 4), look.subtitle);
    else
        p.drawText(baseline + QPoint(nameWidth + 6, 0), look.subtitle);
}

void drawSingleValue(QPainter &p, const Look &look)
{
    const QRect glass = SingleField.adjusted(-5, -4, 5, 5);
    drawGlass(p, glass);
    drawField(p, SingleField, 5);

    drawName(p, look, QPoint(18, 117), 20, 8, true);
    // Alarm and communication indicators between the name and the keys.
    const char *leds[] = {"AL1", "AL2", "COM"};
    for (int i = 0; i < 3; ++i) {
        const QPointF c(134 + 26 * i, 108);
        drawLed(p, c, 3.2, i == 2 ? QColor(60, 220, 80) : QColor(255, 40, 30), i == 2);
        drawLegend(p, QRectF(c.x() - 13, 114, 26, 10), QString::fromLatin1(leds[i]), 7);
    }
    drawKeys(p, QPoint(214, 104), QSize(28, 20), 5);
}

void drawTwoValues(QPainter &p, const Look &look)
{
    // One smoked glass over both fields, with the unit annunciators in the
    // free corner below the upper field.
    const QRect glass = (UpperField | LowerField).adjusted(-4, -4, 4, 5);
    drawGlass(p, glass);
    drawField(p, UpperField, 5);
    drawField(p, LowerField, 4);

    const char *units[2][3] = {{"V", "A", "kW"}, {"PF", "Hz", "kWh"}};
    for (int row = 0; row < 2; ++row) {
        for (int col = 0; col < 3; ++col) {
            const qreal x = 48 + 50 * col;
            const qreal y = 80 + 22 * row;
            p.setPen(Qt::NoPen);
            const bool lit = col == row; // "V" above, "Hz" below
            p.setBrush(lit ? QColor(255, 36, 24) : QColor(60, 12, 10));
            p.drawRoundedRect(QRectF(x, y - 2, 10, 4), 1.5, 1.5);
            drawLegend(p, QRectF(x + 12, y - 6, 28, 12), QString::fromLatin1(units[row][col]), 9,
                       lit ? QColor(230, 232, 236) : QColor(120, 124, 130));
        }
    }

    // Run and communication lamps on the bezel's left.
    drawLed(p, QPointF(18, 26), 3.2, QColor(60, 220, 80), true);
    drawLegend(p, QRectF(2, 31, 32, 10), QStringLiteral("RUN"), 7);
    drawLed(p, QPointF(18, 60), 3.2, QColor(255, 170, 30), false);
    drawLegend(p, QRectF(2, 65, 32, 10), QStringLiteral("COM"), 7);
    drawLed(p, QPointF(18, 94), 3.2, QColor(255, 40, 30), false);
    drawLegend(p, QRectF(2, 99, 32, 10), QStringLiteral("ALM"), 7);

    drawName(p, look, QPoint(12, 137), 14, 8, false);
    drawKeys(p, QPoint(206, 125), QSize(34, 14), 5);
}

} // namespace

QList<QRect> panelDisplayFields(PanelKind kind)
{
    QList<QRect> fields;
    for (int item = 0; item < fieldCount(kind); ++item)
        fields << panelField(kind, item).rect;
    return fields;
}

QString panelName(PanelKind kind)
{
    return lookOf(kind).name;
}

QImage drawMeterPanel(PanelKind kind)
{
    QImage image(PanelWidth, PanelHeight, QImage::Format_RGB32);
    // The corners outside the rounded bezel take the display window's colour.
    image.fill(displaytable::Background);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    drawFace(p);
    const Look look = lookOf(kind);
    if (kind == PanelKind::SingleValue)
        drawSingleValue(p, look);
    else
        drawTwoValues(p, look);
    return image;
}

} // namespace kelmar
