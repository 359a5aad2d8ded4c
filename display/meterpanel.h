#pragma once

#include <QImage>
#include <QList>
#include <QRect>
#include <QString>

namespace kelmar {

// Front panels of the meters, drawn in code: the built-in picture of the
// display window and the two model pictures that tools/mkpanels writes.
enum class PanelKind {
    Neutral,     // built-in picture: two display fields, no maker's name
    SingleValue, // model "A": one large display field
    TwoValues,   // model "B": a large field on top, a small one lower right
};

constexpr int PanelWidth = 366;
constexpr int PanelHeight = 143;

// The display fields of a panel, relative to its top left corner. The value
// labels of the display window are placed exactly over these.
QList<QRect> panelDisplayFields(PanelKind kind);

// The name printed on the panel ("VQ2", "ZRP", or a neutral caption).
QString panelName(PanelKind kind);

// A 366 x 143 picture of the panel.
QImage drawMeterPanel(PanelKind kind);

} // namespace kelmar
