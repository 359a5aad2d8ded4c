#include "modbusmaster.h"

#include "modbusframe.h"
#include "serialsettings.h"

#include <QPointer>

namespace kelmar {

namespace {

constexpr qint64 NsPerMs = 1000000;

int slaveOf(const QByteArray &request)
{
    return quint8(request.at(0));
}

int countOf(const QByteArray &request)
{
    return quint8(request.at(4)) * 256 + quint8(request.at(5));
}

// The same request for another register count.
QByteArray withCount(const QByteArray &request, int count)
{
    QByteArray frame = request.left(6);
    frame[4] = char(count >> 8);
    frame[5] = char(count & 0xFF);
    return withCrc(frame);
}

// A wait in whole milliseconds that is never shorter than asked.
int msCovering(qint64 ns)
{
    return int(std::max<qint64>(0, (ns + NsPerMs - 1) / NsPerMs));
}

// Bits of one character on the line, counted in halves for 1.5 stop bits:
// start bit, data bits, parity bit if any, stop bits.
int halfBitsPerCharacter(const SerialSettings &s)
{
    int stop = 2;
    if (s.stopBits == StopBits::OneAndHalf)
        stop = 3;
    else if (s.stopBits == StopBits::Two)
        stop = 4;
    return 2 * (1 + s.dataBits) + (s.parity == Parity::None ? 0 : 2) + stop;
}

SerialSettings settingsOf(const QString &text)
{
    return parseSerialSettings(text).value_or(SerialSettings{});
}

// The time `characters` take on the line, rounded up.
qint64 wireNs(const SerialSettings &s, qint64 characters)
{
    const qint64 halfBits = characters * halfBitsPerCharacter(s);
    const qint64 perSecond = 2 * qint64(s.baud);
    return (halfBits * 1000000000 + perSecond - 1) / perSecond;
}

// 3.5 characters = 7 half characters.
qint64 gapNs(const SerialSettings &s)
{
    const qint64 halfBits = 7 * qint64(halfBitsPerCharacter(s));
    const qint64 perSecond = 4 * qint64(s.baud);
    return (halfBits * 1000000000 + perSecond - 1) / perSecond;
}

} // namespace

qint64 ModbusMaster::interFrameGapNs(const QString &settings)
{
    return gapNs(settingsOf(settings));
}

const SerialSettings &ModbusMaster::lineSettings()
{
    // No text parses as none does: the defaults m_settings starts with.
    const QString text = m_port.Settings();
    if (text != m_settingsText) {
        m_settings = settingsOf(text);
        m_settingsText = text;
    }
    return m_settings;
}

ModbusMaster::ModbusMaster(SerialPort &port, QObject *parent) : QObject(parent), m_port(port)
{
    m_clock.start();
    // Nothing has been on the line yet.
    m_lineBusyUntilNs = -1000 * NsPerMs;
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &ModbusMaster::onTimer);
    connect(&m_port, &SerialPort::readyRead, this, &ModbusMaster::onReadyRead);
}

bool ModbusMaster::MODBUS(const QString &B1, const QString &B_1, const QString &B2_1,
                          const QString &B2_2, const QString &B3_1, const QString &B3_2, Done done)
{
    if (m_state != State::Idle)
        return false;
    m_done = std::move(done);
    m_reading = buildRequest(B1, B_1, B2_1, B2_2, B3_1, B3_2);
    m_request = m_reading;
    m_scanner = ReplyScanner(m_request);

    Trust &trust = m_trust[slaveOf(m_reading)];
    if (!trust.trusted) {
        const qint64 now = m_clock.nsecsElapsed();
        for (auto i = trust.unansweredNs.begin(); i != trust.unansweredNs.end();)
            i = now - i->second >= StaleReplyHorizonMs * NsPerMs ? trust.unansweredNs.erase(i)
                                                                 : std::next(i);
        if (trust.unansweredNs.count(countOf(m_reading))) {
            m_request.clear();
            for (int count = 1; count <= MaxRegisterCount && m_request.isEmpty(); ++count)
                if (!trust.unansweredNs.count(count))
                    m_request = withCount(m_reading, count);
            if (m_request.isEmpty()) {
                // Every shape may still be answered late: nothing can prove
                // the slave now.
                m_state = State::Unsent;
                m_timer.start(0);
                return true;
            }
        }
    }
    sendWhenFree();
    return true;
}

void ModbusMaster::judged(bool answered)
{
    Trust &trust = m_trust[slaveOf(m_request)];
    if (!answered) {
        trust.trusted = false;
        trust.unansweredNs[countOf(m_request)] = m_sentNs;
        return;
    }
    if (!trust.trusted) {
        // Not one of the remembered counts (those are never sent while the
        // slave is not trusted), so no late frame can be this answer.
        trust.trusted = true;
        trust.unansweredNs.clear();
    }
}

