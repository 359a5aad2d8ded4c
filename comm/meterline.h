#pragma once

#include "serialport.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

namespace kelmar {

// The meter line, owned end to end: the operator's connect and disconnect
// with the chosen port number and settings, the reopen after a loss, the
// periodic close-and-reopen that lets a hung line driver recover, and the
// state the windows show. Nothing else opens, closes or reconfigures a port.
//
// The transport behind the line is made at every connect by the factory,
// keyed by port number, so a network gateway is one more factory entry.
// The transaction layer talks to port(), which stays the same object for the
// line's lifetime and passes everything on to the current transport.
class MeterLine : public QObject
{
    Q_OBJECT
public:
    enum class State {
        Closed,  // not connected, or the connect failed
        Opening, // a transport that connects in the background is on its way
        Open,
        Lost, // the transport went away under a connection; reopened at each tick
    };
    Q_ENUM(State)

    using TransportFactory = std::function<std::shared_ptr<SerialPort>(int portNumber)>;

    // The system's serial ports, devices looked up through programDir.
    static TransportFactory systemPorts(const QString &programDir);

    explicit MeterLine(TransportFactory factory, QObject *parent = nullptr);
    ~MeterLine() override;

    // The operator's connect: any earlier transport is closed and a new one
    // built for that port number and opened with the settings ("9600,N,8,1").
    // Returns the state reached: Open, Opening, or Closed when it failed.
    State connectLine(int portNumber, const QString &settings);
    // The operator's disconnect: closed, and no more reopening.
    void disconnectLine();

    // At the start of every polling tick: a lost line is tried again, never
    // waiting for it. Returns false while the periodic reopen pauses: the
    // tick has no line to talk on and is skipped.
    bool tick();
    // At the end of every polling tick: after ReopenEveryTicks of them an
    // open line is closed and, after a short pause, opened again.
    void tickEnded();
    // The count towards the periodic reopen starts again (the start button).
    void restartTickCount() { m_ticks = 0; }
    // True from the periodic close to the reopen after its pause.
    bool reopening() const { return m_pause.isActive(); }

    State state() const { return m_state; }
    bool isOpen() const { return m_state == State::Open; }
    // True from a connect that did not fail to the disconnect: the operator
    // wants the line, also while it is lost.
    bool isConnected() const { return m_state != State::Closed; }
    // The port number and settings of the last connect.
    int portNumber() const { return m_portNumber; }
    QString settings() const { return m_settings; }
    // "COM1" as the operator chose it, with its gateway when the port is
    // mapped to one: "COM1 (192.0.2.7:502)".
    QString portDescription() const;
    // Why the last connect's port mapping was refused; empty when it was not.
    QString problem() const { return m_problem; }

    // What the transaction layer reads and writes through.
    SerialPort &port();

    // Polling ticks counted towards the periodic reopen.
    static constexpr int ReopenEveryTicks = 3600;
    static constexpr int ReopenPauseMs = 101;
    int ticksSinceReopen() const { return m_ticks; }

signals:
    void stateChanged(kelmar::MeterLine::State state);

private:
    class Port;

    void setState(State s);
    bool openTransport();
    void closeTransport();
    void onOpened();
    void onLost();
    void reopenAfterPause();

    TransportFactory m_factory;
    std::shared_ptr<SerialPort> m_transport;
    std::unique_ptr<Port> m_port;
    State m_state = State::Closed;
    int m_portNumber = 0;
    QString m_settings;
    QString m_target;
    QString m_problem;
    int m_ticks = 0;
    QTimer m_pause;
};

} // namespace kelmar
