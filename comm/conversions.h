#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

namespace kelmar {

// Number conversions used by the Modbus decode. A result the value cannot
// take (an overflow) comes back empty instead of wrapping around.

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

// The value of a hexadecimal text in either case ("ff" gives 255). A
// character that is not a hexadecimal digit adds nothing but keeps its place
// ("1G" gives 16). No result above 2147483647.
std::optional<qint32> HEX_to_DEC(const QString &Hex);

} // namespace kelmar
