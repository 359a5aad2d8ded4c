// Publishing figures on loopback against Debian's mosquitto:
//  1. end of a polling tick -> the subscriber holds the tick's last message
//     (median, 99th percentile);
//  2. CPU the publisher adds to the program's thread at six meters a second;
//  3. 100,000 messages kept while the broker was away, flushed after the
//     reconnect: time and memory;
//  4. `refused [seconds]`: the process's CPU share while a broker refuses
//     (a loopback port nobody listens on, plain and TLS; TLS against a plain
//     listener), with the lamp's state and the notice at the end.
#include "brokerfixture.h"
#include "publisher.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <QTimeZone>

#include <mosquitto.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <vector>

using namespace kelmar;
using Clock = std::chrono::steady_clock;

namespace {

const QString Prefix = QStringLiteral("kelmar/bench");

// A subscriber of our own on its library thread, so that receipt times are
// taken when the message is there, not when our event loop gets round to it.
struct Receiver
{
    mosquitto *m = nullptr;
    std::atomic<long> count{0};
    std::atomic<bool> subscribed{false};
    std::mutex lock;
    std::vector<std::pair<QByteArray, Clock::time_point>> arrivals;
    bool keepArrivals = true;

    bool start(quint16 port)
    {
        m = mosquitto_new("bench-receiver", true, this);
        mosquitto_subscribe_callback_set(m, [](mosquitto *, void *self, int, int, const int *) {
            static_cast<Receiver *>(self)->subscribed = true;
        });
        mosquitto_message_callback_set(m, [](mosquitto *, void *self, const mosquitto_message *msg) {
            auto *r = static_cast<Receiver *>(self);
            const auto now = Clock::now();
            if (r->keepArrivals) {
                std::lock_guard<std::mutex> g(r->lock);
                r->arrivals.push_back({QByteArray(static_cast<const char *>(msg->payload), msg->payloadlen), now});
            }
            ++r->count;
        });
        mosquitto_connect_callback_set(m, [](mosquitto *mm, void *, int) {
            mosquitto_subscribe(mm, nullptr, "kelmar/bench/slot/#", 1);
        });
        if (mosquitto_connect(m, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS)
            return false;
        mosquitto_loop_start(m);
        return QTest::qWaitFor([this] { return subscribed.load(); }, 10000);
    }
    ~Receiver()
    {
        if (m) {
            mosquitto_disconnect(m);
            mosquitto_loop_stop(m, true);
            mosquitto_destroy(m);
        }
    }
};

// Readings as written ("12.34"), as the slot report carries them.
QVector<std::optional<ExactDecimal>> decimals(const QStringList &written)
{
    QVector<std::optional<ExactDecimal>> out;
    for (const QString &w : written)
        out << ExactDecimal::fromText(w);
    return out;
}

SlotReport reading(long tick, int k)
{
    static const QDateTime start(QDate(2026, 12, 7), QTime(19, 0, 0), QTimeZone(8 * 3600));
    SlotReport r;
    r.slot = k;
    r.id = k;
    r.title = QStringLiteral("表%1").arg(k);
    r.time = start.addMSecs(tick * 333 + k * 40);
    r.values = decimals({QStringLiteral("%1.%2").arg(tick).arg(k), QStringLiteral("-0.%1").arg(k)});
    return r;
}

double processCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + ts.tv_nsec / 1e9;
}

double threadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + ts.tv_nsec / 1e9;
}

long statusKb(const char *key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').first().toLong();
    return -1;
}

template <class Condition> void waitFor(Condition c, int ms)
{
    if (!QTest::qWaitFor(c, ms))
        std::fprintf(stderr, "timed out after %d ms: figures below are incomplete\n", ms);
}

PublishConfig configFor(quint16 port)
{
    PublishConfig c = defaultPublishConfig(QStringLiteral("bench"));
    c.enabled = true;
    c.port = port;
    c.topicPrefix = Prefix;
    return c;
}

const char *stateWord(BrokerState s)
{
    static const char *const words[] = {"off", "connecting", "connected", "waiting", "refused"};
    return words[int(s)];
}

