#include "intervaltimer.h"

#include <algorithm>

namespace kelmar {

IntervalTimer::IntervalTimer(int intervalMs, bool enabled, QObject *parent)
    : QObject(parent), m_interval(1000), m_enabled(enabled)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &IntervalTimer::timeout);
    m_first.setTimerType(Qt::PreciseTimer);
    m_first.setSingleShot(true);
    connect(&m_first, &QTimer::timeout, this, [this] {
        m_timer.setInterval(m_interval);
        m_timer.start();
        emit timeout();
    });
    setInterval(intervalMs);
    apply();
}

void IntervalTimer::setEnabled(bool on)
{
    m_enabled = on;
    apply();
}

bool IntervalTimer::setInterval(int ms)
{
    if (ms < 0 || ms > MaxInterval)
        return false;
    m_interval = ms;
    apply();
    return true;
}

void IntervalTimer::apply()
{
    // Re-enabling restarts the period, as switching the timer on again does.
    m_timer.stop();
    m_first.stop();
    if (m_enabled && m_interval > 0) {
        m_timer.setInterval(m_interval);
        m_timer.start();
    }
}

void IntervalTimer::startAfter(int firstMs)
{
    m_enabled = true;
    apply();
    if (m_interval > 0) {
        m_timer.stop();
        m_first.start(std::max(0, firstMs));
    }
}

} // namespace kelmar
