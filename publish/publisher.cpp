#include "publisher.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QHostInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <csignal>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

namespace kelmar {

namespace {

constexpr int KeepAliveSeconds = 30;
constexpr int ConnectTimeoutMs = 10000;
// The library's housekeeping (keep-alive) while connected; more often while
// a connection or TLS handshake is under way.
constexpr int LoopIntervalMs = 1000;
constexpr int ConnectingLoopIntervalMs = 50;
constexpr int MaxPauseMs = 30000;
// Messages handed to the library before their acknowledgement: enough to
// keep the line busy, few enough that a reconnect resends little.
constexpr int InFlightWindow = 500;
// The most messages whose answers wait for the next tick: a tick's slots and
// their discovery configs.
constexpr size_t UnreadAnswers = 64;

// Holds small writes back until uncorked, so that they go out together.
bool corkSocket(int fd, bool on)
{
#ifdef TCP_CORK
    const int value = on ? 1 : 0;
    return fd >= 0 && setsockopt(fd, IPPROTO_TCP, TCP_CORK, &value, sizeof value) == 0;
#else
    Q_UNUSED(fd);
    Q_UNUSED(on);
    return false;
#endif
}

// Where Home Assistant looks for sensor configs of any station.
const char DiscoveryFilter[] = "homeassistant/sensor/+/+/config";

#ifdef _WIN32
using SockLen = int;
#else
using SockLen = socklen_t;
#endif

// The system's words for a socket error; on Windows the usual ones in words
// of our own, which Wine's messages lack.
QString socketErrorText(int err)
{
#ifdef _WIN32
    switch (err) {
    case WSAECONNREFUSED:
        return QStringLiteral("connection refused");
    case WSAECONNRESET:
        return QStringLiteral("connection reset");
    case WSAETIMEDOUT:
        return QStringLiteral("connection timed out");
    case WSAEHOSTUNREACH:
    case WSAENETUNREACH:
        return QStringLiteral("no route to the host");
    }
#endif
    return qt_error_string(err);
}

// The error a failed connection attempt left on the socket, 0 for none.
int pendingSocketError(int fd)
{
    int err = 0;
    SockLen len = sizeof err;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&err), &len) != 0)
        return errno;
    return err;
}

// Why a connection the broker has not answered yet is over, or "" while it
// stands (data waiting included: the library reads it).
QString closedReason(int fd)
{
    char byte;
    const auto n = recv(fd, &byte, 1, MSG_PEEK);
    if (n > 0)
        return QString();
    if (n == 0)
        return QStringLiteral("the broker closed the connection before answering");
#ifdef _WIN32
    const int err = WSAGetLastError();
    if (err == WSAEWOULDBLOCK || err == WSAEINTR)
        return QString();
#else
    const int err = errno;
    if (err == EAGAIN || err == EWOULDBLOCK || err == EINTR)
        return QString();
#endif
    return socketErrorText(err);
}

bool hasPeer(int fd)
{
    sockaddr_storage peer{};
    SockLen len = sizeof peer;
    return getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &len) == 0;
}

void initLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] {
        mosquitto_lib_init();
#ifndef _WIN32
        // A broker that goes away under a write must give an error, not end
        // the program.
        std::signal(SIGPIPE, SIG_IGN);
#endif
    });
}

QString where(const PublishConfig &c)
{
    return c.host + u':' + QString::number(c.port);
}

QString refusedText(int rc, const PublishConfig &c)
{
    if (rc == 4 || rc == 5)
        return QCoreApplication::translate(
                   "kelmar::Publisher",
                   "MQTT 代理 %1 拒絕登入，請檢查帳號密碼 "
                   "(broker %1 refused the login: check user name and password)")
            .arg(where(c));
    return QCoreApplication::translate(
               "kelmar::Publisher", "MQTT 代理 %1 拒絕連線 (broker %1 refused the connection: %2)")
        .arg(where(c), QString::fromUtf8(mosquitto_connack_string(rc)));
}

QString tlsText(const PublishConfig &c, const QString &detail)
{
    return QCoreApplication::translate("kelmar::Publisher",
                                       "MQTT 代理 %1 TLS 連線失敗 (TLS with broker %1 failed: %2)")
        .arg(where(c), detail.isEmpty() ? QStringLiteral("handshake refused") : detail);
}

