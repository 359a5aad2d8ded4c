#pragma once

#include "counts.h"
#include "meterslot.h"

#include <QString>
#include <QStringList>
#include <array>

namespace kelmar {

class Form3;

struct StartLayoutResult
{
    std::array<double, SlotCount> divisors = [] {
        std::array<double, SlotCount> ones;
        ones.fill(1);
        return ones;
    }();
    // Picture files that could not be loaded, for the operator's notice.
    QStringList missingPictures;
};

// Steps 1 to 4 of the start button: the display window's layout for the
// screen-size code, the slot pictures and value fields, and the divisors.
// A screen-size code other than "1" or "2" leaves the window as it is; the
// divisors are computed in any case. A picture that cannot be loaded leaves
// its slot's picture box empty and is named in the result.
// (The slots are not called "slots": that word is taken in Qt headers.)
StartLayoutResult layOutDisplay(Form3 &display, const std::array<MeterSlot, SlotCount> &meterSlots,
                                const QString &OP_D, const QString &programDir);

} // namespace kelmar
