#pragma once

#include "modbusframe.h"
#include "sample.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

namespace kelmar {

// One slot's readings of one polling tick, as the broker gets them.
struct SlotReport
{
    int slot = 1;       // 1 ... 6
    int id = 0;         // the meter's slave ID
    QString title;
    QDateTime time;     // when the reading was taken
    // One per value of the model; empty where no valid reading came.
    QVector<std::optional<ExactDecimal>> values;
    // A models.ini model's decimal places for each value, and its units
    // (empty when the model names none).
    QVector<std::optional<int>> places;
    QStringList units;
    ReplyStatus status = ReplyStatus::Ok;
    int exceptionCode = 0; // only meaningful for ReplyStatus::Exception
};

enum class LineState { Open, Lost, Closed };

struct PublishMessage
{
    QString topic;
    QByteArray payload;
    bool retain = false;
};

// Topics below the prefix: <prefix>/status, <prefix>/line, <prefix>/slot/<k>.
QString statusTopic(const QString &prefix);
QString lineTopic(const QString &prefix);
QString slotTopic(const QString &prefix, int slot);

// "2026-12-07T19:00:01.250+08:00": local time with its offset and milliseconds.
QString payloadTime(const QDateTime &t);

// The report of a slot's sample, titled.
SlotReport slotReport(const SlotSample &sample, const QString &title);

// A reading as a JSON number, its digits as displayed ("12.30" stays
// 12.30, never rounded through a binary float); "null" for none.
QByteArray jsonNumber(const std::optional<ExactDecimal> &value);

// "ok", "no_reply", "bad_reply", "exception" or "invalid_value".
QByteArray statusWord(ReplyStatus s);

QByteArray linePayload(const QString &port, LineState state);
QByteArray slotPayload(const SlotReport &r);

// Home Assistant discovery: one retained config per value of the slot, under
// homeassistant/sensor/<clientId>/slot<k>_<item>/config (clientId of
// [A-Za-z0-9_-] only, as Home Assistant's node ids); the sensor is available
// while the station is online and the slot's last reading was ok. A value
// with a unit gets unit_of_measurement, and device_class and state_class
// where the unit leaves no doubt (V, A, W, kW, Wh, kWh, °C, Hz); one with
// places of its own gets suggested_display_precision.
QVector<PublishMessage> discoveryMessages(const QString &clientId, const QString &prefix,
                                          int slot, const QString &title, int valueCount,
                                          const QStringList &units = {},
                                          const QVector<std::optional<int>> &places = {});

} // namespace kelmar
