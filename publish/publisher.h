#pragma once

#include "payloads.h"
#include "publishconfig.h"

#include <QObject>
#include <QMap>
#include <QSet>
#include <QTimer>

#include <deque>

struct mosquitto;
struct mosquitto_message;
class QSocketNotifier;

namespace kelmar {

enum class BrokerState {
    Off,        // publishing switched off
    Connecting, // a connection is being made
    Connected,  // messages flow
    Waiting,    // the broker is away: messages are kept, a new try is due
    Refused,    // the broker refused the login or the TLS handshake failed
};

// Sends the readings to an MQTT broker through libmosquitto, driven by the
// Qt event loop (socket notifiers and a timer), so nothing here ever waits
// for the broker. Messages wait in order in a queue of queue_limit messages
// while the broker is away; the oldest are dropped and counted beyond it.
class Publisher : public QObject
{
    Q_OBJECT
public:
    explicit Publisher(QObject *parent = nullptr);
    ~Publisher() override;

    // Starts, restarts or stops publishing; an unchanged config does nothing.
    void setConfig(const PublishConfig &config);
    const PublishConfig &config() const { return m_config; }

    // One message per polling tick and enabled slot; a tick's slots are
    // best handed over together.
    void publishSlot(const SlotReport &report) { publishSlots({report}); }
    void publishSlots(const QVector<SlotReport> &reports);
    // The line's state; a message only when it changed.
    void publishLine(const QString &port, LineState state);

    BrokerState state() const { return m_state; }
    qint64 published() const { return m_published; }
    qint64 queued() const { return qint64(m_queue.size() + m_inflight.size()); }
    qint64 dropped() const { return m_dropped; }
    // The current problem, bilingual, naming the broker and the reason; empty
    // while connected or switched off.
    QString notice() const { return m_notice; }

    // The pause before the n-th consecutive new try (n >= 1): it doubles from
    // one second up to 30 seconds.
    static int reconnectPauseMs(int attempt);

signals:
    void stateChanged(kelmar::BrokerState state);
    // A failed connection (refused, lost, TLS, login), or "" when it is over.
    void noticeChanged(const QString &text);

private:
    struct Pending
    {
        PublishMessage message;
        int mid = 0;
    };

    void start();
    void stop(bool orderly);
    void connectNow();
    void socketReady();
    void service();
    void afterLoop();
    void clearOtherDiscovery();
    void pump();
    void failed(int rc);
    void scheduleRetry();
    void enqueue(PublishMessage m);
    // Puts a message in line without sending; send() sends what waits.
    void queue(PublishMessage m);
    void send();
    void setState(BrokerState s);
    void setNotice(const QString &text);
    void sendControl(const PublishMessage &m);

    static void onConnect(mosquitto *, void *self, int rc);
    static void onDisconnect(mosquitto *, void *self, int rc);
    static void onPublish(mosquitto *, void *self, int mid);
    static void onLog(mosquitto *, void *self, int level, const char *text);
    static void onMessage(mosquitto *, void *self, const mosquitto_message *message);

    PublishConfig m_config;
    BrokerState m_state = BrokerState::Off;
    QString m_notice;
    mosquitto *m_mosq = nullptr;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QTimer m_loopTimer;  // keep-alive and anything a notifier cannot see
    QTimer m_retryTimer; // the pause before the next try
    QTimer m_connectTimeout;
    int m_attempt = 0;
    // The TCP connection is still being made: the library is not asked to
    // work the socket until it stands.
    bool m_tcpPending = false;

    std::deque<PublishMessage> m_queue;
    std::deque<Pending> m_inflight; // handed to the library, not yet acknowledged
    QSet<int> m_earlyAcks;          // acknowledged before mosquitto_publish returned
    QSet<int> m_controlMids;        // status and state messages, not counted
    qint64 m_published = 0;
    qint64 m_dropped = 0;

    // Retained state sent again after every connect: the line and discovery.
    QMap<QString, QByteArray> m_retainedState;
    QString m_linePort;
    std::optional<LineState> m_lineState;
    // What a slot's discovery configs were made from: a change of any of it
    // announces the slot again.
    struct Announced
    {
        QString title;
        int valueCount = 0;
        QStringList units;
        QVector<std::optional<int>> places;
        bool operator!=(const Announced &o) const
        {
            return title != o.title || valueCount != o.valueCount || units != o.units ||
                   places != o.places;
        }
    };
    QMap<int, Announced> m_discovered; // by slot
    // Discovery configs of a client_id no longer used: emptied on the broker
    // at the next connection, so that Home Assistant drops the old device.
    QSet<QString> m_staleDiscovery;
    // Retained discovery configs found on the broker: topic, payload.
    QList<QPair<QString, QByteArray>> m_foundDiscovery;

    // Set by the library's callbacks, acted on after the library call returns.
    int m_connackRc = -1;
    bool m_disconnected = false;
    QString m_lastLog;
    // Why the attempt or connection failed, for the notice; "" when not known.
    QString m_failure;
    // The address of a host name, looked up before the connection is made.
    QString m_resolved;
    QString m_resolvedFor;
    int m_lookup = 0;
};

} // namespace kelmar

Q_DECLARE_METATYPE(kelmar::BrokerState)
