#include "publishconfig.h"

#include "smallfile.h"

#include <QFile>
#include <QHostInfo>
#include <QSettings>
#include <QTemporaryDir>

namespace kelmar {

namespace {

constexpr int MaxQueueLimit = 10000000; // about a gigabyte of payloads at most

QString badValue(const QString &key, const QString &text, const QString &kept)
{
    return QStringLiteral("publish.ini: %1 的值「%2」無效，使用預設值 %3 "
                          "(publish.ini: %1 \"%2\" is not valid, default %3 kept)")
        .arg(key, text, kept);
}

// A whole decimal number in [low, high]; anything else gives no value.
std::optional<int> wholeInRange(const QString &text, int low, int high)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok, 10);
    if (!ok || v < low || v > high)
        return std::nullopt;
    return v;
}

} // namespace

bool PublishConfig::operator==(const PublishConfig &o) const
{
    return enabled == o.enabled && host == o.host && port == o.port && tls == o.tls
        && cafile == o.cafile && username == o.username && password == o.password
        && clientId == o.clientId && topicPrefix == o.topicPrefix && qos == o.qos
        && queueLimit == o.queueLimit && discovery == o.discovery;
}

PublishConfig defaultPublishConfig(const QString &hostName)
{
    PublishConfig c;
    c.clientId = QStringLiteral("kelmar-t-") + hostName;
    c.topicPrefix = QStringLiteral("kelmar/") + hostName;
    return c;
}

QString publishHostName()
{
    QString name = QHostInfo::localHostName();
    // Topic levels and client ids must not hold the MQTT wildcards or '/'.
    for (QChar &c : name)
        if (c == u'/' || c == u'+' || c == u'#' || c.isSpace())
            c = u'_';
    return name.isEmpty() ? QStringLiteral("station") : name;
}

PublishConfigRead parsePublishConfig(const QByteArray &ini, const QString &hostName)
{
    PublishConfigRead r;
    r.config = defaultPublishConfig(hostName);
    // QSettings reads INI only from a file: the text goes through a private one.
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/publish.ini");
    {
        QFile f(path);
        if (!dir.isValid() || !f.open(QIODevice::WriteOnly) || f.write(ini) != ini.size()) {
            r.notices << QStringLiteral("publish.ini: 無法讀取 (cannot be read)");
            return r;
        }
    }
    QSettings s(path, QSettings::IniFormat);
    s.beginGroup(QStringLiteral("publish"));
    PublishConfig &c = r.config;

    auto flag = [&](const char *key, bool &out) {
        const QString k = QLatin1String(key);
        if (!s.contains(k))
            return;
        const QString t = s.value(k).toString().trimmed();
        if (t == u'0' || t == u'1')
            out = t == u'1';
        else
            r.notices << badValue(k, t, out ? QStringLiteral("1") : QStringLiteral("0"));
    };
    auto number = [&](const char *key, int &out, int low, int high) {
        const QString k = QLatin1String(key);
        if (!s.contains(k))
            return;
        const QString t = s.value(k).toString();
        if (const auto v = wholeInRange(t, low, high))
            out = *v;
        else
            r.notices << badValue(k, t.trimmed(), QString::number(out));
    };
    auto text = [&](const char *key, QString &out, bool mayBeEmpty) {
        const QString k = QLatin1String(key);
        if (!s.contains(k))
            return;
        const QString t = s.value(k).toString();
        if (t.trimmed().isEmpty() && !mayBeEmpty)
            r.notices << badValue(k, t, out);
        else
            out = mayBeEmpty ? t : t.trimmed();
    };

    flag("enabled", c.enabled);
    flag("tls", c.tls);
    c.port = c.tls ? 8883 : 1883;
    text("host", c.host, false);
    number("port", c.port, 1, 65535);
    text("cafile", c.cafile, true);
    text("username", c.username, true);
    text("password", c.password, true);
    text("client_id", c.clientId, false);
    text("topic_prefix", c.topicPrefix, false);
    // The prefix becomes topic levels: wildcards there would be refused by
    // the broker on every message.
    if (c.topicPrefix.contains(u'+') || c.topicPrefix.contains(u'#')) {
        r.notices << badValue(QStringLiteral("topic_prefix"), c.topicPrefix,
                              defaultPublishConfig(hostName).topicPrefix);
        c.topicPrefix = defaultPublishConfig(hostName).topicPrefix;
    }
    while (c.topicPrefix.endsWith(u'/') && c.topicPrefix.size() > 1)
        c.topicPrefix.chop(1);
    number("qos", c.qos, 0, 1);
    number("queue_limit", c.queueLimit, 1, MaxQueueLimit);
    flag("discovery", c.discovery);
    return r;
}

QByteArray renderPublishConfig(const PublishConfig &c)
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/publish.ini");
    {
        QSettings s(path, QSettings::IniFormat);
        s.beginGroup(QStringLiteral("publish"));
        auto bit = [](bool b) { return b ? QStringLiteral("1") : QStringLiteral("0"); };
        s.setValue(QStringLiteral("enabled"), bit(c.enabled));
        s.setValue(QStringLiteral("host"), c.host);
        s.setValue(QStringLiteral("port"), QString::number(c.port));
        s.setValue(QStringLiteral("tls"), bit(c.tls));
        s.setValue(QStringLiteral("cafile"), c.cafile);
        s.setValue(QStringLiteral("username"), c.username);
        s.setValue(QStringLiteral("password"), c.password);
        s.setValue(QStringLiteral("client_id"), c.clientId);
        s.setValue(QStringLiteral("topic_prefix"), c.topicPrefix);
        s.setValue(QStringLiteral("qos"), QString::number(c.qos));
        s.setValue(QStringLiteral("queue_limit"), QString::number(c.queueLimit));
        s.setValue(QStringLiteral("discovery"), bit(c.discovery));
        s.endGroup();
        s.sync();
    }
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

PublishConfigRead loadPublishConfig(const QString &path, const QString &hostName)
{
    if (!QFile::exists(path)) {
        PublishConfigRead r;
        r.config = defaultPublishConfig(hostName);
        return r;
    }
    const auto bytes = readSmallRegularFile(path);
    if (!bytes) {
        PublishConfigRead r;
        r.config = defaultPublishConfig(hostName);
        r.notices << QStringLiteral("無法讀取 %1，不發佈資料 (%1 cannot be read, publishing off)")
                         .arg(path);
        return r;
    }
    return parsePublishConfig(*bytes, hostName);
}

FileResult savePublishConfig(const QString &path, const PublishConfig &config)
{
    return replaceFile(path, renderPublishConfig(config), LinkPolicy::Refuse,
                       !config.password.isEmpty());
}

} // namespace kelmar
