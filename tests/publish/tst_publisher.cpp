#include "publisher.h"

#include "brokerfixture.h"

#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <memory>

using namespace kelmar;
using namespace kelmar::test;

namespace {

const QString Prefix = QStringLiteral("kelmar/test");
const QDateTime Start(QDate(2026, 12, 7), QTime(19, 0, 0), QTimeZone(8 * 3600));

PublishConfig configFor(quint16 port)
{
    PublishConfig c = defaultPublishConfig(QStringLiteral("test"));
    c.enabled = true;
    c.port = port;
    c.topicPrefix = Prefix;
    c.clientId = QStringLiteral("publisher-under-test");
    return c;
}

// Readings as written ("12.34"), as the slot report carries them.
QVector<std::optional<ExactDecimal>> decimals(const QStringList &written)
{
    QVector<std::optional<ExactDecimal>> out;
    for (const QString &w : written)
        out << ExactDecimal::fromText(w);
    return out;
}

// Slot k's reading in tick t, as the simulated line's meters give them: two
// values, slot 6 a one-value model, slot 5 answering tick 2 with exception 2.
SlotReport reading(int tick, int k)
{
    SlotReport r;
    r.slot = k;
    r.id = k;
    r.title = QStringLiteral("表%1").arg(k);
    r.time = Start.addMSecs(tick * 1000 + k * 40);
    if (k == 5 && tick == 2) {
        r.values = decimals({QString(), QString()});
        r.status = ReplyStatus::Exception;
        r.exceptionCode = 2;
    } else if (k == 6) {
        r.values = decimals({QStringLiteral("%1").arg(tick * 7)});
    } else {
        r.values = decimals({QStringLiteral("%1.%2").arg(k * 100 + tick).arg(tick % 100, 2, 10, QLatin1Char('0')),
                               QStringLiteral("-0.%1").arg(k * 10 + tick % 10)});
    }
    return r;
}

QList<QByteArray> expectedPayloads(int firstTick, int lastTick)
{
    QList<QByteArray> out;
    for (int t = firstTick; t <= lastTick; ++t)
        for (int k = 1; k <= 6; ++k)
            out << slotPayload(reading(t, k));
    return out;
}

void publishTicks(Publisher &p, int firstTick, int lastTick)
{
    for (int t = firstTick; t <= lastTick; ++t)
        for (int k = 1; k <= 6; ++k)
            p.publishSlot(reading(t, k));
}

// The slot messages of all six topics, in arrival order.
QList<QByteArray> slotMessages(Subscriber &s)
{
    QList<QByteArray> out;
    for (const auto &[topic, payload] : s.messages())
        if (topic.startsWith(Prefix + QStringLiteral("/slot/")))
            out << payload;
    return out;
}

} // namespace

class tst_Publisher : public QObject
{
    Q_OBJECT
private slots:
    void reconnectPause_data();
    void reconnectPause();
    void ticksArrive_data();
    void ticksArrive();
    void brokerAwayLosesNothing();
    void overflowDropsOldest_data();
    void overflowDropsOldest();
    void endLeavesRetainedState_data();
    void endLeavesRetainedState();
    void login_data();
    void login();
    void tls_data();
    void tls();
    void failedConnectionBacksOff_data();
    void failedConnectionBacksOff();
    void discoveryFollowsClientId_data();
    void discoveryFollowsClientId();
};

void tst_Publisher::reconnectPause_data()
{
    QTest::addColumn<int>("attempt");
    QTest::addColumn<int>("pauseMs");
    QTest::newRow("first try after 1 s") << 1 << 1000;
    QTest::newRow("second after 2 s") << 2 << 2000;
    QTest::newRow("fifth after 16 s") << 5 << 16000;
    QTest::newRow("sixth capped at 30 s") << 6 << 30000;
    QTest::newRow("hundredth stays 30 s") << 100 << 30000;
}

void tst_Publisher::reconnectPause()
{
    QFETCH(int, attempt);
    QFETCH(int, pauseMs);
    QCOMPARE(Publisher::reconnectPauseMs(attempt), pauseMs);
}