QString unreachableText(const PublishConfig &c, const QString &why)
{
    return QCoreApplication::translate(
               "kelmar::Publisher",
               "無法連線到 MQTT 代理 %1，稍後重試 (cannot connect to broker %1: %2; trying again)")
        .arg(where(c), why);
}

QString lostText(const PublishConfig &c, const QString &why)
{
    return QCoreApplication::translate("kelmar::Publisher",
                                       "與 MQTT 代理 %1 的連線中斷，稍後重試 (connection to broker "
                                       "%1 lost: %2; trying again)")
        .arg(where(c), why);
}

} // namespace

Publisher::Publisher(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<BrokerState>();
    connect(&m_loopTimer, &QTimer::timeout, this, &Publisher::service);
    m_retryTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, &Publisher::connectNow);
    m_connectTimeout.setSingleShot(true);
    m_connectTimeout.setInterval(ConnectTimeoutMs);
    connect(&m_connectTimeout, &QTimer::timeout, this, [this] {
        m_failure = QStringLiteral("no answer within %1 s").arg(ConnectTimeoutMs / 1000);
        failed(MOSQ_ERR_CONN_LOST);
    });
}

Publisher::~Publisher()
{
    // A normal end: readers of the line topic learn that the line is closed
    // before the station says it is offline (a killed program leaves only
    // its will, "offline").
    if (m_mosq && m_state == BrokerState::Connected && m_lineState && *m_lineState != LineState::Closed) {
        const QByteArray topic = lineTopic(m_config.topicPrefix).toUtf8();
        const QByteArray payload = linePayload(m_linePort, LineState::Closed);
        mosquitto_publish(m_mosq, nullptr, topic.constData(), int(payload.size()), payload.constData(), 0, true);
    }
    stop(true);
}

int Publisher::reconnectPauseMs(int attempt)
{
    if (attempt < 1)
        attempt = 1;
    return attempt > 6 ? MaxPauseMs : std::min(MaxPauseMs, 1000 << (attempt - 1));
}

void Publisher::setConfig(const PublishConfig &config)
{
    if (config == m_config && (m_state != BrokerState::Off) == config.enabled)
        return;
    // A device announced under a client_id that goes (or with discovery
    // switched off) would stay in Home Assistant beside the new one: its
    // configs are emptied, now while connected, else at the next connection.
    if (m_config.discovery && (!config.discovery || config.clientId != m_config.clientId)) {
        // Nor is an old config still waiting for its answer sent again on
        // the new connection.
        const QString old = QStringLiteral("homeassistant/sensor/%1/").arg(m_config.clientId);
        const auto isOld = [&old](const PublishMessage &m) { return m.topic.startsWith(old); };
        m_queue.erase(std::remove_if(m_queue.begin(), m_queue.end(), isOld), m_queue.end());
        m_inflight.erase(std::remove_if(m_inflight.begin(), m_inflight.end(),
                                        [&isOld](const Pending &p) { return isOld(p.message); }),
                         m_inflight.end());
        for (auto it = m_discovered.cbegin(); it != m_discovered.cend(); ++it)
            for (const PublishMessage &m :
                 discoveryMessages(m_config.clientId, m_config.topicPrefix, it.key(), it->title, it->valueCount)) {
                if (m_mosq && m_state == BrokerState::Connected) {
                    const QByteArray topic = m.topic.toUtf8();
                    mosquitto_publish(m_mosq, nullptr, topic.constData(), 0, nullptr, 0, true);
                } else {
                    m_staleDiscovery.insert(m.topic);
                }
            }
    }
    stop(true);
    m_config = config;
    m_retainedState.clear();
    m_discovered.clear();
    if (m_lineState)
        m_retainedState.insert(lineTopic(m_config.topicPrefix), linePayload(m_linePort, *m_lineState));
    if (m_config.enabled) {
        start();
    } else {
        m_queue.clear();
        setNotice(QString());
    }
}

