#pragma once

#include <QString>
#include <optional>

namespace kelmar {

// The number at the start of a text, as the settings fields are read:
// blanks anywhere are skipped, an optional sign, digits, a decimal point,
// more digits and an exponent; reading stops at the first character that
// cannot continue the number, and a text without a number gives 0.
// "500abc" gives 500, " 2.5x" gives 2.5, "abc" gives 0.
double leadingNumber(const QString &text);

// A control character (below U+0020, or DEL) in text from a settings file:
// such a name would cut a file name or upset the display.
bool hasControlCharacter(const QString &text);

// The same, but a number too large for a double (such as "1e400") gives
// no result instead of 0, for fields where 0 means something.
std::optional<double> finiteLeadingNumber(const QString &text);

// A whole text that is a number, surrounding blanks allowed ("  3 " is 3,
// "3abc" and "" are not numbers). The decimal separator is always '.'.
std::optional<double> wholeNumber(const QString &text);

// Rounding to the nearest integer with halves to even (2.5 gives 2, 3.5
// gives 4), as numbers are turned into list positions and intervals.
// Values outside the 32-bit range give no result.
std::optional<int> roundHalfEven(double value);

} // namespace kelmar