void tst_Publisher::ticksArrive_data()
{
    QTest::addColumn<int>("qos");
    QTest::addColumn<bool>("discovery");
    QTest::addColumn<QString>("host");
    QTest::newRow("qos 1, six slots, 20 ticks") << 1 << false << "127.0.0.1";
    QTest::newRow("qos 0, six slots, 20 ticks") << 0 << false << "127.0.0.1";
    QTest::newRow("qos 1 with discovery") << 1 << true << "127.0.0.1";
    QTest::newRow("broker by name, looked up first") << 1 << false << "localhost";
}

void tst_Publisher::ticksArrive()
{
    QFETCH(int, qos);
    QFETCH(bool, discovery);
    QFETCH(QString, host);
    Broker broker;
    QVERIFY(broker.start());
    Subscriber sub(broker, {Prefix + QStringLiteral("/#"), QStringLiteral("homeassistant/#")});
    QVERIFY(sub.start());
    Publisher p;
    PublishConfig c = configFor(broker.port());
    c.qos = qos;
    c.discovery = discovery;
    c.host = host;
    p.setConfig(c);
    QTRY_COMPARE_WITH_TIMEOUT(p.state(), BrokerState::Connected, 10000);
    p.publishLine(QStringLiteral("COM1"), LineState::Open);
    publishTicks(p, 1, 20);

    const QList<QByteArray> expected = expectedPayloads(1, 20);
    QTRY_COMPARE_WITH_TIMEOUT(slotMessages(sub).size(), expected.size(), 15000);
    QCOMPARE(slotMessages(sub), expected);
    QTRY_COMPARE_WITH_TIMEOUT(p.published(), qint64(expected.size() + 1 + (discovery ? 11 : 0)), 10000);
    QCOMPARE(p.queued(), qint64(0));
    QVERIFY(sub.payloads(Prefix + QStringLiteral("/status")).contains("online"));
    QVERIFY(sub.payloads(Prefix + QStringLiteral("/line")).contains(R"({"port":"COM1","state":"open"})"));
    const QList<QByteArray> config =
        sub.payloads(QStringLiteral("homeassistant/sensor/publisher-under-test/slot6_1/config"));
    QCOMPARE(config.isEmpty(), !discovery);
    // A one-value model announces one value only.
    QVERIFY(sub.payloads(QStringLiteral("homeassistant/sensor/publisher-under-test/slot6_2/config")).isEmpty());
}

void tst_Publisher::brokerAwayLosesNothing()
{
    Broker::Options o;
    o.persistence = true; // the subscriber's session outlives the broker's restart
    Broker broker(o);
    QVERIFY(broker.start());
    const QStringList topics{Prefix + QStringLiteral("/slot/#")};
    Subscriber before(broker, topics, QStringLiteral("keeper"));
    QVERIFY(before.start());
    Publisher p;
    p.setConfig(configFor(broker.port()));
    QTRY_COMPARE_WITH_TIMEOUT(p.state(), BrokerState::Connected, 10000);
    publishTicks(p, 1, 3);
    QTRY_COMPARE_WITH_TIMEOUT(slotMessages(before).size(), 18, 10000);

    broker.stop();
    before.stop();
    QTRY_VERIFY_WITH_TIMEOUT(p.state() != BrokerState::Connected, 10000);
    // Ticks go on while the broker is away: a tick every 250 ms for 5 s.
    for (int t = 4; t <= 23; ++t) {
        publishTicks(p, t, t);
        QTest::qWait(250);
    }
    QCOMPARE(p.queued(), qint64(20 * 6));
    QVERIFY(broker.start());
    Subscriber after(broker, topics, QStringLiteral("keeper"));
    QVERIFY(after.start());
    QTRY_COMPARE_WITH_TIMEOUT(p.state(), BrokerState::Connected, 40000);
    publishTicks(p, 24, 25);

    const QList<QByteArray> expected = expectedPayloads(1, 25);
    QList<QByteArray> got = slotMessages(before);
    auto distinct = [&] {
        got = slotMessages(before) + slotMessages(after);
        return QSet<QByteArray>(got.cbegin(), got.cend()).size();
    };
    QTRY_COMPARE_WITH_TIMEOUT(distinct(), expected.size(), 20000);
    // In order, nothing lost; a message can come twice only when its
    // acknowledgement was lost with the connection, and then it comes again
    // with the ones after it.
    QList<QByteArray> firstSeen;
    for (const QByteArray &m : got)
        if (!firstSeen.contains(m))
            firstSeen << m;
    QCOMPARE(firstSeen, expected);
    QVERIFY2(got.size() - expected.size() <= 18, qPrintable(QString::number(got.size())));
    QTRY_COMPARE_WITH_TIMEOUT(p.queued(), qint64(0), 10000);
    QCOMPARE(p.dropped(), qint64(0));
}

