#include "modbusmaster.h"

#include "modbusframe.h"

#include <QPointer>

namespace kelmar {

namespace {

// Slave, function and register count: what a reply is checked against.
QByteArray shapeOf(const QByteArray &request)
{
    return request.left(2) + request.mid(4, 2);
}

} // namespace

ModbusMaster::ModbusMaster(SerialPort &port, QObject *parent) : QObject(parent), m_port(port)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &ModbusMaster::onTimer);
}

bool ModbusMaster::MODBUS(const QString &B1, const QString &B_1, const QString &B2_1,
                          const QString &B2_2, const QString &B3_1, const QString &B3_2, Done done)
{
    if (m_state != State::Idle)
        return false;
    m_done = std::move(done);
    m_request = buildRequest(B1, B_1, B2_1, B2_2, B3_1, B3_2);

    const qint64 sinceFailed =
        m_failedSent.isValid() ? m_failedSent.nsecsElapsed() / 1000000 : qint64(LateReplyMs);
    if (shapeOf(m_request) == m_failedShape && sinceFailed < LateReplyMs) {
        m_state = State::HeldBack;
        m_timer.start(int(LateReplyMs - sinceFailed));
    } else {
        send();
    }
    return true;
}

void ModbusMaster::send()
{
    // Whatever is waiting now is left over from an earlier, late reply; read
    // as the start of this reply it would show another meter's value.
    m_port.discardInput();
    // A closed or broken port refuses the write; the wait and the empty
    // result follow all the same, so every transaction takes its full time.
    m_port.Output(m_request);
    m_sent.start();
    m_state = State::WaitingForReply;
    m_timer.start(ReplyWaitMs);
}

void ModbusMaster::onTimer()
{
    if (m_state == State::HeldBack) {
        if (m_failedSent.nsecsElapsed() / 1000000 < LateReplyMs) {
            m_timer.start(int(LateReplyMs - m_failedSent.nsecsElapsed() / 1000000));
            return;
        }
        send();
        return;
    }
    // Timers may fire a little early; the reply gets its full time on the
    // monotonic clock before the one look at the line.
    const qint64 elapsedMs = m_sent.nsecsElapsed() / 1000000;
    if (elapsedMs < ReplyWaitMs) {
        m_timer.start(int(ReplyWaitMs - elapsedMs));
        return;
    }
    const int count = m_port.InBufferCount();
    const QByteArray reply = count > 0 ? m_port.Input() : QByteArray();
    ModbusReading reading;
    reading.check = checkReply(m_request, reply);
    if (reading.check.status == ReplyStatus::Ok)
        reading.value = replyReading(m_request, reply).toLongLong();
    if (reading.check.status == ReplyStatus::Ok) {
        m_failedShape.clear();
    } else {
        m_failedShape = shapeOf(m_request);
        m_failedSent = m_sent;
    }
    finish(reading);
}

void ModbusMaster::finish(const ModbusReading &reading)
{
    // The line is free before anyone hears of the result, so that the
    // callback may start the next transaction at once.
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
