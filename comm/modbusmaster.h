#pragma once

#include "modbusframe.h"
#include "serialport.h"
#include "serialsettings.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>
#include <map>
#include <optional>

namespace kelmar {

// What one transaction brought: the check of the reply and, when it passed,
// the register value (big-endian two's complement over 1 to 4 registers).
struct ModbusReading
{
    ReplyCheck check;            // Ok, or why no value came
    std::optional<qint64> value; // present exactly when check.status is Ok
    // Bytes received since the previous transaction ended that were not
    // this reply and were thrown away: noise, other slaves' frames, late or
    // corrupted replies. Not 0 means bad frames on the line, also when the
    // reply itself came.
    qint64 discardedBytes = 0;
    // The register data of the reply, two bytes a register as on the wire,
    // for a value of another type than the signed integer above.
    QByteArray registers;

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
// within the wait, in time linear in their number and keeping only a few
// frames' worth of bytes, however many come. Everything runs from the event
// loop: the port's readyRead and one single-shot timer. A transport that
// frames by itself (a network gateway) gets no wait for line silence.
//
// A reply carries no transaction number: it names only the slave, the
// function and the byte count. A reply that comes after its wait ran out is
// still on its way when the next request goes out, and a request of the same
// shape would take it for its own answer, however late it is. So each slave
// is trusted or not:
// - Trusted: every request sent to it was answered within its wait. A slave
//   answers in the order it was asked, so nothing from it is still on its
//   way, and the frame that answers the request now waiting is its reply.
// - After any transaction without a proper reply the slave is not trusted,
//   and the register count of that request is remembered as "may still be
//   answered". Until a request of a count not remembered (a shape no late
//   frame can have) is answered within its wait, the slave's readings stay
//   empty and carry the status of the last try. When the reading's own count
//   is remembered, a probe of the same start register with the smallest
//   count not remembered goes first and the reading follows it once the
//   probe is answered. An answer to a shape nothing else of the slave's can
//   have proves that every earlier answer has come (answers keep their
//   order), so the slave is trusted again and the remembered counts go.
// This holds for every delay: a frame late by any time up to
// StaleReplyHorizonMs either answers a remembered count, which is never
// taken while the slave is not trusted, or came before the proving reply and
// was dropped or skipped. A meter that always answers after its wait is never
// trusted again and shows no number. An exception reply is taken as the
// status only: it has no count, so while the slave is not trusted it proves
// nothing.
class ModbusMaster : public QObject
{
    Q_OBJECT
public:
    // The longest wait for a reply.
    static constexpr int ReplyWaitMs = 200;
    // How long an unanswered request of a slave that is not trusted may
    // still be answered. Its register count is not used again for a probe
    // within this time; when every count is in use the request is not sent
    // and ends without a reply.
    static constexpr int StaleReplyHorizonMs = 60000;
    // The largest register count one read may ask for (250 data bytes).
    static constexpr int MaxRegisterCount = 125;
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
    enum class State { Idle, Unsent, Silence, WaitingForReply };

    struct Trust
    {
        bool trusted = true;
        // Register count -> when the last request of that count went out
        // without a proper reply.
        std::map<int, qint64> unansweredNs;
    };

    void onTimer();
    void onReadyRead();
    void sendWhenFree();
    void send();
    // What the port holds; the line counts as busy until now when it is
    // not empty.
    QByteArray take();
    // Judges bytes received for the request; true when the transaction has
    // ended.
    bool search(const QByteArray &bytes);
    void finish(ModbusReading reading);
    // The outcome of the request just sent, for its slave's trust.
    void judged(bool answered);
    // The port's settings, parsed again only when their text changes.
    const SerialSettings &lineSettings();

    SerialPort &m_port;
    State m_state = State::Idle;
    QTimer m_timer;
    QElapsedTimer m_clock; // monotonic: the time of day never enters a wait
    qint64 m_sentNs = 0;
    qint64 m_silenceSinceNs = 0;  // when the request began to wait for silence
    qint64 m_lineBusyUntilNs = 0; // the end of the last frame seen on or sent to the line
    QByteArray m_request;         // what is on the line now: the reading or its probe
    QByteArray m_reading;         // the request of the reading asked for
    ReplyScanner m_scanner;       // the bytes received for m_request
    qint64 m_discarded = 0;       // bytes thrown away before m_request went out
    Done m_done;
    std::map<int, Trust> m_trust; // by slave address
    QString m_settingsText;       // what m_settings were parsed from
    SerialSettings m_settings;
};

} // namespace kelmar
