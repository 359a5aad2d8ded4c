#pragma once

#include <QDateTime>

namespace kelmar {

// The one source of local date and time. Windows and routines take it by
// pointer so that tests can stand at 10:59:59 or at midnight.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;

    // The clock of the running program.
    static Clock &system();
};

class SystemClock : public Clock
{
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

// A clock that stands still until it is set or advanced.
class ManualClock : public Clock
{
public:
    explicit ManualClock(const QDateTime &t = QDateTime(QDate(2025, 3, 6), QTime(14, 5, 0)))
        : m_now(t)
    {
    }
    QDateTime now() const override { return m_now; }
    void set(const QDateTime &t) { m_now = t; }
    void advanceSeconds(qint64 s) { m_now = m_now.addSecs(s); }
    void advanceMs(qint64 ms) { m_now = m_now.addMSecs(ms); }

private:
    QDateTime m_now;
};

} // namespace kelmar
