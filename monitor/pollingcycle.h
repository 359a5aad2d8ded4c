#pragma once

#include <QObject>
#include <QString>
#include <functional>

namespace kelmar {

class Clock;

// One slot's settings as the meter setup window holds them at this moment.
struct SlotSettings
{
    bool enabled = false;
    QString id;        // slave ID, decimal
    QString register1; // four hex digits
    QString count1;
    QString register2;
    QString count2;
    QString flag; // "B" (exactly) gives a second reading
};

// One polling tick over the six slots: for each enabled slot the first
// reading, and the second when the model flag is "B", each through one
// Modbus transaction; every reading is scaled and written to its value label
// as soon as it arrives. When the last slot is done the record line (time and
// the twelve captions) is handed over in one piece.
//
// The cycle is asynchronous: tick() starts it and returns, the transactions
// run from the event loop. Slot settings and divisors are read afresh at
// every step, so an edit in the meter setup window takes effect at once.
class PollingCycle : public QObject
{
    Q_OBJECT
public:
    using Done = std::function<void(const QString &reading)>;
    struct Hooks
    {
        // Starts one transaction (slave ID, function, start high, start low,
        // count high, count low); false when it could not start.
        std::function<bool(const QString &, const QString &, const QString &, const QString &,
                           const QString &, const QString &, Done)>
            transact;
        std::function<SlotSettings(int slot)> slot;
        std::function<double(int slot)> divisor;
        std::function<void(int slot, int item, const QString &text)> writeLabel;
        std::function<QString(int slot, int item)> readLabel;
    };

    PollingCycle(Hooks hooks, Clock &clock, QObject *parent = nullptr);

    // Starts a tick; false (and nothing happens) while one is running.
    bool tick();
    bool running() const { return m_running; }

signals:
    void finished(const QString &recordLine);

private:
    void step();
    void reading(int item);
    void readingDone(int item, const QString &text);

    Hooks m_hooks;
    Clock &m_clock;
    bool m_running = false;
    int m_slot = 0; // 1 to 6 while running
};

} // namespace kelmar