void ModbusMaster::sendWhenFree()
{
    // Bytes that came while no request was out only mark the line as busy.
    m_discarded += take().size();
    // A gateway frames requests and replies by itself: no line of ours has
    // to fall silent, and a timer would cost a millisecond a request.
    if (!m_port.needsLineSilence()) {
        send();
        return;
    }
    // A request must follow the end of the last frame on the line by at
    // least 3.5 characters of silence, or the meters take both as one frame.
    // A line that never falls silent (noise, a chattering device) must not
    // hold the request back for ever: after one reply wait it goes anyway,
    // and the reply check sorts out what comes back.
    const qint64 freeAt = m_lineBusyUntilNs + gapNs(lineSettings());
    const qint64 now = m_clock.nsecsElapsed();
    if (m_state != State::Silence)
        m_silenceSinceNs = now;
    const bool waitedLongEnough = now - m_silenceSinceNs >= MaxSilenceWaitMs * NsPerMs;
    if (now < freeAt && !waitedLongEnough) {
        m_state = State::Silence;
        m_timer.start(msCovering(freeAt - now));
        return;
    }
    send();
}

void ModbusMaster::send()
{
    // Whatever is waiting now is left over from an earlier, late reply; read
    // as the start of this reply it would show another meter's value.
    m_discarded += take().size();
    m_port.discardInput();
    m_scanner = ReplyScanner(m_request);
    // A closed or broken port refuses the write; the wait and the empty
    // result follow all the same.
    m_port.Output(m_request);
    m_sentNs = m_clock.nsecsElapsed();
    m_lineBusyUntilNs = m_sentNs + wireNs(lineSettings(), m_request.size());
    m_state = State::WaitingForReply;
    m_timer.start(ReplyWaitMs);
}

QByteArray ModbusMaster::take()
{
    if (m_port.InBufferCount() <= 0)
        return {};
    QByteArray bytes = m_port.Input();
    if (!bytes.isEmpty())
        m_lineBusyUntilNs = m_clock.nsecsElapsed();
    return bytes;
}

void ModbusMaster::onReadyRead()
{
    const QByteArray bytes = take();
    if (m_state == State::WaitingForReply) {
        if (!bytes.isEmpty())
            search(bytes);
        return;
    }
    // Not ours to read: dropped, but the line counts as busy until now. A
    // pending silence runs on from its old end and looks again then.
    m_discarded += bytes.size();
}

bool ModbusMaster::search(const QByteArray &bytes)
{
    if (!m_scanner.feed(bytes))
        return false;
    ModbusReading reading;
    reading.check = m_scanner.check();
    if (reading.check.status == ReplyStatus::Ok) {
        judged(true);
        if (m_request != m_reading) {
            // The probe proved the slave; now the reading itself.
            m_discarded += m_scanner.discarded();
            m_request = m_reading;
            m_scanner = ReplyScanner(m_request);
            m_state = State::Silence;
            m_silenceSinceNs = m_clock.nsecsElapsed();
            sendWhenFree();
            return true;
        }
        reading.registers = m_scanner.data();
        reading.value = decodeRegisters(reading.registers);
    } else if (!m_trust[slaveOf(m_request)].trusted) {
        // Without a count it may be a late answer to anything asked
        // before: a status, never a proof.
        judged(false);
    }
    finish(reading);
    return true;
}

void ModbusMaster::onTimer()
{
    const qint64 now = m_clock.nsecsElapsed();
    switch (m_state) {
    case State::Idle:
        return;
    case State::Unsent: {
        ModbusReading unsent;
        unsent.check = ReplyCheck{ReplyStatus::NoReply};
        finish(unsent);
        return;
    }
    case State::Silence:
        sendWhenFree();
        return;
    case State::WaitingForReply:
        break;
    }
    // Timers may fire a little early; the reply gets its full time on the
    // monotonic clock.
    if (now - m_sentNs < ReplyWaitMs * NsPerMs) {
        m_timer.start(msCovering(ReplyWaitMs * NsPerMs - (now - m_sentNs)));
        return;
    }
    // Bytes whose notification has not been handled yet still count.
    if (const QByteArray bytes = take(); !bytes.isEmpty() && search(bytes))
        return; // the callback may have started the next transaction
    ModbusReading reading;
    reading.check = m_scanner.check();
    judged(false);
    finish(reading);
}

void ModbusMaster::finish(ModbusReading reading)
{
    reading.discardedBytes = m_discarded + m_scanner.discarded();
    m_discarded = 0;
    m_scanner = ReplyScanner();
    // The line is free before anyone hears of the result, so that the
    // callback may start the next transaction at once.
    m_timer.stop();
    Done done = std::move(m_done);
    m_done = nullptr;
    m_state = State::Idle;
    QPointer<ModbusMaster> alive(this);
    if (done)
        done(reading);
    if (alive)
        emit finished(reading);
}

} // namespace kelmar