void Publisher::publishSlots(const QVector<SlotReport> &reports)
{
    if (!m_config.enabled || reports.isEmpty())
        return;
    for (const SlotReport &r : reports) {
        if (m_config.discovery) {
            const Announced seen{r.title, int(r.values.size()), r.units, r.places};
            if (m_discovered.value(r.slot) != seen) {
                m_discovered.insert(r.slot, seen);
                for (const auto &m : discoveryMessages(m_config.clientId, m_config.topicPrefix,
                                                       r.slot, r.title, int(r.values.size()),
                                                       r.units, r.places)) {
                    m_retainedState.insert(m.topic, m.payload);
                    queue(m);
                }
            }
        }
        queue({slotTopic(m_config.topicPrefix, r.slot), slotPayload(r), false});
    }
    send();
}

void Publisher::publishLine(const QString &port, LineState state)
{
    if (m_lineState == state && m_linePort == port)
        return;
    m_lineState = state;
    m_linePort = port;
    const PublishMessage m{lineTopic(m_config.topicPrefix), linePayload(port, state), true};
    m_retainedState.insert(m.topic, m.payload);
    if (m_config.enabled)
        enqueue(m);
}

void Publisher::enqueue(PublishMessage m)
{
    queue(std::move(m));
    send();
}

void Publisher::queue(PublishMessage m)
{
    // Beyond the limit the oldest waiting message goes: the newest readings
    // are the ones worth having when the broker comes back.
    while (queued() >= m_config.queueLimit && !m_queue.empty()) {
        m_queue.pop_front();
        ++m_dropped;
    }
    m_queue.push_back(std::move(m));
}

void Publisher::send()
{
    if (m_state != BrokerState::Connected)
        return;
    // An answer left unread (pump()) is read first; service() sends too.
    if (m_readNotifier && !m_readNotifier->isEnabled())
        service();
    else
        pump();
}

void Publisher::start()
{
    m_attempt = 0;
    connectNow();
}

void Publisher::connectNow()
{
    stop(false);
    setState(BrokerState::Connecting);
    m_connackRc = -1;
    m_disconnected = false;
    m_lastLog.clear();
    m_failure.clear();
    m_foundDiscovery.clear();
    // Only a line that publishes pays for the library and its TLS setup.
    initLibrary();
    m_mosq = mosquitto_new(m_config.clientId.toUtf8().constData(), true, this);
    if (!m_mosq) {
        failed(MOSQ_ERR_NOMEM);
        return;
    }
    mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    // A reading goes out when it is made, not when the kernel has a full packet.
    mosquitto_int_option(m_mosq, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_connect_callback_set(m_mosq, &Publisher::onConnect);
    mosquitto_disconnect_callback_set(m_mosq, &Publisher::onDisconnect);
    mosquitto_publish_callback_set(m_mosq, &Publisher::onPublish);
    mosquitto_log_callback_set(m_mosq, &Publisher::onLog);
    mosquitto_message_callback_set(m_mosq, &Publisher::onMessage);
    mosquitto_max_inflight_messages_set(m_mosq, InFlightWindow);
    const QByteArray status = statusTopic(m_config.topicPrefix).toUtf8();
    mosquitto_will_set(m_mosq, status.constData(), 7, "offline", m_config.qos, true);
    if (!m_config.username.isEmpty())
        mosquitto_username_pw_set(m_mosq, m_config.username.toUtf8().constData(),
                                  m_config.password.isEmpty() ? nullptr
                                                              : m_config.password.toUtf8().constData());
    if (m_config.tls) {
        const QByteArray ca = m_config.cafile.toLocal8Bit();
        const int rc = mosquitto_tls_set(m_mosq, ca.isEmpty() ? nullptr : ca.constData(), nullptr,
                                         nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            m_failure = QStringLiteral("CA file %1: %2").arg(m_config.cafile, QString::fromUtf8(mosquitto_strerror(rc)));
            failed(MOSQ_ERR_TLS);
            return;
        }
    }
    // A host name is looked up by Qt away from this thread first: the
    // library's own lookup would stop the window while a name server is slow.
    if (QHostAddress(m_config.host).isNull() && m_resolvedFor != m_config.host) {
        const int lookup = ++m_lookup;
        QHostInfo::lookupHost(m_config.host, this, [this, lookup](const QHostInfo &info) {
            if (lookup != m_lookup || m_state != BrokerState::Connecting)
                return;
            m_resolved.clear();
            for (const QHostAddress &a : info.addresses())
                if (m_resolved.isEmpty() || a.protocol() == QAbstractSocket::IPv4Protocol)
                    m_resolved = a.toString();
            if (m_resolved.isEmpty()) {
                m_failure = info.errorString();
                failed(MOSQ_ERR_EAI);
                return;
            }
            m_resolvedFor = m_config.host;
            connectNow();
        });
        return;
    }
    // With TLS the certificate is checked against the name, so the name is
    // handed on (the system's resolver has it at hand now).
    const QString target = m_resolvedFor == m_config.host && !m_config.tls ? m_resolved : m_config.host;
    m_resolvedFor.clear();
    const int rc = mosquitto_connect_async(m_mosq, target.toUtf8().constData(), m_config.port,
                                           KeepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) {
        // A connection lost while the library sent its first packet: the
        // system's reason is the one to name.
        if (rc == MOSQ_ERR_ERRNO || rc == MOSQ_ERR_CONN_LOST)
            m_failure = socketErrorText(errno);
        failed(rc);
        return;
    }
    const int fd = mosquitto_socket(m_mosq);
    if (fd < 0) {
        failed(MOSQ_ERR_NO_CONN);
        return;
    }
    // On the loopback the connection may stand (or have failed) already;
    // under Wine no notifier hears of a failure that came first.
    m_tcpPending = !hasPeer(fd);
    if (const int err = m_tcpPending ? pendingSocketError(fd) : 0) {
        m_failure = socketErrorText(err);
        failed(MOSQ_ERR_ERRNO);
        return;
    }
    m_readNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &Publisher::socketReady);
    m_writeNotifier = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &Publisher::socketReady);
    m_loopTimer.start(ConnectingLoopIntervalMs);
    m_connectTimeout.start();
    afterLoop();
}

