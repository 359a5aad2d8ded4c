#pragma once

#include "counts.h"
#include "exactdecimal.h"
#include "meterline.h"
#include "modbusframe.h"

#include <QDateTime>
#include <QMetaType>
#include <array>
#include <optional>

namespace kelmar {

// One slot's readings of one polling tick, as numbers: what the display,
// the record line and the broker are each formatted from.
struct SlotSample
{
    int slot = 1;       // 1 ... SlotCount
    int slaveId = 0;    // the meter's address (0: none chosen)
    QDateTime time;     // when the tick that read it began
    ReplyCheck check{ReplyStatus::Ok}; // Ok, or why a value is missing
    int valueCount = 1; // 1, or 2 for a two-value model
    // Empty where no valid reading came in this tick.
    std::array<std::optional<ExactDecimal>, ItemsPerSlot> values;
    // A models.ini model's units ("" for none) and decimal places; a
    // meter.txt model has neither.
    std::array<QString, ItemsPerSlot> units;
    std::array<std::optional<int>, ItemsPerSlot> places;
};

// A whole polling tick: every slot's values as the record line holds them
// (a slot not polled has none).
struct TickSample
{
    QDateTime time;
    std::array<std::array<std::optional<ExactDecimal>, ItemsPerSlot>, SlotCount> values;
};

// A consumer of the readings (the record file, a broker, ...): handed each
// slot's sample as it is read and each tick as it ends. A new consumer is
// one class and one line where the station is put together.
class SampleSink
{
public:
    virtual ~SampleSink() = default;
    virtual void slotSampled(const SlotSample &) {}
    virtual void tickEnded(const TickSample &) {}
    // The line changed state; port is "COM1" or "COM1 (host:port)".
    virtual void lineChanged(const QString & /*port*/, MeterLine::State) {}
};

} // namespace kelmar

Q_DECLARE_METATYPE(kelmar::SlotSample)
Q_DECLARE_METATYPE(kelmar::TickSample)
