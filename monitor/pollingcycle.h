#pragma once

#include "counts.h"
#include "meterslot.h"
#include "modbusmaster.h"
#include "sample.h"

#include <QObject>
#include <QString>
#include <array>
#include <functional>
#include <optional>
#include <set>

namespace kelmar {

class Clock;

// One polling tick over the slots: for each enabled slot the first
// reading, and the second when the model has one, each through one Modbus
// transaction. Each slot's values go out as a sample as soon as the slot is
// read; when the last slot is done, the whole tick goes out, with every
// value not read in it empty.
//
// After a transaction with a slave fails, that slave gets no further request
// in the same tick: a late reply to the failed request would otherwise pass
// every check of the next one and show another register's value.
//
// A slave that did not answer its last request is silent: of the silent
// slaves at most one is asked per tick, in turn, so that meters that are
// switched off or unplugged cost the tick one reply wait, not one each, and
// never slow the healthy ones. The others keep empty fields and their status.
//
// A slot's two values that lie close together in the same kind of register
// are read in one request over both, as a poller of a register block does:
// half the transactions, half the time on the line. A meter that refuses
// that request (an exception, or no proper reply) before it ever answered
// one is read value by value for the rest of the run; after an exception
// the values are read so at once, in the same tick. A meter that had not
// answered its last request before may only have been away (not yet
// switched on): its joint request gets another try after one single one.
//
// The cycle is asynchronous: tick() starts it and returns, the transactions
// run from the event loop. Slot settings are read through the hooks at
// every step.
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
        // Told of every transaction's outcome (optional); a request that was
        // not sent because its slave failed earlier in the tick, or is
        // silent and not its turn, is no transaction.
        std::function<void(int slot, int item, const ModbusReading &)> transactionDone;
    };

    PollingCycle(Hooks hooks, Clock &clock, QObject *parent = nullptr);

    // Starts a tick; false (and nothing happens) while one is running.
    bool tick();
    bool running() const { return m_running; }
    // The running tick no longer counts (Exit): it reads to its end, so the
    // line sees whole ticks only, but reports nothing and ends without
    // finished().
    void abandon() { m_abandoned = m_running; }
    // A new run: every slave is asked again, and asked jointly again.
    void forgetSilence();

    // The widest span of registers read in one request for two values.
    static constexpr int MaxJointRegisters = 16;

    // The slave ID as the request carries it: the decimal text of the
    // chosen ID, empty (slave 0) when none was chosen.
    static QString slaveText(const MeterSlot &slot);

signals:
    // Slot k's readings of this tick are over.
    void slotRead(const kelmar::SlotSample &sample);
    void finished(const kelmar::TickSample &tick);

private:
    // One request for both values of a slot: its registers and where each
    // value lies in them.
    struct JointRead
    {
        QString function;
        int start = 0;
        int count = 0;
        std::array<int, ItemsPerSlot> offset{}; // registers from start
        std::array<int, ItemsPerSlot> counts{};
        QString key; // the slave and the layout, for what was learnt of it
    };
    static std::optional<JointRead> jointRead(const MeterSlot &slot);

    void step();
    void reading(int item);
    void readingDone(int item, const ModbusReading &r, bool sent = true);
    void jointDone(const JointRead &joint, const ModbusReading &r, bool sent);
    // The value of one item's registers as the slot's model describes it;
    // r becomes an invalid value when they hold no number.
    std::optional<ExactDecimal> decoded(const MeterSlot &slot, int item, ModbusReading &r) const;
    // A transaction's outcome, for the counters and the slave's standing.
    void account(const QString &id, int item, const ModbusReading &r, bool answered, bool sent);
    void finishTick();
    void chooseSilentTurn();

    Hooks m_hooks;
    Clock &m_clock;
    bool m_running = false;
    bool m_abandoned = false;
    int m_slot = 0; // 1 to SlotCount while running
    TickSample m_tick;
    SlotSample m_sample; // the slot being read
    std::set<QString> m_failedSlaves; // this tick's
    std::set<QString> m_silentSlaves; // across ticks: no answer to their last request
    QString m_silentTurn;             // the silent slave asked in this tick
    int m_silentCursor = 0;           // the slot whose silent slave was asked last
    std::set<QString> m_jointAnswered; // layouts a slave answered jointly, this run
    std::set<QString> m_jointRefused;  // layouts read value by value, this run
    std::set<QString> m_jointDoubted;  // of those, tried again after one single request
    std::set<QString> m_heardSlaves;   // a reply came to their last request
};

} // namespace kelmar
