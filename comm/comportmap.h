#pragma once

#include "counts.h"

#include <QString>

namespace kelmar {

// The device behind port number n (1 to 10).
// Windows: "COMn" itself.
// Elsewhere: the entry "com/comN" in the program folder when it exists (a
// link to the real device, made by the operator or by run.sh), otherwise
// /dev/ttyUSB(n-1), the usual name of a USB RS-485 adapter.
// An empty text for a number outside 1 to 10.
QString comDevicePath(int number, const QString &programDir);

} // namespace kelmar
