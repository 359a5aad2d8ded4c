#pragma once

#include "meterslot.h"

namespace kelmar::test {

// An enabled slot of slave `id` whose model reads one register at 0x0000
// and, for flag "B", a second at 0x0002: the map the simulator's meters and
// the fake port's tables use.
inline MeterSlot meterAt(int id, const QString &flag = QStringLiteral("B"), int decimals = 0)
{
    MeterSlot s;
    s.enabled = true;
    s.slaveId = id;
    s.decimals = decimals;
    s.register1 = QStringLiteral("0000");
    s.count1 = QStringLiteral("0001");
    s.register2 = QStringLiteral("0002");
    s.count2 = QStringLiteral("0001");
    s.flag = flag;
    return s;
}

} // namespace kelmar::test
