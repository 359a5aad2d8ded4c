#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

namespace kelmar {

// A reading as a number, exactly: the integer the meter sent and how many
// places the point stands from its right. Kept as integer and places, not
// as a double, so that a 64-bit counter and "12.30" reach every consumer
// digit for digit; text is made from it only where it is shown or written.
struct ExactDecimal
{
    quint64 magnitude = 0;
    bool negative = false;
    int places = 0; // 0 to 4 (or more, for a model's own decimals)

    static ExactDecimal fromInteger(qint64 value, int places)
    {
        ExactDecimal d;
        d.negative = value < 0;
        // The magnitude of the most negative value does not fit qint64.
        d.magnitude = d.negative ? quint64(0) - quint64(value) : quint64(value);
        d.places = places;
        return d;
    }
    static ExactDecimal fromUnsigned(quint64 value, int places) { return {value, false, places}; }
    // A written value read back ("-12.30", as text() makes it): for files
    // and tests. Nothing for an empty or malformed text, or more digits
    // than 64 bits hold.
    static std::optional<ExactDecimal> fromText(QStringView text);

    // "-12.30": the digits with a '.' before the last `places` of them, at
    // least one digit before it, and no sign on a zero. Never the system's
    // decimal comma.
    QString text() const;
    // For a plot or a statistic; the text is the exact value.
    double toDouble() const;

    bool operator==(const ExactDecimal &o) const
    {
        return magnitude == o.magnitude && places == o.places &&
               (negative == o.negative || magnitude == 0);
    }
    bool operator!=(const ExactDecimal &o) const { return !(*this == o); }
};

} // namespace kelmar
