#pragma once

#include <QObject>
#include <QTimer>

namespace kelmar {

// An event-loop timer with the enabled/interval pair of the window toolkit
// the program was designed for: an interval of 0 never fires, even when the
// timer is enabled (a plain QTimer would fire on every loop pass), and an
// interval the timer cannot take (negative, above 65535) is refused.
class VbTimer : public QObject
{
    Q_OBJECT
public:
    static constexpr int MaxInterval = 65535;

    explicit VbTimer(int intervalMs = 1000, bool enabled = false, QObject *parent = nullptr);

    bool enabled() const { return m_enabled; }
    void setEnabled(bool on);

    int interval() const { return m_interval; }
    // Returns false and keeps the old interval when the value is refused.
    bool setInterval(int ms);

    // True while ticks can actually arrive.
    bool isTicking() const { return m_timer.isActive(); }

signals:
    void timeout();

private:
    void apply();

    QTimer m_timer;
    int m_interval;
    bool m_enabled;
};

} // namespace kelmar
