#pragma once

#include "counts.h"
#include "decimals.h"
#include "valueformat.h"

#include <QString>
#include <array>
#include <optional>

namespace kelmar {

// One meter slot as the operator set it up in the meter setup window; kept
// in meters.ini between starts.
struct MeterSlot
{
    bool enabled = false;         // MSCKk: the slot is polled
    std::optional<int> slaveId;   // MSk item 0: chosen from the ID list
    std::optional<int> decimals;  // MSk item 1: chosen decimal places
    // MSk items 2 to 6: the chosen model's row of the meter table, as it
    // stands there (four hexadecimal digits each; "A" or "B").
    QString register1;
    QString count1;
    QString register2;
    QString count2;
    QString flag;
    QString title; // Textk: shown above the slot's picture
    // A models.ini model: what each value is (register1 ... count2 then
    // name the same registers). None for a meter.txt model.
    std::array<std::optional<ValueFormat>, ItemsPerSlot> values;

    // Only a model flagged "B" (exactly) has a second reading.
    bool hasSecondValue() const { return flag == QStringLiteral("B"); }
    // The decimal places the readings are shown with.
    Decimals decimalPlaces() const { return Decimals::fromChoice(decimals); }
    // The places value `item` is shown with: the model's own, else the slot's.
    int placesOf(int item) const
    {
        const std::optional<ValueFormat> &v = values[item];
        return v && v->decimals ? *v->decimals : decimalPlaces().places;
    }
};

} // namespace kelmar
