#pragma once

#include "hostprocess.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace kelmar::test {

// A free TCP port on the loopback interface, as the system hands it out.
quint16 freeLoopbackPort();

// Debian's mosquitto broker on a free loopback port, with a configuration
// written for the test; stopped with the object. Under Wine it runs outside
// Wine, as do mosquitto_sub and openssl (hostprocess.h).
class Broker
{
public:
    struct Options
    {
        QString passwordUser;  // with a password: anonymous clients are refused
        QString password;
        bool tls = false;      // the listener speaks TLS with a certificate of dir()/ca
        bool persistence = false;
    };

    explicit Broker(const Options &options);
    Broker() : Broker(Options{}) {}
    ~Broker();

    bool start();              // waits until the broker listens
    void stop();               // SIGTERM, waits for the end (a persistent broker saves its data)
    quint16 port() const { return m_port; }
    QString dir() const { return m_dir.path(); }
    QString caFile() const { return m_dir.filePath(QStringLiteral("ca.pem")); }
    // A second CA that signed nothing the broker holds.
    QString otherCaFile() const { return m_dir.filePath(QStringLiteral("other-ca.pem")); }
    QString log() const { return QString::fromUtf8(m_output); }

private:
    bool makeCertificates();
    Options m_options;
    QTemporaryDir m_dir;
    quint16 m_port = 0;
    HostProcess m_process;
    QByteArray m_output;
};

// mosquitto_sub on the broker at QoS 1, collecting "topic payload" lines.
class Subscriber
{
public:
    // clientId non-empty: a persistent session that keeps messages while it is away.
    Subscriber(const Broker &broker, const QStringList &topics, const QString &clientId = QString(),
               const QString &caFile = QString());
    ~Subscriber();
    bool start(); // waits until the subscription is acknowledged
    void stop();
    // The messages so far, in order of arrival.
    QList<QPair<QString, QByteArray>> messages();
    QList<QByteArray> payloads(const QString &topic);

private:
    void collect();
    HostProcess m_process;
    QStringList m_args;
    QByteArray m_buffer;
    bool m_subscribed = false;
    QList<QPair<QString, QByteArray>> m_messages;
};

} // namespace kelmar::test
