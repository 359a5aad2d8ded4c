#pragma once

#include "safefile.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace kelmar {

// The settings of publishing readings to an MQTT broker, as publish.ini in
// the program folder holds them (section [publish]).
struct PublishConfig
{
    bool enabled = false;
    QString host = QStringLiteral("127.0.0.1");
    int port = 1883; // 8883 when tls is on and the file names no port
    bool tls = false;
    QString cafile;
    QString username;
    QString password;
    QString clientId;    // "kelmar-t-<host name>"
    QString topicPrefix; // "kelmar/<host name>"
    int qos = 1;         // 0 or 1
    int queueLimit = 100000;
    bool discovery = false;

    bool operator==(const PublishConfig &o) const;
    bool operator!=(const PublishConfig &o) const { return !(*this == o); }
};

// The defaults on a machine of the given host name.
PublishConfig defaultPublishConfig(const QString &hostName);

struct PublishConfigRead
{
    PublishConfig config;
    // One bilingual line per malformed value, naming the key; its default is kept.
    QStringList notices;
};

// The settings in the INI text (UTF-8), read through QSettings.
PublishConfigRead parsePublishConfig(const QByteArray &ini, const QString &hostName);
// The INI text of the settings, every key written.
QByteArray renderPublishConfig(const PublishConfig &config);

// publish.ini in the folder: a missing file means publishing off.
PublishConfigRead loadPublishConfig(const QString &path, const QString &hostName);
// Replaces the file; readable by its owner alone when it holds a password.
FileResult savePublishConfig(const QString &path, const PublishConfig &config);

// The name of this machine as the defaults use it.
QString publishHostName();

} // namespace kelmar
