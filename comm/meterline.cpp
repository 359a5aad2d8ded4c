#include "meterline.h"

#include "comportmap.h"
#include "systemserialport.h"
#include "transport.h"

namespace kelmar {

// The face the transaction layer sees: reads and writes go to the current
// transport; opening, closing and settings belong to the line and are
// refused here.
class MeterLine::Port : public SerialPort
{
public:
    explicit Port(MeterLine &line) : m_line(line) {}

    bool setPortOpen(bool) override { return false; }
    bool PortOpen() const override { return t() && t()->PortOpen(); }
    bool setCommPort(int) override { return false; }
    int CommPort() const override { return m_line.m_portNumber; }
    bool setSettings(const QString &) override { return false; }
    QString Settings() const override { return t() ? t()->Settings() : m_line.m_settings; }
    bool Output(const QByteArray &bytes) override { return t() && t()->Output(bytes); }
    int InBufferCount() override { return t() ? t()->InBufferCount() : -1; }
    QByteArray Input() override { return t() ? t()->Input() : QByteArray(); }
    void discardInput() override
    {
        if (t())
            t()->discardInput();
    }
    bool needsLineSilence() const override { return !t() || t()->needsLineSilence(); }
    void announceReadyRead() { emit readyRead(); }

private:
    SerialPort *t() const { return m_line.m_transport.get(); }
    MeterLine &m_line;
};

MeterLine::TransportFactory MeterLine::systemPorts(const QString &programDir)
{
    return [programDir](int number) -> std::shared_ptr<SerialPort> {
        // A mapping to a gateway, or a refused mapping, has its own transport.
        if (std::unique_ptr<SerialPort> other = makeTransport(portTarget(number, programDir)))
            return std::shared_ptr<SerialPort>(std::move(other));
        return std::make_shared<SystemSerialPort>(programDir);
    };
}

MeterLine::MeterLine(TransportFactory factory, QObject *parent)
    : QObject(parent), m_factory(std::move(factory)), m_port(std::make_unique<Port>(*this))
{
    m_pause.setSingleShot(true);
    // A coarse timer may end the pause early; the driver needs all of it.
    m_pause.setTimerType(Qt::PreciseTimer);
    m_pause.setInterval(ReopenPauseMs);
    connect(&m_pause, &QTimer::timeout, this, &MeterLine::reopenAfterPause);
}

MeterLine::~MeterLine()
{
    closeTransport();
}

SerialPort &MeterLine::port()
{
    return *m_port;
}

QString MeterLine::portDescription() const
{
    return m_target.isEmpty() ? QStringLiteral("COM%1").arg(m_portNumber)
                              : QStringLiteral("COM%1 (%2)").arg(m_portNumber).arg(m_target);
}

void MeterLine::setState(State s)
{
    if (m_state == s)
        return;
    m_state = s;
    emit stateChanged(s);
}

void MeterLine::closeTransport()
{
    m_pause.stop();
    if (!m_transport)
        return;
    m_transport->disconnect(this);
    m_transport->setPortOpen(false);
    m_transport.reset();
}

MeterLine::State MeterLine::connectLine(int portNumber, const QString &settings)
{
    closeTransport();
    m_portNumber = portNumber;
    m_settings = settings;
    m_ticks = 0;
    std::shared_ptr<SerialPort> made = m_factory ? m_factory(portNumber) : nullptr;
    // Kept past a failed connect: the notice must still name what was refused.
    m_target = made ? transportTarget(*made) : QString();
    m_problem = made ? transportProblem(*made) : QString();
    // A number the transport refuses (none chosen) must not leave it opening
    // the port of an earlier connect.
    if (!made || !made->setCommPort(portNumber)) {
        setState(State::Closed);
        return m_state;
    }
    made->setSettings(settings);
    m_transport = std::move(made);
    connect(m_transport.get(), &SerialPort::readyRead, m_port.get(), &Port::announceReadyRead);
    connect(m_transport.get(), &SerialPort::opened, this, &MeterLine::onOpened);
    connect(m_transport.get(), &SerialPort::portLost, this, &MeterLine::onLost);
    if (!m_transport->setPortOpen(true)) {
        closeTransport();
        setState(State::Closed);
        return m_state;
    }
    setState(m_transport->PortOpen() ? State::Open : State::Opening);
    return m_state;
}

void MeterLine::disconnectLine()
{
    closeTransport();
    m_ticks = 0;
    setState(State::Closed);
}

bool MeterLine::openTransport()
{
    // The same transport, opened again as the last connect left it.
    m_transport->setSettings(m_settings);
    if (!m_transport->setPortOpen(true))
        return false;
    if (m_transport->PortOpen())
        setState(State::Open);
    // else the transport reports opened() or portLost() later
    return true;
}

void MeterLine::onOpened()
{
    if (m_state == State::Opening || m_state == State::Lost)
        setState(State::Open);
}

void MeterLine::onLost()
{
    // A connect that never came through is a failed connect; a line that was
    // there is reopened at the next ticks.
    if (m_state == State::Opening) {
        closeTransport();
        setState(State::Closed);
        return;
    }
    if (m_state == State::Open)
        setState(State::Lost);
}

bool MeterLine::tick()
{
    if (m_pause.isActive())
        return false;
    if (m_state == State::Lost && !m_transport->PortOpen())
        openTransport();
    return true;
}

void MeterLine::tickEnded()
{
    if (m_state != State::Open || ++m_ticks < ReopenEveryTicks)
        return;
    m_ticks = 0;
    m_transport->setPortOpen(false);
    m_pause.start();
}

void MeterLine::reopenAfterPause()
{
    // A port that does not open again is a lost line: the next ticks keep
    // trying, and the operator is told.
    if (!m_transport || !openTransport())
        setState(State::Lost);
}

} // namespace kelmar
