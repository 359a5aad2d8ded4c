#pragma once

#include "modbusframe.h"
#include "serialport.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>
#include <optional>

namespace kelmar {

// What one transaction brought: the check of the reply and, when it passed,
// the register value (big-endian two's complement over 1 to 4 registers).
struct ModbusReading
{
    ReplyCheck check;            // Ok, or why no value came
    std::optional<qint64> value; // present exactly when check.status is Ok

    bool ok() const { return value.has_value(); }
    // The reading text: decimal digits, "-" first when negative, "" without
    // a value.
    QString text() const { return value ? QString::number(*value) : QString(); }
};

// One Modbus read transaction at a time on a serial line: the request goes
// out, the line is left alone for ReplyWaitMs while the event loop runs, then
// the receive count is looked at once and what arrived is read once, checked
// against the request and decoded.
class ModbusMaster : public QObject
{
    Q_OBJECT
public:
    static constexpr int ReplyWaitMs = 200;
    // After a request got no valid reply, a request of the same shape (same
    // slave, function and register count) is held back until the failed one
    // is this old: a late reply to it would pass every check of the new one
    // and show the wrong register's value.
    static constexpr int LateReplyMs = 2 * ReplyWaitMs;

    explicit ModbusMaster(SerialPort &port, QObject *parent = nullptr);

    using Done = std::function<void(const ModbusReading &reading)>;
    // Starts one transaction. `done` is called later from the event loop (never from inside
    // this call) with the reply's status and value. Returns false, and never calls done,
    // while a transaction is running.
    bool MODBUS(const QString &B1, const QString &B_1, const QString &B2_1, const QString &B2_2,
                const QString &B3_1, const QString &B3_2, Done done);
    bool busy() const { return m_state != State::Idle; }

signals:
    void finished(const kelmar::ModbusReading &reading);

private:
    enum class State { Idle, HeldBack, WaitingForReply };

    void onTimer();
    void send();
    void finish(const ModbusReading &reading);

    SerialPort &m_port;
    State m_state = State::Idle;
    QTimer m_timer;
    QElapsedTimer m_sent; // monotonic: the time of day never enters a wait
    QByteArray m_request;
    Done m_done;
    // The last request that got no valid reply, and when it went out.
    QByteArray m_failedShape;
    QElapsedTimer m_failedSent;
};

} // namespace kelmar
