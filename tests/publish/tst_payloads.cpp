#include "payloads.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QTimeZone>

using namespace kelmar;

Q_DECLARE_METATYPE(kelmar::ReplyStatus)

class tst_Payloads : public QObject
{
    Q_OBJECT
private slots:
    void number_data();
    void number();
    void slot_data();
    void slot();
    void line_data();
    void line();
    void discovery_data();
    void discovery();
};

void tst_Payloads::number_data()
{
    QTest::addColumn<QString>("written");
    QTest::addColumn<QByteArray>("json");
    QTest::newRow("12.34") << "12.34" << QByteArray("12.34");
    QTest::newRow("trailing zero kept: 12.30") << "12.30" << QByteArray("12.30");
    QTest::newRow("-0.15") << "-0.15" << QByteArray("-0.15");
    QTest::newRow("whole 1234") << "1234" << QByteArray("1234");
    QTest::newRow("64-bit reading kept exact") << "18446744073709551615" << QByteArray("18446744073709551615");
    QTest::newRow("zero with places has no sign") << "-0.00" << QByteArray("0.00");
    QTest::newRow("no reading: null") << "" << QByteArray("null");
}

void tst_Payloads::number()
{
    QFETCH(QString, written);
    QFETCH(QByteArray, json);
    QCOMPARE(jsonNumber(ExactDecimal::fromText(written)), json);
    // Whatever comes out is a JSON value a strict parser accepts.
    QJsonParseError e;
    QJsonDocument::fromJson("[" + json + "]", &e);
    QCOMPARE(e.error, QJsonParseError::NoError);
}

void tst_Payloads::slot_data()
{
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("exception");
    QTest::addColumn<QStringList>("units");
    QTest::addColumn<QByteArray>("payload");

    const QDateTime taipei(QDate(2026, 12, 7), QTime(19, 0, 1, 250), QTimeZone(8 * 3600));
    const QByteArray head = R"({"time":"2026-12-07T19:00:01.250+08:00","slot":3,"id":3,"title":"爐溫 \"A\"",)";
    QTest::newRow("two values ok") << taipei << QStringList{"12.34", "-0.15"} << int(ReplyStatus::Ok) << 0 << QStringList()
                                  << head + R"("values":[12.34,-0.15],"status":"ok"})";
    QTest::newRow("one-value model") << taipei << QStringList{"1234"} << int(ReplyStatus::Ok) << 0 << QStringList()
                                    << head + R"("values":[1234],"status":"ok"})";
    QTest::newRow("no reply: nulls") << taipei << QStringList{"", ""} << int(ReplyStatus::NoReply) << 0 << QStringList()
                                    << head + R"("values":[null,null],"status":"no_reply"})";
    QTest::newRow("bad CRC is bad_reply") << taipei << QStringList{""} << int(ReplyStatus::BadCrc) << 0 << QStringList()
                                         << head + R"("values":[null],"status":"bad_reply"})";
    QTest::newRow("wrong slave is bad_reply") << taipei << QStringList{""} << int(ReplyStatus::WrongSlave) << 0 << QStringList()
                                             << head + R"("values":[null],"status":"bad_reply"})";
    QTest::newRow("exception carries its code") << taipei << QStringList{"", ""} << int(ReplyStatus::Exception) << 2 << QStringList()
                                               << head + R"("values":[null,null],"status":"exception","exception":2})";
    QTest::newRow("negative offset, midnight")
        << QDateTime(QDate(2027, 1, 1), QTime(0, 0, 0, 5), QTimeZone(-(3 * 3600 + 30 * 60)))
        << QStringList{"0.0"} << int(ReplyStatus::Ok) << 0 << QStringList()
        << QByteArray(R"({"time":"2027-01-01T00:00:00.005-03:30","slot":3,"id":3,"title":"爐溫 \"A\"",)")
               + R"("values":[0.0],"status":"ok"})";
    QTest::newRow("units of a models.ini model after the values")
        << taipei << QStringList{"230.5", "1.25"} << int(ReplyStatus::Ok) << 0 << QStringList{"V", "°C"}
        << head + R"("values":[230.5,1.25],"units":["V","°C"],"status":"ok"})";
    QTest::newRow("NaN float is invalid_value")
        << taipei << QStringList{""} << int(ReplyStatus::InvalidValue) << 0 << QStringList{"kWh"}
        << head + R"("values":[null],"units":["kWh"],"status":"invalid_value"})";
}

void tst_Payloads::slot()
{
    QFETCH(QDateTime, time);
    QFETCH(QStringList, values);
    QFETCH(int, status);
    QFETCH(int, exception);
    QFETCH(QStringList, units);
    QFETCH(QByteArray, payload);
    SlotReport r;
    r.units = units;
    r.slot = 3;
    r.id = 3;
    r.title = QStringLiteral("爐溫 \"A\"");
    r.time = time;
    for (const QString &v : values)
        r.values << ExactDecimal::fromText(v);
    r.status = ReplyStatus(status);
    r.exceptionCode = exception;
    const QByteArray out = slotPayload(r);
    QCOMPARE(QString::fromUtf8(out), QString::fromUtf8(payload));
    QJsonParseError e;
    const QJsonObject o = QJsonDocument::fromJson(out, &e).object();
    QCOMPARE(e.error, QJsonParseError::NoError);
    QCOMPARE(o.value("title").toString(), r.title);
}

