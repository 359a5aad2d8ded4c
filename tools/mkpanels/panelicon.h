#pragma once

#include <QImage>
#include <QString>

namespace kelmar {

// The program's icon at size x size pixels: the two-value front panel with
// lit readings, scaled into the square on a transparent ground.
QImage drawPanelIcon(int size);

// The icon's file below an icon theme's base folder:
// "hicolor/48x48/apps/kelmar-t.png".
QString panelIconPath(int size);

} // namespace kelmar