void tst_Publisher::overflowDropsOldest_data()
{
    QTest::addColumn<int>("limit");
    QTest::addColumn<int>("ticks"); // one message per tick (slot 1)
    QTest::newRow("8 into 5: the first 3 go") << 5 << 8;
    QTest::newRow("4 into 1: only the last stays") << 1 << 4;
    QTest::newRow("3 into 10: none go") << 10 << 3;
}

void tst_Publisher::overflowDropsOldest()
{
    QFETCH(int, limit);
    QFETCH(int, ticks);
    Broker broker;
    QVERIFY(broker.start());
    Subscriber sub(broker, {Prefix + QStringLiteral("/slot/#")});
    QVERIFY(sub.start());

    Publisher p;
    PublishConfig c = configFor(freeLoopbackPort()); // nobody listens there
    c.queueLimit = limit;
    p.setConfig(c);
    QTRY_COMPARE_WITH_TIMEOUT(p.state(), BrokerState::Waiting, 10000);
    QList<QByteArray> sent;
    for (int t = 1; t <= ticks; ++t) {
        p.publishSlot(reading(t, 1));
        sent << slotPayload(reading(t, 1));
    }
    const int kept = std::min(limit, ticks);
    QCOMPARE(p.queued(), qint64(kept));
    QCOMPARE(p.dropped(), qint64(ticks - kept));

    c.port = broker.port(); // the broker is found: the kept ones go out
    p.setConfig(c);
    QTRY_COMPARE_WITH_TIMEOUT(slotMessages(sub).size(), kept, 10000);
    QCOMPARE(slotMessages(sub), sent.mid(ticks - kept));
    QCOMPARE(p.dropped(), qint64(ticks - kept));
}

void tst_Publisher::endLeavesRetainedState_data()
{
    QTest::addColumn<bool>("killed");
    QTest::addColumn<QStringList>("seen"); // "topic payload", in order of arrival
    const QString open = QStringLiteral(R"(line {"port":"COM1","state":"open"})");
    QTest::newRow("normal end: line closed, then offline")
        << false << QStringList{"status online", open, R"(line {"port":"COM1","state":"closed"})", "status offline"};
    QTest::newRow("killed: offline by the will, line left open") << true << QStringList{"status online", open, "status offline"};
}

void tst_Publisher::endLeavesRetainedState()
{
    QFETCH(bool, killed);
    QFETCH(QStringList, seen);
    Broker broker;
    QVERIFY(broker.start());
    const QString prefix = QStringLiteral("kelmar/probe");
    Subscriber sub(broker, {prefix + QStringLiteral("/status"), prefix + QStringLiteral("/line")});
    QVERIFY(sub.start());
    auto arrived = [&] {
        QStringList out;
        for (const auto &[topic, payload] : sub.messages())
            out << topic.mid(prefix.size() + 1) + u' ' + QString::fromUtf8(payload);
        return out;
    };
    QProcess probe;
    const auto stopProbe = qScopeGuard([&probe] {
        probe.kill();
        probe.waitForFinished(10000);
    });
    probe.start(QStringLiteral(KELMAR_PROBE), {QString::number(broker.port()), prefix});
    QVERIFY(probe.waitForStarted(10000));
    QTRY_COMPARE_WITH_TIMEOUT(arrived(), seen.mid(0, 2), 10000);
    if (killed)
        probe.kill(); // no chance to say goodbye: the broker sends the last will
    else
        probe.closeWriteChannel();
    QVERIFY(probe.waitForFinished(10000));
    QTRY_COMPARE_WITH_TIMEOUT(arrived(), seen, 10000);
}

