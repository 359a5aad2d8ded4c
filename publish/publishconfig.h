#pragma once

#include "safefile.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace kelmar {

// The settings of publishing readings to an MQTT broker, as publish.ini in
// the program folder holds them:
//
//   # a comment: '#' or ';' first on its line
//   [publish]
//   password=se;cret#x,2
//
// UTF-8 key=value lines. A value is the rest of its line, blanks around it
// dropped, commas, semicolons and '#' included; "..." around it keeps blanks
// at its ends. Files written by earlier versions (every key, in sorted order,
// values quoted and escaped with backslashes) are read as they were meant.
struct PublishConfig
{
    bool enabled = false;
    QString host = QStringLiteral("127.0.0.1");
    int port = 1883; // 8883 when tls is on and the file names no port
    bool tls = false;
    QString cafile;
    QString username;
    QString password;
    QString clientId;    // "kelmar-t-<host name>"; only A-Z a-z 0-9 _ -
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

// The settings in the INI text. A text that is not UTF-8, or has no
// [publish] section, is named (fileName) in a notice and publishing is off.
PublishConfigRead parsePublishConfig(const QByteArray &ini, const QString &hostName,
                                     const QString &fileName = QStringLiteral("publish.ini"));
// The INI text of the settings, every key written; read back unchanged.
QByteArray renderPublishConfig(const PublishConfig &config);

// Why the settings cannot be used, bilingual, or "" when they can: a
// client_id outside [A-Za-z0-9_-] (the broker's client and Home Assistant's
// object ids are made of it), a line break in a value (publish.ini keeps one
// value a line).
QString publishConfigProblem(const PublishConfig &config);
// Characters outside [A-Za-z0-9_-] replaced with '_'.
QString clientIdFrom(const QString &text);

// publish.ini in the folder: a missing file means publishing off.
PublishConfigRead loadPublishConfig(const QString &path, const QString &hostName);
// Replaces the file; readable by its owner alone when it holds a password.
// Settings with a problem are refused and nothing is written.
FileResult savePublishConfig(const QString &path, const PublishConfig &config);

// The name of this machine as the defaults use it.
QString publishHostName();

} // namespace kelmar
