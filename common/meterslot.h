#pragma once

#include "counts.h"
#include "decimals.h"
#include "valueformat.h"

#include <QString>
#include <algorithm>
#include <array>
#include <cctype>
#include <optional>

namespace kelmar {

// A register address or count as a slot's fields hold it: four upper-case
// hexadecimal digits.
inline QString registerField(int n)
{
    return QStringLiteral("%1").arg(n, 4, 16, QLatin1Char('0')).toUpper();
}

// The value of a field that is four hexadecimal digits exactly; nothing for
// any other text.
inline std::optional<int> registerFieldValue(const QString &text)
{
    const auto hexDigit = [](QChar c) { return c.unicode() < 128 && std::isxdigit(c.unicode()); };
    if (text.size() != 4 || !std::all_of(text.cbegin(), text.cend(), hexDigit))
        return std::nullopt;
    return text.toInt(nullptr, 16);
}

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
