#pragma once

#include "displaygeometry.h"

#include <QImage>
#include <QList>
#include <QRect>
#include <QString>

namespace kelmar {

// The display fields of a panel, relative to its top left corner, as the
// display window's table gives them.
QList<QRect> panelDisplayFields(PanelKind kind);

// The name printed on the panel ("VQ2", "ZRP", or a neutral caption).
QString panelName(PanelKind kind);

// A picture of the panel, at the size the display window's table gives.
QImage drawMeterPanel(PanelKind kind);

} // namespace kelmar
