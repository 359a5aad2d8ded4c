#include "networkport.h"

#include "modbusframe.h"

namespace kelmar {

namespace {

constexpr int MbapSize = 7; // transaction, protocol, length, unit
// Unit identifier and the longest PDU of the protocol.
constexpr int MaxMbapLength = 1 + 253;

quint16 be16(const QByteArray &b, int at)
{
    return quint16((quint8(b[at]) << 8) | quint8(b[at + 1]));
}

void appendBe16(QByteArray &b, quint16 v)
{
    b.append(char(v >> 8));
    b.append(char(v & 0xFF));
}

} // namespace

NetworkPort::NetworkPort(const PortTarget &target, QObject *parent)
    : SerialPort(parent), m_target(target)
{
    m_connectTimer.setSingleShot(true);
    m_connectTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_connectTimer, &QTimer::timeout, this, &NetworkPort::onFailure);
}

NetworkPort::~NetworkPort()
{
    close();
}

bool NetworkPort::setPortOpen(bool open)
{
    if (!open) {
        close();
        return true;
    }
    if (m_state != State::Closed)
        return true;
    if (!m_target.problem.isEmpty() || !m_target.isNetwork())
        return false;
    m_socket = new QTcpSocket(this);
    m_socket->setReadBufferSize(ReadChunkBytes);
    connect(m_socket, &QTcpSocket::connected, this, &NetworkPort::onConnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &NetworkPort::onSocketData);
    connect(m_socket, &QTcpSocket::disconnected, this, &NetworkPort::onFailure);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &NetworkPort::onFailure);
    m_state = State::Connecting;
    ++m_attempt;
    m_connectTimer.start(ConnectTimeoutMs);
    m_socket->connectToHost(m_target.host, m_target.port);
    return true;
}

void NetworkPort::onConnected()
{
    m_connectTimer.stop();
    // Requests are a few bytes each and wait for their replies: no batching.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_state = State::Open;
    emit opened();
}

void NetworkPort::onFailure()
{
    if (m_state == State::Closed)
        return;
    close();
    // From the event loop, never from inside the handler that closed the
    // socket or a call of ours; not at all when a new attempt has begun
    // meanwhile.
    const int attempt = m_attempt;
    QTimer::singleShot(0, this, [this, attempt] {
        if (attempt == m_attempt && m_state == State::Closed)
            emit portLost();
    });
}

void NetworkPort::close()
{
    m_connectTimer.stop();
    m_state = State::Closed;
    m_in.clear();
    m_stream.clear();
    m_awaiting = false;
    if (m_socket) {
        QTcpSocket *socket = m_socket;
        m_socket = nullptr;
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
}

bool NetworkPort::setCommPort(int number)
{
    if (m_state != State::Closed || number < FirstPortNumber || number > LastPortNumber)
        return false;
    m_commPort = number;
    return true;
}

bool NetworkPort::setSettings(const QString &)
{
    return true;
}

QString NetworkPort::Settings() const
{
    return QString::fromLatin1(NetworkFraming);
}

bool NetworkPort::Output(const QByteArray &bytes)
{
    if (m_state != State::Open)
        return false;
    QByteArray wire;
    if (m_target.kind == PortTarget::Kind::RtuOverTcp) {
        wire = bytes;
    } else {
        // Only a whole RTU frame can be translated: address, function, CRC.
        if (bytes.size() < 4 || crc16(bytes.left(bytes.size() - 2)) !=
                                    quint16(quint8(bytes[bytes.size() - 2]) |
                                            (quint8(bytes[bytes.size() - 1]) << 8)))
            return false;
        const QByteArray unitAndPdu = bytes.left(bytes.size() - 2);
        // A request goes out only after the last transaction ended: the
        // rest of a frame cut short would swallow the head of this reply.
        m_stream.clear();
        ++m_transaction;
        appendBe16(wire, m_transaction);
        appendBe16(wire, 0);
        appendBe16(wire, quint16(unitAndPdu.size()));
        wire += unitAndPdu;
        m_awaiting = true;
    }
    if (m_socket->write(wire) != wire.size())
        return false;
    // Out now rather than at the next pass of the event loop.
    m_socket->flush();
    return true;
}

int NetworkPort::InBufferCount()
{
    return m_state == State::Open ? int(m_in.size()) : -1;
}

QByteArray NetworkPort::Input()
{
    QByteArray bytes;
    bytes.swap(m_in);
    return bytes;
}

void NetworkPort::discardInput()
{
    m_in.clear();
    // Raw bytes the socket holds belong to an earlier reply; a Modbus TCP
    // stream keeps its partial frame, or it would lose its framing.
    if (m_target.kind == PortTarget::Kind::RtuOverTcp && m_socket)
        m_socket->readAll();
}

void NetworkPort::onSocketData()
{
    if (!m_socket)
        return;
    const QByteArray bytes = m_socket->readAll();
    if (bytes.isEmpty())
        return;
    if (m_target.kind == PortTarget::Kind::RtuOverTcp) {
        m_in += bytes;
        emit readyRead();
        return;
    }
    m_stream += bytes;
    const qsizetype before = m_in.size();
    takeTcpFrames();
    if (m_in.size() != before)
        emit readyRead();
}

void NetworkPort::takeTcpFrames()
{
    // Frames are taken by offset and the rest moved once: a stream of many
    // small frames costs time linear in its length.
    qsizetype at = 0;
    while (m_stream.size() - at >= MbapSize) {
        const quint16 transaction = be16(m_stream, at);
        const quint16 protocol = be16(m_stream, at + 2);
        const int length = be16(m_stream, at + 4);
        if (protocol != 0 || length < 2 || length > MaxMbapLength) {
            // Not a Modbus TCP frame: where the next one starts cannot be
            // told, so everything received is dropped; the master then
            // sees no reply.
            ++m_brokenFrames;
            m_stream.clear();
            return;
        }
        if (m_stream.size() - at < 6 + length)
            break;
        const QByteArray unitAndPdu = m_stream.mid(at + 6, length);
        at += 6 + length;
        if (!m_awaiting || transaction != m_transaction) {
            ++m_lateReplies;
            continue;
        }
        m_awaiting = false;
        m_in += withCrc(unitAndPdu);
    }
    m_stream.remove(0, at);
}

} // namespace kelmar
