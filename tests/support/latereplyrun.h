#pragma once

#include "modbusmaster.h"

#include <QStringList>

namespace kelmar::test {

// Two-value meters on slave 1 whose every value names its register: value
// `v` of meter `m` is in registers 4m + 2v and 4m + 2v + 1 and holds
// 70000 + that address, so a reading of any other register shows as wrong.
QStringList namedMeterArgs(int meters, int lateMs);

struct LateReplyCount
{
    int good = 0;  // the value of the register asked for
    int wrong = 0; // any other number
    int empty = 0; // no number (also the second value, skipped after a failure)
};

// Polls the meters as the polling cycle does, one tick every pollMs for
// `ticks` ticks: value 0, then value 1 unless value 0 failed.
LateReplyCount pollNamedMeters(ModbusMaster &master, int meters, int pollMs, int ticks);

} // namespace kelmar::test
