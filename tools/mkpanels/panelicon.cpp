#include "panelicon.h"

#include "fonts.h"
#include "meterpanel.h"

#include <QPainter>
#include <QPainterPath>

namespace kelmar {

namespace {

// Readings as the display window shows them, red on the black value labels
// that cover the fields, so the icon looks like the running program rather
// than a switched-off meter.
const QColor Reading(255, 0, 0);
const QColor ReadingField(0, 0, 0);
const char *const Readings[] = {"230.4", "50.0"};

QImage litPanel()
{
    QImage panel =
        drawMeterPanel(PanelKind::TwoValues).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter p(&panel);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setPen(Reading);
    const QList<QRect> fields = panelDisplayFields(PanelKind::TwoValues);
    for (int i = 0; i < fields.size() && i < int(std::size(Readings)); ++i) {
        p.fillRect(fields[i], ReadingField);
        QFont f = designFont(FontArial, 8, true);
        f.setPixelSize(fields[i].height() * 4 / 5);
        p.setFont(f);
        p.drawText(fields[i].adjusted(0, 0, -6, 0), Qt::AlignRight | Qt::AlignVCenter,
                   QString::fromLatin1(Readings[i]));
    }
    return panel;
}

} // namespace

QImage drawPanelIcon(int size)
{
    static const QImage panel = litPanel();
    QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    // The right end of the panel, as square as the panel is high: both
    // readings and the keys, large enough to read at menu sizes.
    const int side = displaytable::Panel.height();
    const QImage square = panel.copy(displaytable::Panel.width() - side, 0, side, side);
    const QImage scaled = square.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath tile;
    const qreal radius = size / 8.0;
    tile.addRoundedRect(QRectF(0, 0, size, size), radius, radius);
    p.setClipPath(tile);
    p.drawImage(0, 0, scaled);
    return icon;
}

QString panelIconPath(int size)
{
    return QStringLiteral("hicolor/%1x%1/apps/kelmar-t.png").arg(size);
}

} // namespace kelmar