void Publisher::socketReady()
{
    if (!m_mosq)
        return;
    // Until the broker answers, the library takes a socket that failed or
    // was closed for a TLS handshake still under way and writes to it again
    // and again, never giving up: such a connection ends here, plain and TLS
    // alike, with the system's reason.
    const int fd = mosquitto_socket(m_mosq);
    if (m_tcpPending) {
        // Ready before it is connected: the attempt failed.
        if (const int err = pendingSocketError(fd)) {
            m_failure = socketErrorText(err);
            failed(MOSQ_ERR_ERRNO);
            return;
        }
        if (!hasPeer(fd)) {
            m_failure = QStringLiteral("connection refused or closed");
            failed(MOSQ_ERR_ERRNO);
            return;
        }
        m_tcpPending = false;
    } else if (m_state == BrokerState::Connecting) {
        if (const QString why = closedReason(fd); !why.isEmpty()) {
            m_failure = why;
            failed(m_config.tls ? MOSQ_ERR_TLS : MOSQ_ERR_CONN_LOST);
            return;
        }
    }
    service();
}

void Publisher::service()
{
    if (!m_mosq || m_tcpPending)
        return;
    // Timeout 0: the library looks at the socket and returns at once.
    const int rc = mosquitto_loop(m_mosq, 0, 1);
    if (rc != MOSQ_ERR_SUCCESS && !m_disconnected) {
        if (rc == MOSQ_ERR_ERRNO)
            m_failure = qt_error_string(errno);
        failed(rc);
        return;
    }
    // The housekeeping is due a second after the library last ran: while
    // readings go out, each one runs it (enqueue()), and the timer wakes the
    // program only on a quiet connection.
    if (m_state == BrokerState::Connected)
        m_loopTimer.start(LoopIntervalMs);
    afterLoop();
}

