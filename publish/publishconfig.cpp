#include "publishconfig.h"

#include "smallfile.h"

#include <QCoreApplication>
#include <QFile>
#include <QHostInfo>
#include <QMap>
#include <QStringDecoder>

#include <algorithm>

namespace kelmar {

namespace {

constexpr int MaxQueueLimit = 10000000; // about a gigabyte of payloads at most

// The keys in the order the window shows them and the file is written.
const char *const Keys[] = {"enabled",  "host",      "port",         "tls", "cafile",      "username",
                            "password", "client_id", "topic_prefix", "qos", "queue_limit", "discovery"};

QString badValue(const QString &key, const QString &text, const QString &kept)
{
    return QCoreApplication::translate("kelmar::PublishConfig",
                                       "publish.ini: %1 的值「%2」無效，使用預設值 %3 "
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

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

QString trimBlanks(const QString &s)
{
    qsizetype from = 0;
    qsizetype to = s.size();
    while (from < to && isBlank(s[from]))
        ++from;
    while (to > from && isBlank(s[to - 1]))
        --to;
    return s.mid(from, to - from);
}

bool isQuoted(const QString &s)
{
    return s.size() >= 2 && s.startsWith(u'"') && s.endsWith(u'"');
}

// A value as the line holds it, blanks around it dropped: "..." around it
// is taken off (that is how blanks at its ends are kept), nothing else.
QString plainValue(const QString &text)
{
    return isQuoted(text) ? text.mid(1, text.size() - 2) : text;
}

// The value of the line as written; the reverse of plainValue().
QString writtenValue(const QString &v)
{
    const bool quote = !v.isEmpty() && (isBlank(v.front()) || isBlank(v.back()) || isQuoted(v));
    return quote ? u'"' + v + u'"' : v;
}

// A value as earlier versions wrote it (through QSettings): in quotes when it
// held ',', ';', '=' or blanks at its ends, with '\' and '"' and control
// characters escaped by a backslash and a leading '@' doubled. Nothing when
// the text cannot have been written so.
std::optional<QString> earlierValue(const QString &text)
{
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'"') {
            quoted = !quoted;
            continue;
        }
        if (c != u'\\') {
            out += c;
            continue;
        }
        if (++i == text.size())
            return std::nullopt;
        const char16_t e = text[i].unicode();
        static const QString named = QStringLiteral("abfnrtv");
        static const char16_t meaning[] = {u'\a', u'\b', u'\f', u'\n', u'\r', u'\t', u'\v'};
        if (e == u'\\' || e == u'"' || e == u'\'' || e == u'?') {
            out += QChar(e);
        } else if (const qsizetype n = named.indexOf(QChar(e)); n >= 0) {
            out += QChar(meaning[n]);
        } else if (e == u'x' || e == u'0') {
            // "\x1f" and "\0": a code in hexadecimal or octal digits.
            const int base = e == u'x' ? 16 : 8;
            uint code = 0;
            qsizetype digits = 0;
            while (i + 1 < text.size() && code < 0x10000) {
                bool ok = false;
                const uint d = QString(text[i + 1]).toUInt(&ok, base);
                if (!ok)
                    break;
                code = code * base + d;
                ++i;
                ++digits;
            }
            if ((e == u'x' && digits == 0) || code > 0xffff)
                return std::nullopt;
            out += QChar(char16_t(code));
        } else {
            return std::nullopt;
        }
    }
    if (quoted)
        return std::nullopt;
    // "@@" stood for a leading '@'; "@" alone began a type such as "@Variant(".
    if (out.startsWith(u'@')) {
        if (!out.startsWith(QStringLiteral("@@")))
            return std::nullopt;
        out.remove(0, 1);
    }
    return out;
}

// Earlier versions wrote "[publish]" and every key in sorted order, nothing
// else; a person's file has its own order, comments or fewer keys.
bool writtenByEarlierVersion(const QStringList &lines)
{
    QStringList keys;
    bool section = false;
    for (const QString &line : lines) {
        if (line.isEmpty())
            continue;
        if (!section) {
            if (line != QStringLiteral("[publish]"))
                return false;
            section = true;
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0)
            return false;
        keys << line.left(eq);
    }
    QStringList sorted;
    for (const char *k : Keys)
        sorted << QLatin1String(k);
    sorted.sort();
    return keys == sorted;
}

bool isClientIdChar(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_'
        || c == u'-';
}

QString clientIdRefusal(const QString &id)
{
    return QCoreApplication::translate(
               "kelmar::PublishConfig",
               "用戶端代號「%1」只能用英文字母、數字、_ 與 - "
               "(client_id \"%1\" may hold only A-Z a-z 0-9 _ -: Home Assistant and "
               "brokers refuse other characters)")
        .arg(id);
}

} // namespace

QString clientIdFrom(const QString &text)
{
    QString id = text;
    for (QChar &c : id)
        if (!isClientIdChar(c))
            c = u'_';
    return id;
}

QString publishConfigProblem(const PublishConfig &c)
{
    if (c.clientId.isEmpty() || clientIdFrom(c.clientId) != c.clientId)
        return clientIdRefusal(c.clientId);
    for (const QString *v : {&c.host, &c.cafile, &c.username, &c.password, &c.topicPrefix})
        for (QChar ch : *v)
            if (ch.category() == QChar::Other_Control && ch != u'\t')
                return QCoreApplication::translate(
                    "kelmar::PublishConfig",
                    "設定值不可含換行或控制字元 "
                    "(a value may not hold a line break or control character)");
    return QString();
}

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
    c.clientId = clientIdFrom(QStringLiteral("kelmar-t-") + hostName);
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

PublishConfigRead parsePublishConfig(const QByteArray &ini, const QString &hostName,
                                     const QString &fileName)
{
    PublishConfigRead r;
    r.config = defaultPublishConfig(hostName);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString whole = utf8(ini);
    if (utf8.hasError() || whole.contains(QChar(0))) {
        r.notices << QCoreApplication::translate(
                         "kelmar::PublishConfig",
                         "%1 不是 UTF-8 文字檔，不發佈資料 (%1 is not UTF-8 text: publishing off)")
                         .arg(fileName);
        return r;
    }
    QStringList lines = whole.split(u'\n');
    for (QString &line : lines)
        if (line.endsWith(u'\r'))
            line.chop(1);
    if (!lines.isEmpty() && lines.first().startsWith(QChar(0xfeff)))
        lines.first().remove(0, 1);
    const bool earlier = writtenByEarlierVersion(lines);

    // The [publish] section's values by key; the last of a key counts.
    QMap<QString, QString> values;
    bool inSection = false;
    bool sectionSeen = false;
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const QString line = trimBlanks(lines[n]);
        if (line.isEmpty() || line.startsWith(u'#') || line.startsWith(u';'))
            continue;
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            inSection = trimBlanks(line.mid(1, line.size() - 2)).toLower() == QStringLiteral("publish");
            sectionSeen = sectionSeen || inSection;
            continue;
        }
        if (!inSection)
            continue;
        const qsizetype eq = line.indexOf(u'=');
        const QString key = trimBlanks(line.left(eq)).toLower();
        if (eq <= 0 || key.isEmpty()) {
            // The line itself is not shown: it may be a password on a line of its own.
            r.notices << QCoreApplication::translate(
                             "kelmar::PublishConfig",
                             "publish.ini 第 %1 行不是「鍵=值」，略過 "
                             "(publish.ini line %1 is not key=value: ignored)")
                             .arg(n + 1);
            continue;
        }
        if (std::none_of(std::begin(Keys), std::end(Keys), [&](const char *k) { return key == QLatin1String(k); })) {
            r.notices << QCoreApplication::translate(
                             "kelmar::PublishConfig",
                             "publish.ini 第 %1 行：不認得的鍵 %2，略過 "
                             "(publish.ini line %1: unknown key %2 ignored)")
                             .arg(n + 1)
                             .arg(key);
            continue;
        }
        const QString raw = trimBlanks(line.mid(eq + 1));
        std::optional<QString> value;
        if (earlier)
            value = earlierValue(raw);
        values.insert(key, value ? *value : plainValue(raw));
    }
    if (!sectionSeen) {
        r.notices
            << QCoreApplication::translate(
                   "kelmar::PublishConfig",
                   "%1 沒有 [publish] 段，不發佈資料 (%1 has no [publish] section: publishing off)")
                   .arg(fileName);
        return r;
    }
    PublishConfig &c = r.config;

    auto flag = [&](const char *key, bool &out) {
        const QString k = QLatin1String(key);
        if (!values.contains(k))
            return;
        const QString t = values.value(k).trimmed();
        if (t == u'0' || t == u'1')
            out = t == u'1';
        else
            r.notices << badValue(k, t, out ? QStringLiteral("1") : QStringLiteral("0"));
    };
    auto number = [&](const char *key, int &out, int low, int high) {
        const QString k = QLatin1String(key);
        if (!values.contains(k))
            return;
        const QString t = values.value(k);
        if (const auto v = wholeInRange(t, low, high))
            out = *v;
        else
            r.notices << badValue(k, t.trimmed(), QString::number(out));
    };
    auto text = [&](const char *key, QString &out, bool mayBeEmpty) {
        const QString k = QLatin1String(key);
        if (!values.contains(k))
            return;
        const QString t = values.value(k);
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
    QString clientId = c.clientId;
    text("client_id", clientId, false);
    if (clientIdFrom(clientId) == clientId)
        c.clientId = clientId;
    else
        r.notices << QCoreApplication::translate(
                         "kelmar::PublishConfig",
                         "publish.ini: 用戶端代號「%1」只能用英文字母、數字、_ 與 - "
                         "(client_id \"%1\" may hold only A-Z a-z 0-9 _ -: Home Assistant and "
                         "brokers refuse other characters)，使用預設值 %2 (default %2 kept)")
                         .arg(clientId, c.clientId);
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
    auto bit = [](bool b) { return b ? QStringLiteral("1") : QStringLiteral("0"); };
    const QMap<QString, QString> byKey{
        {QStringLiteral("enabled"), bit(c.enabled)},
        {QStringLiteral("host"), c.host},
        {QStringLiteral("port"), QString::number(c.port)},
        {QStringLiteral("tls"), bit(c.tls)},
        {QStringLiteral("cafile"), c.cafile},
        {QStringLiteral("username"), c.username},
        {QStringLiteral("password"), c.password},
        {QStringLiteral("client_id"), c.clientId},
        {QStringLiteral("topic_prefix"), c.topicPrefix},
        {QStringLiteral("qos"), QString::number(c.qos)},
        {QStringLiteral("queue_limit"), QString::number(c.queueLimit)},
        {QStringLiteral("discovery"), bit(c.discovery)},
    };
    QString out = QStringLiteral(
        "# Kelmar_T 資料發佈設定 (publishing settings). One key=value a line; a value is\n"
        "# the rest of its line as written, blanks around it dropped; \"...\" around it\n"
        "# keeps blanks at its ends. '#' or ';' first on a line makes it a comment.\n"
        "[publish]\n");
    for (const char *k : Keys)
        out += QLatin1String(k) + u'=' + writtenValue(byKey.value(QLatin1String(k))) + u'\n';
    return out.toUtf8();
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
        r.notices << QCoreApplication::translate(
                         "kelmar::PublishConfig",
                         "無法讀取 %1，不發佈資料 (%1 cannot be read, publishing off)")
                         .arg(path);
        return r;
    }
    return parsePublishConfig(*bytes, hostName, path);
}

FileResult savePublishConfig(const QString &path, const PublishConfig &config)
{
    if (const QString problem = publishConfigProblem(config); !problem.isEmpty())
        return refusedFile(path, problem);
    return replaceFile(path, renderPublishConfig(config), LinkPolicy::Refuse,
                       !config.password.isEmpty());
}

} // namespace kelmar
