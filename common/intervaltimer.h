#pragma once

#include <QObject>
#include <QTimer>

namespace kelmar {

// An event-loop timer switched by an enabled flag and an interval, as the
// monitoring timers are set from setup.ini: an interval of 0 never fires,
// even when the timer is enabled (a plain QTimer would fire on every loop
// pass), and an interval outside 0 to 65535 ms is refused, so a bad line 6
// cannot make polling run flat out.
class IntervalTimer : public QObject
{
    Q_OBJECT
public:
    static constexpr int MaxInterval = 65535;

    explicit IntervalTimer(int intervalMs = 1000, bool enabled = false, QObject *parent = nullptr);

    bool enabled() const { return m_enabled; }
    void setEnabled(bool on);

    int interval() const { return m_interval; }
    // Returns false and keeps the old interval when the value is refused.
    bool setInterval(int ms);

    // True while ticks can actually arrive.
    bool isTicking() const { return m_timer.isActive() || m_first.isActive(); }

    // Switches the timer on with its first tick after firstMs and the period
    // counted from there, so that its ticks fall at a chosen phase (just
    // after the full second of the system clock).
    void startAfter(int firstMs);

signals:
    void timeout();

private:
    void apply();

    QTimer m_timer;
    QTimer m_first; // the first tick of startAfter()
    int m_interval;
    bool m_enabled;
};

} // namespace kelmar