void Publisher::afterLoop()
{
    if (!m_mosq)
        return;
    if (m_connackRc > 0) {
        setNotice(refusedText(m_connackRc, m_config));
        m_connackRc = -1;
        failed(MOSQ_ERR_CONN_REFUSED);
        return;
    }
    if (m_disconnected) {
        failed(MOSQ_ERR_CONN_LOST);
        return;
    }
    if (m_connackRc == 0) {
        m_connackRc = -1;
        m_connectTimeout.stop();
        m_loopTimer.start(LoopIntervalMs);
        m_attempt = 0;
        setNotice(QString());
        setState(BrokerState::Connected);
        sendControl({statusTopic(m_config.topicPrefix), QByteArrayLiteral("online"), true});
        // Old configs go before the new ones are announced.
        const QString own = QStringLiteral("homeassistant/sensor/%1/").arg(m_config.clientId);
        for (const QString &topic : std::as_const(m_staleDiscovery))
            if (!topic.startsWith(own))
                sendControl({topic, QByteArray(), true});
        m_staleDiscovery.clear();
        for (auto it = m_retainedState.cbegin(); it != m_retainedState.cend(); ++it)
            sendControl({it.key(), it.value(), true});
        // Configs this station left under another client_id in an earlier
        // run are among the retained ones the broker sends back.
        if (m_config.discovery)
            mosquitto_subscribe(m_mosq, nullptr, DiscoveryFilter, 0);
    }
    if (m_state == BrokerState::Connected) {
        clearOtherDiscovery();
        pump();
    }
    if (m_mosq && m_writeNotifier)
        m_writeNotifier->setEnabled(m_tcpPending || mosquitto_want_write(m_mosq));
}

void Publisher::clearOtherDiscovery()
{
    if (m_foundDiscovery.isEmpty())
        return;
    const QString own = QStringLiteral("homeassistant/sensor/%1/").arg(m_config.clientId);
    const QString ourSlots = m_config.topicPrefix + QStringLiteral("/slot/");
    for (const auto &[topic, payload] : std::as_const(m_foundDiscovery)) {
        if (topic.startsWith(own))
            continue;
        // Ours: a sensor fed by this station's slot topics.
        const QJsonObject config = QJsonDocument::fromJson(payload).object();
        if (config.value(QStringLiteral("state_topic")).toString().startsWith(ourSlots))
            sendControl({topic, QByteArray(), true});
    }
    m_foundDiscovery.clear();
}

void Publisher::sendControl(const PublishMessage &m)
{
    int mid = 0;
    const QByteArray topic = m.topic.toUtf8();
    if (mosquitto_publish(m_mosq, &mid, topic.constData(), int(m.payload.size()), m.payload.constData(),
                          m_config.qos, m.retain)
        == MOSQ_ERR_SUCCESS)
        m_controlMids.insert(mid);
}

void Publisher::pump()
{
    const int window = std::min(InFlightWindow, std::max(1, m_config.queueLimit));
    // Several messages leave in as few segments as they fit: the broker is
    // woken once for a tick, not once a slot.
    const bool corked = m_mosq && m_queue.size() > 1 && corkSocket(mosquitto_socket(m_mosq), true);
    while (m_mosq && !m_queue.empty() && int(m_inflight.size()) < window) {
        Pending p{m_queue.front(), 0};
        const QByteArray topic = p.message.topic.toUtf8();
        const int rc = mosquitto_publish(m_mosq, &p.mid, topic.constData(), int(p.message.payload.size()),
                                         p.message.payload.constData(), m_config.qos, p.message.retain);
        if (rc != MOSQ_ERR_SUCCESS)
            break; // the message stays first; the loop reports the connection's fate
        m_queue.pop_front();
        if (m_earlyAcks.remove(p.mid))
            ++m_published;
        else
            m_inflight.push_back(std::move(p));
    }
    if (corked && m_mosq)
        corkSocket(mosquitto_socket(m_mosq), false);
    // The broker answers a moment after each message. While no more than a
    // tick's messages wait for their answers and none is queued (the
    // readings, once a second), the answers are read with the next tick's
    // messages or by the housekeeping a second later: the program is not
    // woken once more for every tick.
    if (m_readNotifier)
        m_readNotifier->setEnabled(m_inflight.empty() || m_inflight.size() > UnreadAnswers
                                   || !m_queue.empty());
}

