#pragma once

#include "exactdecimal.h"
#include "valueformat.h"

#include <QByteArray>
#include <optional>

namespace kelmar {

// A value decoded from its registers: the number as displayed, or nothing
// when the registers hold no valid value (a float that is NaN or infinite,
// or one too large for 64 bits at its decimals).
struct DecodedValue
{
    std::optional<ExactDecimal> value;
    bool valid() const { return value.has_value(); }
};

// The register data of a reply (two bytes a register, as on the wire) as
// `format` describes it. Integers are exact over all 64 bits and divided by
// 10^places; floats are rounded half away from zero to `places` digits from
// their shortest decimal form, so that a meter's 230.45 (230.449997 as a
// float) shows 230.5 with one decimal. `places` is the format's decimals or
// the slot's. Missing bytes count as zero.
DecodedValue decodeValue(const ValueFormat &format, const QByteArray &registers, int places);

} // namespace kelmar
