#pragma once

#include "counts.h"
#include "meterslot.h"
#include "modbusmaster.h"

#include <QObject>
#include <QString>
#include <array>
#include <functional>
#include <set>

namespace kelmar {

class Clock;

// One polling tick over the slots: for each enabled slot the first
// reading, and the second when the model has one, each through one Modbus
// transaction; every reading is scaled and shown as soon as it arrives.
// When the last slot is done, every value that was not read in this tick is
// emptied, and the record line (time and the twelve values) is handed over
// in one piece.
//
// After a transaction with a slave fails, that slave gets no further request
// in the same tick: a late reply to the failed request would otherwise pass
// every check of the next one and show another register's value.
//
// The cycle is asynchronous: tick() starts it and returns, the transactions
// run from the event loop. Slot settings and divisors are read through the
// hooks at every step.
class PollingCycle : public QObject
{
    Q_OBJECT
public:
    using Done = ModbusMaster::Done;
    struct Hooks
    {
        // Starts one transaction (slave ID, function, start high, start low,
        // count high, count low); false when it could not start.
        std::function<bool(const QString &, const QString &, const QString &, const QString &,
                           const QString &, const QString &, Done)>
            transact;
        std::function<MeterSlot(int slot)> slot;
        std::function<double(int slot)> divisor;
        std::function<void(int slot, int item, const QString &text)> writeLabel;
        std::function<QString(int slot, int item)> readLabel;
        // Told of every transaction's outcome (optional); a request that was
        // not sent because its slave failed earlier in the tick is no
        // transaction.
        std::function<void(int slot, int item, const ModbusReading &)> transactionDone;
    };

    PollingCycle(Hooks hooks, Clock &clock, QObject *parent = nullptr);

    // Starts a tick; false (and nothing happens) while one is running.
    bool tick();
    bool running() const { return m_running; }
    // The running tick no longer counts (Exit): it reads to its end, so the
    // line sees whole ticks only, but shows nothing, counts nothing and ends
    // without finished().
    void abandon() { m_abandoned = m_running; }

    // The slave ID as the request carries it: the decimal text of the
    // chosen ID, empty (slave 0) when none was chosen.
    static QString slaveText(const MeterSlot &slot);

signals:
    void finished(const QString &recordLine);
    // Slot k's readings of this tick are over and shown.
    void slotRead(int k);

private:
    void step();
    void reading(int item);
    void readingDone(int item, const ModbusReading &r);
    void finishTick();

    Hooks m_hooks;
    Clock &m_clock;
    bool m_running = false;
    bool m_abandoned = false;
    int m_slot = 0; // 1 to SlotCount while running
    std::array<std::array<bool, ItemsPerSlot>, SlotCount> m_read{};
    std::set<QString> m_failedSlaves; // this tick's
};

} // namespace kelmar