// The whole process's CPU (the library, Qt's lookup thread) over `seconds`
// of trying, after the first second, which holds the first tries.
int refused(int seconds)
{
    test::Broker plain;
    test::Broker::Options o;
    o.tls = true;
    test::Broker secure(o); // for its CA certificate
    if (!plain.start() || !secure.start()) {
        std::fprintf(stderr, "no broker\n");
        return 1;
    }
    struct Case
    {
        const char *name;
        quint16 port;
        bool tls;
    };
    const quint16 closed = test::freeLoopbackPort();
    for (const Case &k : {Case{"plain, closed port", closed, false}, Case{"TLS, closed port", closed, true},
                          Case{"TLS, plain listener", plain.port(), true}}) {
        Publisher p;
        PublishConfig c = configFor(k.port);
        c.tls = k.tls;
        if (k.tls)
            c.cafile = secure.caFile();
        p.setConfig(c);
        QTest::qWait(1000);
        const double before = processCpuSeconds();
        QElapsedTimer t;
        t.start();
        QTest::qWait(seconds * 1000);
        const double share = (processCpuSeconds() - before) / (t.elapsed() / 1000.0) * 100;
        std::printf("%-20s CPU %.2f %% of a core over %d s; lamp %s; notice: %s\n", k.name, share, seconds,
                    stateWord(p.state()), qPrintable(p.notice().isEmpty() ? QStringLiteral("(none)") : p.notice()));
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "refused") == 0)
        return refused(argc > 2 ? std::max(2, atoi(argv[2])) : 10);
    const int ticks = argc > 1 ? std::max(10, atoi(argv[1])) : 1000;
    const int cpuSeconds = argc > 2 ? std::max(2, atoi(argv[2])) : 30;

    test::Broker broker;
    if (!broker.start()) {
        std::fprintf(stderr, "no broker\n");
        return 1;
    }
    Receiver receiver;
    if (!receiver.start(broker.port())) {
        std::fprintf(stderr, "no subscriber\n");
        return 1;
    }

    // 1. Latency: one tick of six slots every 20 ms.
    {
        Publisher p;
        p.setConfig(configFor(broker.port()));
        waitFor([&] { return p.state() == BrokerState::Connected; }, 10000);
        std::vector<Clock::time_point> tickEnd(ticks);
        for (int t = 0; t < ticks; ++t) {
            for (int k = 1; k <= 6; ++k)
                p.publishSlot(reading(t, k));
            tickEnd[t] = Clock::now();
            QTest::qWait(20);
        }
        waitFor([&] { return receiver.count.load() >= ticks * 6; }, 30000);
        std::vector<double> us;
        {
            std::lock_guard<std::mutex> g(receiver.lock);
            for (int t = 0; t < ticks; ++t) {
                const QByteArray last = slotPayload(reading(t, 6));
                for (const auto &[payload, when] : receiver.arrivals)
                    if (payload == last) {
                        us.push_back(std::chrono::duration<double, std::micro>(when - tickEnd[t]).count());
                        break;
                    }
            }
        }
        std::sort(us.begin(), us.end());
        std::printf("end of tick -> subscriber, %zu ticks of 6 messages, QoS 1:\n", us.size());
        if (!us.empty())
            std::printf("  median %.0f us, p99 %.0f us, max %.0f us\n", us[us.size() / 2],
                        us[std::min(us.size() - 1, us.size() * 99 / 100)], us.back());
    }
    receiver.keepArrivals = false;

    // 2. CPU of this thread over the same time, with and without publishing,
    //    six slot messages once a second.
    {
        auto run = [&](Publisher *p) {
            const double before = threadCpuSeconds();
            for (int s = 0; s < cpuSeconds; ++s) {
                if (p)
                    for (int k = 1; k <= 6; ++k)
                        p->publishSlot(reading(s, k));
                QTest::qWait(1000);
            }
            return threadCpuSeconds() - before;
        };
        const double idle = run(nullptr);
        Publisher p;
        p.setConfig(configFor(broker.port()));
        waitFor([&] { return p.state() == BrokerState::Connected; }, 10000);
        const double busy = run(&p);
        std::printf("CPU over %d s at six meters a second: without %.4f s, with %.4f s, "
                    "added %.4f percentage points\n",
                    cpuSeconds, idle, busy, (busy - idle) / cpuSeconds * 100);
        // The same from a burst: the thread's CPU for 1000 ticks, from the
        // first message built to the last acknowledgement read, per tick.
        const qint64 done = p.published() + 6000;
        const double before = threadCpuSeconds();
        for (int t = 0; t < 1000; ++t)
            for (int k = 1; k <= 6; ++k)
                p.publishSlot(reading(t, k));
        waitFor([&] { return p.published() >= done; }, 60000);
        const double perTick = (threadCpuSeconds() - before) / 1000;
        std::printf("CPU per tick of six messages (burst of 1000): %.1f us, at one tick a second "
                    "%.4f percentage points\n",
                    perTick * 1e6, perTick * 100);
    }

    // 3. 100,000 messages kept while nobody listens, then the broker is found.
    {
        const long n = 100000;
        Publisher p;
        PublishConfig c = configFor(test::freeLoopbackPort());
        c.queueLimit = int(n);
        p.setConfig(c);
        const long rssBefore = statusKb("VmRSS:");
        for (long i = 0; i < n; ++i)
            p.publishSlot(reading(i / 6, int(i % 6) + 1));
        const long rssQueued = statusKb("VmRSS:");
        const long countBefore = receiver.count.load();
        QElapsedTimer timer;
        timer.start();
        c.port = broker.port();
        p.setConfig(c);
        waitFor([&] { return p.queued() == 0; }, 600000);
        const double flushed = timer.elapsed() / 1000.0;
        waitFor([&] { return receiver.count.load() - countBefore >= n; }, 120000);
        const double received = timer.elapsed() / 1000.0;
        std::printf("100000 queued: RSS %ld kB before, %ld kB queued (%.0f bytes a message); "
                    "flushed and acknowledged in %.2f s, all at the subscriber after %.2f s; "
                    "peak RSS %ld kB; dropped %lld\n",
                    rssBefore, rssQueued, (rssQueued - rssBefore) * 1024.0 / n, flushed, received,
                    statusKb("VmHWM:"), static_cast<long long>(p.dropped()));
    }
    QFile load(QStringLiteral("/proc/loadavg"));
    if (load.open(QIODevice::ReadOnly))
        std::printf("load average while measuring: %s", load.readAll().constData());
    return 0;
}
