#pragma once

#include "comportmap.h"
#include "serialport.h"

#include <QTcpSocket>
#include <QTimer>

namespace kelmar {

// A meter line behind an Ethernet gateway, seen through the SerialPort
// interface so that the master's RTU transactions run unchanged.
//
// RTU over TCP passes the bytes through as they are. Modbus TCP translates:
// each RTU request written becomes an MBAP frame with a new transaction
// identifier, and the reply carrying that identifier is handed back as an
// RTU frame with a freshly computed CRC. A reply with any other identifier
// (a late one) is dropped; unit and function are checked by the master
// against its request, as on a serial line.
//
// Opening connects in the background: setPortOpen(true) returns at once,
// then opened() or, on refusal or after ConnectTimeoutMs, portLost(). A
// connection that drops is portLost() too.
class NetworkPort : public SerialPort
{
    Q_OBJECT
public:
    static constexpr int ConnectTimeoutMs = 3000;
    // A gateway has no line of ours to fall silent (needsLineSilence() is
    // false); the framing reported is the fastest the master knows. The
    // operator's baud rate and framing are not used: the gateway's serial
    // side has its own.
    static constexpr const char *NetworkFraming = "9999999,N,8,1";
    // The most the socket holds for us, and so the most one readyRead hands
    // over: a gateway flooding stray bytes is held back by TCP rather than
    // by the event loop.
    static constexpr int ReadChunkBytes = 64 * 1024;

    explicit NetworkPort(const PortTarget &target, QObject *parent = nullptr);
    ~NetworkPort() override;

    bool setPortOpen(bool open) override;
    bool PortOpen() const override { return m_state == State::Open; }
    bool setCommPort(int number) override;
    int CommPort() const override { return m_commPort; }
    bool setSettings(const QString &settings) override;
    QString Settings() const override;
    bool Output(const QByteArray &bytes) override;
    int InBufferCount() override;
    QByteArray Input() override;
    void discardInput() override;
    bool needsLineSilence() const override { return false; }

    const PortTarget &target() const { return m_target; }
    // Whether the connection is being made.
    bool connecting() const { return m_state == State::Connecting; }
    // Modbus TCP replies dropped for an old transaction identifier, and
    // streams dropped for a broken header, since the port was made.
    int lateReplies() const { return m_lateReplies; }
    int brokenFrames() const { return m_brokenFrames; }

private:
    enum class State { Closed, Connecting, Open };

    void onConnected();
    void onFailure();
    void onSocketData();
    void takeTcpFrames();
    void close();

    PortTarget m_target;
    State m_state = State::Closed;
    QTcpSocket *m_socket = nullptr;
    QTimer m_connectTimer;
    int m_commPort = 1;
    QByteArray m_in;     // RTU bytes for the master
    QByteArray m_stream; // Modbus TCP bytes not yet a whole frame
    quint16 m_transaction = 0;
    bool m_awaiting = false; // a reply to m_transaction is still welcome
    int m_attempt = 0; // connection attempts begun
    int m_lateReplies = 0;
    int m_brokenFrames = 0;
};

} // namespace kelmar