void tst_Publisher::login_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("brokerPassword"); // in the broker's password file
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("right password connects") << "line7" << "s3cret" << "s3cret" << true;
    QTest::newRow("password with , ; # = \" \\ and blanks connects")
        << "line7" << R"( a,b;c#d=e"f\g h )" << R"( a,b;c#d=e"f\g h )" << true;
    QTest::newRow("wrong password refused") << "line7" << "s3cret" << "guess" << false;
    QTest::newRow("no user name refused") << "" << "s3cret" << "" << false;
}

void tst_Publisher::login()
{
    QFETCH(QString, user);
    QFETCH(QString, brokerPassword);
    QFETCH(QString, typed);
    QFETCH(bool, accepted);
    Broker::Options o;
    o.passwordUser = QStringLiteral("line7");
    o.password = brokerPassword;
    Broker broker(o);
    QVERIFY(broker.start());
    // The password reaches the broker through publish.ini, as at a start.
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("publish.ini"));
    PublishConfig c = configFor(broker.port());
    c.username = user;
    c.password = typed;
    QVERIFY(savePublishConfig(ini, c).ok);
    Publisher p;
    QSignalSpy notices(&p, &Publisher::noticeChanged);
    p.setConfig(loadPublishConfig(ini, QStringLiteral("test")).config);
    if (accepted) {
        QTRY_COMPARE_WITH_TIMEOUT(p.state(), BrokerState::Connected, 10000);
        QCOMPARE(notices.size(), 0);
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(p.state(), BrokerState::Refused, 10000);
        QCOMPARE(notices.size(), 1);
        const QString text = notices[0][0].toString();
        QVERIFY2(text.contains(QStringLiteral("拒絕登入")) && text.contains(QStringLiteral("refused the login")),
                 qPrintable(text));
        // Readings keep being kept for when the login is put right.
        p.publishSlot(reading(1, 1));
        QCOMPARE(p.queued(), qint64(1));
    }
}

void tst_Publisher::tls_data()
{
    QTest::addColumn<bool>("rightCa");
    QTest::newRow("CA that signed the broker: connects") << true;
    QTest::newRow("another CA: TLS notice") << false;
}

void tst_Publisher::tls()
{
    QFETCH(bool, rightCa);
    Broker::Options o;
    o.tls = true;
    Broker broker(o);
    QVERIFY(broker.start());
    Publisher p;
    QSignalSpy notices(&p, &Publisher::noticeChanged);
    PublishConfig c = configFor(broker.port());
    c.tls = true;
    c.cafile = rightCa ? broker.caFile() : broker.otherCaFile();
    p.setConfig(c);
    if (rightCa) {
        Subscriber sub(broker, {Prefix + QStringLiteral("/slot/#")}, QString(), broker.caFile());
        QVERIFY(sub.start());
        QTRY_COMPARE_WITH_TIMEOUT(p.state(), BrokerState::Connected, 10000);
        p.publishSlot(reading(1, 2));
        QTRY_COMPARE_WITH_TIMEOUT(slotMessages(sub), QList<QByteArray>{slotPayload(reading(1, 2))}, 10000);
        QCOMPARE(notices.size(), 0);
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(p.state(), BrokerState::Refused, 10000);
        QVERIFY(notices.size() >= 1);
        const QString text = notices.last()[0].toString();
        QVERIFY2(text.contains(QStringLiteral("TLS 連線失敗")) && text.contains(QStringLiteral("TLS with broker")),
                 qPrintable(text));
    }
}

void tst_Publisher::failedConnectionBacksOff_data()
{
    QTest::addColumn<bool>("tls");
    QTest::addColumn<bool>("plainListener"); // else a port nobody listens on
    QTest::addColumn<QString>("reason"); // a pattern; "" when the system may give one of several
#ifdef Q_OS_WIN
    // Under Wine a refusal that comes before the library's first packet is a reset to it.
    const QString refused = QStringLiteral("refused|reset");
#else
    const QString refused = QStringLiteral("refused");
#endif
    QTest::newRow("plain, closed port: refusal named") << false << false << refused;
    QTest::newRow("TLS, closed port: refusal named") << true << false << refused;
    // The broker resets the connection on the first bytes of the handshake:
    // before or after the connection is seen to stand, as the race goes.
    QTest::newRow("TLS to a plain listener: named") << true << true << "";
}