void Publisher::failed(int rc)
{
    const bool wasConnected = m_state == BrokerState::Connected;
    const bool tls = rc == MOSQ_ERR_TLS
        || (m_config.tls && m_state == BrokerState::Connecting && !m_tcpPending
            && m_lastLog.contains(QLatin1String("SSL")));
    QString why = m_failure;
    if (why.isEmpty() && !wasConnected)
        why = m_lastLog;
    if (why.isEmpty())
        why = QString::fromUtf8(mosquitto_strerror(rc));
    // A refusal in the broker's answer is in the notice already.
    if (tls)
        setNotice(tlsText(m_config, m_failure.isEmpty() ? m_lastLog : m_failure));
    else if (rc != MOSQ_ERR_CONN_REFUSED)
        setNotice(wasConnected ? lostText(m_config, why) : unreachableText(m_config, why));
    const bool refused = rc == MOSQ_ERR_CONN_REFUSED || tls;
    stop(false);
    setState(refused ? BrokerState::Refused : BrokerState::Waiting);
    scheduleRetry();
}

void Publisher::scheduleRetry()
{
    ++m_attempt;
    m_retryTimer.start(reconnectPauseMs(m_attempt));
}

void Publisher::stop(bool orderly)
{
    ++m_lookup; // an answer to an earlier lookup is no longer wanted
    m_loopTimer.stop();
    m_connectTimeout.stop();
    if (orderly)
        m_retryTimer.stop();
    // The notifiers may be the ones whose signal brought us here.
    for (QSocketNotifier *n : {m_readNotifier, m_writeNotifier})
        if (n) {
            n->setEnabled(false);
            n->deleteLater();
        }
    m_readNotifier = nullptr;
    m_writeNotifier = nullptr;
    m_tcpPending = false;
    if (m_mosq) {
        if (orderly && m_state == BrokerState::Connected) {
            // Closing on purpose: say so, then leave without the last will.
            const QByteArray topic = statusTopic(m_config.topicPrefix).toUtf8();
            mosquitto_publish(m_mosq, nullptr, topic.constData(), 7, "offline", 0, true);
            mosquitto_disconnect(m_mosq);
        }
        mosquitto_destroy(m_mosq);
        m_mosq = nullptr;
    }
    // Unacknowledged messages go back before the waiting ones, in their
    // order; the broker may see some twice, as QoS 1 allows.
    for (auto it = m_inflight.rbegin(); it != m_inflight.rend(); ++it)
        m_queue.push_front(std::move(it->message));
    m_inflight.clear();
    m_earlyAcks.clear();
    m_controlMids.clear();
    if (orderly)
        setState(BrokerState::Off);
}

void Publisher::setState(BrokerState s)
{
    if (s == m_state)
        return;
    m_state = s;
    emit stateChanged(s);
}

void Publisher::setNotice(const QString &text)
{
    if (text == m_notice)
        return;
    m_notice = text;
    emit noticeChanged(text);
}

void Publisher::onConnect(mosquitto *, void *self, int rc)
{
    static_cast<Publisher *>(self)->m_connackRc = rc;
}

void Publisher::onDisconnect(mosquitto *, void *self, int)
{
    static_cast<Publisher *>(self)->m_disconnected = true;
}

void Publisher::onPublish(mosquitto *, void *self, int mid)
{
    auto *p = static_cast<Publisher *>(self);
    if (p->m_controlMids.remove(mid))
        return;
    const auto it = std::find_if(p->m_inflight.begin(), p->m_inflight.end(),
                                 [mid](const Pending &q) { return q.mid == mid; });
    if (it != p->m_inflight.end()) {
        p->m_inflight.erase(it);
        ++p->m_published;
    } else {
        p->m_earlyAcks.insert(mid);
    }
}

void Publisher::onMessage(mosquitto *, void *self, const mosquitto_message *message)
{
    // Only what the broker kept: a config sent live by another station is
    // that station's business.
    if (message->retain && message->payloadlen > 0)
        static_cast<Publisher *>(self)->m_foundDiscovery.append(
            {QString::fromUtf8(message->topic),
             QByteArray(static_cast<const char *>(message->payload), message->payloadlen)});
}

void Publisher::onLog(mosquitto *, void *self, int level, const char *text)
{
    if (level & (MOSQ_LOG_ERR | MOSQ_LOG_WARNING))
        static_cast<Publisher *>(self)->m_lastLog = QString::fromUtf8(text);
}

} // namespace kelmar
