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

// One Modbus read transaction at a time on a serial line: after at least
// 3.5 character times of silence on the line the request goes out, bytes are
// read as they arrive, and the transaction ends as soon as the reply frame
// for the request is whole (a normal or an exception reply), or after
// ReplyWaitMs without one. Frames for other requests and noise are skipped
// within the wait. Everything runs from the event loop: the port's readyRead
// and one single-shot timer.
class ModbusMaster : public QObject
{
    Q_OBJECT
public:
    // The longest wait for a reply.
    static constexpr int ReplyWaitMs = 200;
    // After a request got no valid reply, a request of the same shape (same
    // slave, function and register count) is held back until the failed one
    // is this old: a late reply to it would pass every check of the new one
    // and show the wrong register's value.
    static constexpr int LateReplyMs = 2 * ReplyWaitMs;
    // The longest a request waits for the line to fall silent before it.
    static constexpr int MaxSilenceWaitMs = ReplyWaitMs;

    explicit ModbusMaster(SerialPort &port, QObject *parent = nullptr);

    using Done = std::function<void(const ModbusReading &reading)>;
    // Starts one transaction. `done` is called later from the event loop (never from inside
    // this call) with the reply's status and value. Returns false, and never calls done,
    // while a transaction is running.
    bool MODBUS(const QString &B1, const QString &B_1, const QString &B2_1, const QString &B2_2,
                const QString &B3_1, const QString &B3_2, Done done);
    bool busy() const { return m_state != State::Idle; }

    // 3.5 character times at the port's baud rate and framing ("9600,N,8,1":
    // 10 bits a character), in nanoseconds; 9600,N,8,1 when the text does not
    // parse.
    static qint64 interFrameGapNs(const QString &settings);

signals:
    void finished(const kelmar::ModbusReading &reading);

private:
    enum class State { Idle, HeldBack, Silence, WaitingForReply };

    void onTimer();
    void onReadyRead();
    void sendWhenFree();
    void send();
    // Reads what the port holds; true when bytes came.
    bool take();
    // Judges the bytes received; true when the transaction has ended.
    bool search();
    void finish(const ModbusReading &reading);

    SerialPort &m_port;
    State m_state = State::Idle;
    QTimer m_timer;
    QElapsedTimer m_clock; // monotonic: the time of day never enters a wait
    qint64 m_sentNs = 0;
    qint64 m_silenceSinceNs = 0; // when the request began to wait for silence
    qint64 m_lineBusyUntilNs = 0; // the end of the last frame seen on or sent to the line
    QByteArray m_request;
    QByteArray m_received; // this transaction's bytes not yet judged
    ReplyCheck m_seen;     // the most telling of what was skipped
    Done m_done;
    // The last request that got no valid reply, and when it went out.
    QByteArray m_failedShape;
    qint64 m_failedSentNs = 0;
};

} // namespace kelmar
