#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

namespace kelmar {

// The number conversion used by the Modbus request. A result the value cannot
// take (an overflow) comes back empty instead of wrapping around.

// The value of a hexadecimal text in either case ("ff" gives 255). A
// character that is not a hexadecimal digit adds nothing but keeps its place
// ("1G" gives 16). No result above 2147483647.
std::optional<qint32> HEX_to_DEC(const QString &Hex);

} // namespace kelmar
