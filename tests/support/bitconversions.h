#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

// Binary-digit conversions that check the register decode from another
// side: the reply fuzzer builds expected values through them.
namespace kelmar {

// A result the value cannot take (an overflow) comes back empty instead of
// wrapping around.

// Binary digits of n, most significant first, without leading zeros ("0" for
// zero): 5 gives "101". n is first rounded to a 32-bit integer, halves to
// even; a magnitude of 2^31 or more, infinity or NaN gives no result.
// Negative values follow the digit-by-digit rule (a "-1" remainder digit).
std::optional<QString> Ten_To_2(double n);

// The value of a binary-digit text, exact: the last character counts 1, the
// one before 2, then 4 and so on. A character that is not a digit counts 0,
// a digit above 1 counts its own value ("2" gives 2), the empty text gives 0.
// No result when the sum does not fit in 64 bits.
std::optional<quint64> B_to_10(const QString &b);

} // namespace kelmar
