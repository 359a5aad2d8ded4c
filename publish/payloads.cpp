#include "payloads.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

namespace kelmar {

namespace {

// A JSON string literal with Qt's escaping, quotes included.
QByteArray jsonString(const QString &s)
{
    const QByteArray a = QJsonDocument(QJsonArray{s}).toJson(QJsonDocument::Compact);
    return a.mid(1, a.size() - 2);
}

// The time of a slot message as a JSON string. The slots of a tick share
// its time, the clock's local one: the text is made once a tick, as the
// time zone lookup behind it costs more than the rest of the message.
QByteArray timeJson(const QDateTime &t)
{
    thread_local QDateTime lastLocal;
    thread_local QByteArray lastJson;
    if (t.timeSpec() != Qt::LocalTime)
        return jsonString(payloadTime(t));
    if (!lastLocal.isValid() || t != lastLocal) {
        lastLocal = t;
        lastJson = jsonString(payloadTime(t));
    }
    return lastJson;
}

// A slot's title as a JSON string: the same few, tick after tick.
QByteArray titleJson(const QString &title)
{
    thread_local QHash<QString, QByteArray> known;
    if (const auto it = known.constFind(title); it != known.cend())
        return *it;
    if (known.size() >= 64)
        known.clear();
    return *known.insert(title, jsonString(title));
}

} // namespace

QString statusTopic(const QString &prefix)
{
    return prefix + QStringLiteral("/status");
}

QString lineTopic(const QString &prefix)
{
    return prefix + QStringLiteral("/line");
}

QString slotTopic(const QString &prefix, int slot)
{
    return prefix + QStringLiteral("/slot/") + QString::number(slot);
}

QString payloadTime(const QDateTime &t)
{
    const int offset = t.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return t.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"))
        + (offset < 0 ? u'-' : u'+')
        + QStringLiteral("%1:%2").arg(minutes / 60, 2, 10, QLatin1Char('0'))
              .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

SlotReport slotReport(const SlotSample &sample, const QString &title)
{
    SlotReport r;
    r.slot = sample.slot;
    r.id = sample.slaveId;
    r.title = title;
    r.time = sample.time;
    for (int item = 0; item < sample.valueCount && item < ItemsPerSlot; ++item) {
        r.values << sample.values[item];
        r.places << sample.places[item];
        r.units << sample.units[item];
    }
    // Units only where the model names one, so that a meter.txt slot's
    // message stays as it was.
    if (std::all_of(r.units.cbegin(), r.units.cend(), [](const QString &u) { return u.isEmpty(); }))
        r.units.clear();
    r.status = sample.check.status;
    r.exceptionCode = sample.check.exceptionCode;
    return r;
}

QByteArray jsonNumber(const std::optional<ExactDecimal> &value)
{
    // The display's digits are JSON's grammar already: "-"? digits ("." digits)?.
    return value ? value->text().toLatin1() : QByteArrayLiteral("null");
}

QByteArray statusWord(ReplyStatus s)
{
    switch (s) {
    case ReplyStatus::Ok:
        return QByteArrayLiteral("ok");
    case ReplyStatus::NoReply:
        return QByteArrayLiteral("no_reply");
    case ReplyStatus::Exception:
        return QByteArrayLiteral("exception");
    case ReplyStatus::InvalidValue:
        return QByteArrayLiteral("invalid_value");
    default:
        return QByteArrayLiteral("bad_reply");
    }
}

QByteArray linePayload(const QString &port, LineState state)
{
    const char *word = state == LineState::Open ? "open" : state == LineState::Lost ? "lost" : "closed";
    return QByteArrayLiteral("{\"port\":") + jsonString(port) + QByteArrayLiteral(",\"state\":\"")
        + word + QByteArrayLiteral("\"}");
}

QByteArray slotPayload(const SlotReport &r)
{
    QByteArray out = QByteArrayLiteral("{\"time\":") + timeJson(r.time)
        + QByteArrayLiteral(",\"slot\":") + QByteArray::number(r.slot)
        + QByteArrayLiteral(",\"id\":") + QByteArray::number(r.id)
        + QByteArrayLiteral(",\"title\":") + titleJson(r.title)
        + QByteArrayLiteral(",\"values\":[");
    for (int i = 0; i < r.values.size(); ++i) {
        if (i)
            out += ',';
        out += jsonNumber(r.values[i]);
    }
    out += ']';
    if (!r.units.isEmpty()) {
        out += QByteArrayLiteral(",\"units\":[");
        for (int i = 0; i < r.units.size(); ++i)
            out += (i ? QByteArrayLiteral(",") : QByteArray()) + jsonString(r.units[i]);
        out += ']';
    }
    out += QByteArrayLiteral(",\"status\":\"") + statusWord(r.status) + '"';
    if (r.status == ReplyStatus::Exception)
        out += QByteArrayLiteral(",\"exception\":") + QByteArray::number(r.exceptionCode);
    out += '}';
    return out;
}

namespace {

// What Home Assistant is told of a unit it can class without doubt.
struct UnitClass
{
    const char *unit;
    const char *deviceClass;
    const char *stateClass;
};
constexpr UnitClass UnitClasses[] = {
    {"V", "voltage", "measurement"},       {"A", "current", "measurement"},
    {"W", "power", "measurement"},         {"kW", "power", "measurement"},
    {"Wh", "energy", "total_increasing"},  {"kWh", "energy", "total_increasing"},
    {"°C", "temperature", "measurement"},  {"Hz", "frequency", "measurement"},
};

} // namespace

QVector<PublishMessage> discoveryMessages(const QString &clientId, const QString &prefix,
                                          int slot, const QString &title, int valueCount,
                                          const QStringList &units,
                                          const QVector<std::optional<int>> &places)
{
    QVector<PublishMessage> out;
    const QString name = title.trimmed().isEmpty() ? QStringLiteral("slot %1").arg(slot) : title.trimmed();
    const QJsonObject device{
        {QStringLiteral("identifiers"), QJsonArray{clientId}},
        {QStringLiteral("name"), clientId},
        {QStringLiteral("model"), QStringLiteral("Kelmar_T")},
    };
    const QJsonArray availability{
        QJsonObject{{QStringLiteral("topic"), statusTopic(prefix)},
                    {QStringLiteral("payload_available"), QStringLiteral("online")},
                    {QStringLiteral("payload_not_available"), QStringLiteral("offline")}},
        QJsonObject{{QStringLiteral("topic"), slotTopic(prefix, slot)},
                    {QStringLiteral("value_template"),
                     QStringLiteral("{{ 'online' if value_json.status == 'ok' else 'offline' }}")}},
    };
    for (int item = 1; item <= valueCount; ++item) {
        const QString object = QStringLiteral("slot%1_%2").arg(slot).arg(item);
        QJsonObject config{
            {QStringLiteral("name"), QStringLiteral("%1 %2").arg(name).arg(item)},
            {QStringLiteral("state_topic"), slotTopic(prefix, slot)},
            {QStringLiteral("value_template"),
             QStringLiteral("{{ value_json['values'][%1] }}").arg(item - 1)},
            {QStringLiteral("unique_id"), clientId + u'_' + object},
            // Unavailable while the station is offline and while the meter
            // gives no reading (its values are null then).
            {QStringLiteral("availability"), availability},
            {QStringLiteral("availability_mode"), QStringLiteral("all")},
            {QStringLiteral("device"), device},
        };
        const QString unit = item <= units.size() ? units[item - 1] : QString();
        if (!unit.isEmpty())
            config.insert(QStringLiteral("unit_of_measurement"), unit);
        for (const UnitClass &c : UnitClasses)
            if (unit == QString::fromUtf8(c.unit)) {
                config.insert(QStringLiteral("device_class"), QString::fromLatin1(c.deviceClass));
                config.insert(QStringLiteral("state_class"), QString::fromLatin1(c.stateClass));
            }
        if (item <= places.size() && places[item - 1])
            config.insert(QStringLiteral("suggested_display_precision"), *places[item - 1]);
        out.push_back({QStringLiteral("homeassistant/sensor/%1/%2/config").arg(clientId, object),
                       QJsonDocument(config).toJson(QJsonDocument::Compact), true});
    }
    return out;
}

} // namespace kelmar