void tst_Payloads::line_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QByteArray>("payload");
    QTest::newRow("open") << int(LineState::Open) << QByteArray(R"({"port":"COM1","state":"open"})");
    QTest::newRow("lost") << int(LineState::Lost) << QByteArray(R"({"port":"COM1","state":"lost"})");
    QTest::newRow("closed") << int(LineState::Closed) << QByteArray(R"({"port":"COM1","state":"closed"})");
}

void tst_Payloads::line()
{
    QFETCH(int, state);
    QFETCH(QByteArray, payload);
    QCOMPARE(linePayload(QStringLiteral("COM1"), LineState(state)), payload);
}

void tst_Payloads::discovery_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("values");
    QTest::addColumn<QString>("firstName");
    QTest::addColumn<QStringList>("units");
    QTest::addColumn<QList<int>>("places"); // -1: none
    // Per value: unit, device class, state class, display precision ("-": not given).
    QTest::addColumn<QStringList>("classes");
    QTest::newRow("two values, titled") << QStringLiteral("爐溫") << 2 << QStringLiteral("爐溫 1")
                                        << QStringList() << QList<int>() << QStringList{"- - - -", "- - - -"};
    QTest::newRow("one value, untitled") << QString() << 1 << QStringLiteral("slot 4 1") << QStringList()
                                         << QList<int>() << QStringList{"- - - -"};
    QTest::newRow("kWh is increasing energy, V a measured voltage")
        << QString() << 2 << QStringLiteral("slot 4 1") << QStringList{"kWh", "V"} << QList<int>{0, 1}
        << QStringList{"kWh energy total_increasing 0", "V voltage measurement 1"};
    QTest::newRow("°C and Hz classed")
        << QString() << 2 << QStringLiteral("slot 4 1") << QStringList{"°C", "Hz"} << QList<int>{-1, 2}
        << QStringList{"°C temperature measurement -", "Hz frequency measurement 2"};
    QTest::newRow("% has a unit but no class")
        << QString() << 2 << QStringLiteral("slot 4 1") << QStringList{"%", ""} << QList<int>{1, 3}
        << QStringList{"% - - 1", "- - - 3"};
}

void tst_Payloads::discovery()
{
    QFETCH(QString, title);
    QFETCH(int, values);
    QFETCH(QString, firstName);
    QFETCH(QStringList, units);
    QFETCH(QList<int>, places);
    QFETCH(QStringList, classes);
    QVector<std::optional<int>> precision;
    for (int p : places)
        precision << (p < 0 ? std::nullopt : std::optional<int>(p));
    const auto messages = discoveryMessages(QStringLiteral("kelmar-t-line7"), QStringLiteral("kelmar/line7"),
                                            4, title, values, units, precision);
    QCOMPARE(messages.size(), values);
    for (int i = 0; i < values; ++i) {
        const PublishMessage &m = messages[i];
        QCOMPARE(m.topic, QStringLiteral("homeassistant/sensor/kelmar-t-line7/slot4_%1/config").arg(i + 1));
        QVERIFY(m.retain);
        QJsonParseError e;
        const QJsonObject o = QJsonDocument::fromJson(m.payload, &e).object();
        QCOMPARE(e.error, QJsonParseError::NoError);
        if (i == 0)
            QCOMPARE(o.value("name").toString(), firstName);
        QCOMPARE(o.value("state_topic").toString(), QStringLiteral("kelmar/line7/slot/4"));
        QCOMPARE(o.value("value_template").toString(), QStringLiteral("{{ value_json['values'][%1] }}").arg(i));
        QCOMPARE(o.value("unique_id").toString(), QStringLiteral("kelmar-t-line7_slot4_%1").arg(i + 1));
        const QJsonArray availability = o.value("availability").toArray();
        QCOMPARE(availability.size(), 2);
        QCOMPARE(availability[0].toObject().value("topic").toString(), QStringLiteral("kelmar/line7/status"));
        QCOMPARE(availability[1].toObject().value("topic").toString(), QStringLiteral("kelmar/line7/slot/4"));
        QCOMPARE(o.value("availability_mode").toString(), QStringLiteral("all"));
        QStringList seen;
        for (const char *key : {"unit_of_measurement", "device_class", "state_class", "suggested_display_precision"})
            seen << (!o.contains(key) ? QStringLiteral("-")
                     : o.value(key).isDouble() ? QString::number(o.value(key).toInt())
                                               : o.value(key).toString());
        QCOMPARE(seen.join(u' '), classes[i]);
        QCOMPARE(o.value("device").toObject().value("identifiers").toArray().first().toString(),
                 QStringLiteral("kelmar-t-line7"));
    }
}

QTEST_GUILESS_MAIN(tst_Payloads)
#include "tst_payloads.moc"