// Every failure ends the attempt, is named with host, port and reason in
// both languages, and leaves the next try to the pause.
void tst_Publisher::failedConnectionBacksOff()
{
    QFETCH(bool, tls);
    QFETCH(bool, plainListener);
    QFETCH(QString, reason);
    Broker::Options o;
    o.tls = true; // for its CA certificate
    Broker secure(o);
    Broker plain;
    QVERIFY(secure.start() && plain.start());
    Publisher p;
    PublishConfig c = configFor(plainListener ? plain.port() : freeLoopbackPort());
    c.tls = tls;
    c.cafile = secure.caFile();
    p.setConfig(c);
    QTRY_VERIFY_WITH_TIMEOUT(p.state() == BrokerState::Waiting || p.state() == BrokerState::Refused, 10000);
    const QString text = p.notice();
    QVERIFY2(
        text.contains(QStringLiteral("MQTT 代理 127.0.0.1:%1").arg(c.port)) &&
            text.contains(QStringLiteral("broker 127.0.0.1:%1").arg(c.port)) &&
            text.contains(QRegularExpression(reason, QRegularExpression::CaseInsensitiveOption)),
        qPrintable(text));
    QSignalSpy states(&p, &Publisher::stateChanged);
    QVERIFY(!states.wait(Publisher::reconnectPauseMs(1) / 2)); // the next try waits its pause
}

void tst_Publisher::discoveryFollowsClientId_data()
{
    QTest::addColumn<bool>("restart");
    QTest::newRow("client_id changed while running") << false;
    QTest::newRow("client_id changed between runs") << true;
}

void tst_Publisher::discoveryFollowsClientId()
{
    QFETCH(bool, restart);
    Broker broker;
    QVERIFY(broker.start());
    Subscriber watch(broker, {QStringLiteral("homeassistant/#")});
    QVERIFY(watch.start());
    auto config = [](const char *id) { return QStringLiteral("homeassistant/sensor/%1/slot6_1/config").arg(id); };
    auto last = [&](const QString &topic) { return watch.payloads(topic).value(watch.payloads(topic).size() - 1); };
    auto station = [&](const char *id, const QString &prefix) {
        PublishConfig c = configFor(broker.port());
        c.clientId = QLatin1String(id);
        c.topicPrefix = prefix;
        c.discovery = true;
        return c;
    };
    Publisher other; // another station's device, which must stay
    other.setConfig(station("other-station", QStringLiteral("kelmar/other")));
    other.publishSlot(reading(1, 6));
    auto p = std::make_unique<Publisher>();
    p->setConfig(station("station-a", Prefix));
    p->publishSlot(reading(1, 6));
    QTRY_VERIFY_WITH_TIMEOUT(last(config("station-a")).startsWith('{') && last(config("other-station")).startsWith('{'),
                             10000);
    if (restart)
        p = std::make_unique<Publisher>();
    p->setConfig(station("station-b", Prefix));
    p->publishSlot(reading(2, 6));
    // mosquitto_sub shows an empty payload, which removes a retained message, as "(null)".
    QTRY_COMPARE_WITH_TIMEOUT(last(config("station-a")), QByteArray("(null)"), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(last(config("station-b")).startsWith('{'), 10000);
    // What Home Assistant finds when it subscribes now: the new device and the other station's.
    Subscriber later(broker, {QStringLiteral("homeassistant/#")});
    QVERIFY(later.start());
    QTRY_VERIFY_WITH_TIMEOUT(!later.payloads(config("station-b")).isEmpty()
                                 && !later.payloads(config("other-station")).isEmpty(),
                             10000);
    QVERIFY(later.payloads(config("station-a")).isEmpty());
}

QTEST_GUILESS_MAIN(tst_Publisher)
#include "tst_publisher.moc"
