#pragma once

#include <QFont>
#include <QString>

namespace kelmar {

// The faces the windows are laid out for. Where they are missing (most
// machines outside a Traditional Chinese desktop) the substitutes set up by
// installFontSubstitutions() are used.
inline const QString FontKai = QStringLiteral("標楷體");    // regular script, titles
inline const QString FontMing = QStringLiteral("新細明體"); // Ming, buttons
inline const QString FontArial = QStringLiteral("Arial");

// Maps the design faces to installed ones (AR PL UKai TW, AR PL UMing TW,
// Liberation Sans). Call once before the first window is made.
void installFontSubstitutions();

// A font of the given face and point size (fractions allowed, 14.25 pt).
QFont designFont(const QString &family, double points, bool bold = false);

} // namespace kelmar
