#pragma once

#include "displaygeometry.h"

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <optional>

// What the start button does to the display window, as plain functions over
// the window's table (displaygeometry.h: window size per screen size, the
// slot grid, the Exit button): the value fields of each model, the pictures
// and the divisors.
namespace kelmar {

// "1" and "2", compared whole and case-sensitively; anything else lays out
// nothing.
std::optional<ScreenSize> screenSizeFromCode(const QString &OP_D);

enum class SlotAction {
    Clear,    // slot off: no picture, no readings
    ModelA,   // one reading over the single display field
    ModelB,   // two readings, a large one on top and a small one lower right
    LeaveAsIs // flag neither "A" nor "B": the earlier layout stands
};

SlotAction slotAction(bool enabled, const QString &flag);

// Where value label item 0 or 1 of a slot at origin goes for a model: over
// the display field of the model's panel. Model A has no item 1.
ValueField valuePlace(SlotAction model, int item, QPoint origin);

// The picture of a model, relative to the program folder; empty for
// actions without a picture.
QString modelPicture(SlotAction model);

// A path below base whose folder and file names are matched without regard
// to letter case, as on the system the pictures were named for. An exact
// match is preferred; the result is empty when a part is not found.
QString findPathIgnoringCase(const QString &base, const QString &relative);

// The number the readings are divided by for a decimal places text:
// 0 .. 4 give 1 .. 10000, more than 4 gives 10000, any other number
// (negative, or a fraction such as 2.5) is its own divisor. A text that does
// not begin with a number reads as 0.
double meterDivisor(const QString &decimals);
// The same for decimal places chosen from a list; none chosen reads as the
// empty text.
double meterDivisor(std::optional<int> decimals);

} // namespace kelmar
