// The trend view over record files of one line a second (every field kind,
// some fields empty): 1 hour, 1 day, 7 days and 31 days. For each span, in
// a process of its own so that peak memory is the span's: the time from
// the load to the first drawn frame, the same when loaded again (parsed
// files come from the cache), zoom and pan steps until the new reduction
// is drawn, the CPU share while following a file that grows every second,
// peak memory; and a plain awk pass over the same files as the floor.
// Four kinds of files: "mixed" (six curves of every field kind, two off),
// "twelve" (all twelve curves with values), "noisy" (six curves of
// random values, each pixel column a full-height stroke) and "plant" (six
// meters' values that follow the working day, as a plant records them). The longest stall
// of the UI thread is measured by a timer that should fire every 5 ms. The
// span is loaded five times (parsed, then from the cache) beside a child
// process that keeps one core busy (a monitoring run or any other program
// on a two-core PC): the median and greatest of the loads' longest stalls,
// and of the UI thread's CPU time within one stall, its own work apart from
// waiting for a core (KELMAR_TRENDBENCH_BUSY=0: no busy core).
// Usage: kelmar_trendbench [folder for the generated files] [kind]
//        kelmar_trendbench --span <hours> <folder> [grab.png]
//        kelmar_trendbench --spin   (the busy core, until its parent ends)
#include "clock.h"
#include "recordformat.h"
#include "trendwindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QKeyEvent>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <qcustomplot.h>
#include <unistd.h>

using namespace kelmar;

namespace {

const QDateTime First(QDate(2025, 1, 1), QTime(0, 0));
constexpr int MaxDays = 31;

// One hour of lines: slot 1 a wave and a counter, slot 2 one value with a
// gap of ten minutes, slot 3 a negative value with four decimals, slot 4 the
// widest value, slots 5 and 6 off (empty).
// A fixed sequence of pseudo-random numbers in [0, 1): the same files every run.
double noise(qint64 n, int k)
{
    quint64 x = quint64(n) * 6364136223846793005ULL + quint64(k) * 1442695040888963407ULL;
    x ^= x >> 29;
    x *= 0xbf58476d1ce4e5b9ULL;
    x ^= x >> 32;
    return double(x % 1000000) / 1e6;
}

QString Kind = QStringLiteral("mixed");
const char *Phase = "start";

// Six values as a plant's meters give them: a voltage and a current that
// follow the working day, a cold-room temperature, an energy counter, the
// mains frequency and a power factor, each with a little noise.
QString plantValue(int k, qint64 n, double r)
{
    const double day = 2 * M_PI * double(n % 86400) / 86400;
    switch (k) {
    case 0:
        return QString::number(220 + 3 * std::sin(day) + 0.3 * r, 'f', 1);
    case 1:
        return QString::number(12 + 6 * std::max(0.0, std::sin(day - M_PI / 3)) + 0.2 * r, 'f', 2);
    case 2:
        return QString::number(-18 + 2 * std::sin(day + 1) + 0.2 * r, 'f', 1);
    case 3:
        return QString::number(16841711 + n / 10);
    case 4:
        return QString::number(50 + 0.03 * r, 'f', 2);
    default:
        return QString::number(0.95 - 0.03 * std::sin(day) + 0.005 * r, 'f', 3);
    }
}

QByteArray hourLines(const QDateTime &hour)
{
    if (Kind != QStringLiteral("mixed")) {
        QByteArray out;
        out.reserve(3600 * 130);
        const qint64 base = hour.toSecsSinceEpoch() - First.toSecsSinceEpoch();
        const bool twelve = Kind == QStringLiteral("twelve");
        const bool plant = Kind == QStringLiteral("plant");
        for (int i = 0; i < 3600; ++i) {
            const qint64 n = base + i;
            QStringList f;
            for (int k = 0; k < (twelve ? RecordValueCount : 6); ++k) {
                const double r = noise(n, k);
                if (plant)
                    f << plantValue(k, n, r);
                else if (!twelve)
                    f << QString::number((k % 2 ? -1000 : 220) + 40 * r, 'f', k % 3 + 1);
                else if (k % 3 == 0)
                    f << QString::number(100 * (k + 1) + 20 * std::sin(n / (300.0 + 50 * k)) + r, 'f', 2);
                else if (k % 3 == 1)
                    f << QString::number(16841711 + n * (k + 1));
                else
                    f << QString::number(-5 - 3 * r, 'f', 4);
            }
            out += encodeRecordLine(buildRecordLine(recordTimeText(hour.addSecs(i)), f));
        }
        return out;
    }
    QByteArray out;
    out.reserve(3600 * 100);
    const qint64 base = hour.toSecsSinceEpoch() - First.toSecsSinceEpoch();
    for (int i = 0; i < 3600; ++i) {
        const qint64 n = base + i;
        QStringList f;
        f << QString::number(230 + 5 * std::sin(n / 300.0), 'f', 1)
          << QString::number(16841711 + n) << (i >= 1200 && i < 1800 ? QString()
                                                : QString::number(50 + std::cos(n / 200.0), 'f', 2))
          << QString() << QString::number(-5 - (n % 120) / 60.0, 'f', 4) << QString()
          << QStringLiteral("-922337203685477.5808") << QString::number(n % 10000);
        out += encodeRecordLine(buildRecordLine(recordTimeText(hour.addSecs(i)), f));
    }
    return out;
}

bool generate(const QString &folder)
{
    QDir().mkpath(folder);
    for (int h = 0; h < MaxDays * 24; ++h) {
        const QDateTime hour = First.addSecs(qint64(h) * 3600);
        const QString path = QDir(folder).filePath(recordStamp(hour) + QStringLiteral(".txt"));
        if (QFileInfo(path).size() > 0)
            continue;
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(hourLines(hour)) < 0)
            return false;
    }
    return true;
}

double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + ts.tv_nsec / 1e9;
}

long peakKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

// Runs the event loop until the plot was drawn with the reduction for the
// span in view, one made after the action and its load; returns the
// milliseconds. (A span loaded again is in view before its new reduction is.)
double untilDrawn(TrendWindow &w, QCustomPlot *plot, const std::function<void()> &action)
{
    QElapsedTimer t;
    t.start();
    QEventLoop loop;
    bool done = false;
    bool viewCame = false;
    auto came = QObject::connect(&w.source(), &TrendSource::viewReady, &loop,
                                 [&] { viewCame = viewCame || !w.source().isLoading(); });
    auto check = [&] {
        if (!viewCame)
            return;
        const ReducedView &v = w.source().view();
        const QCPRange x = plot->xAxis->range();
        if (!w.source().isLoading() && w.source().sampleCount() > 0 && v.from == x.lower &&
            v.to == x.upper && plot->graph(0)->data()->size() > 0) {
            done = true;
            loop.quit();
        }
    };
    auto c = QObject::connect(plot, &QCustomPlot::afterReplot, &loop, check);
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    action();
    if (!done)
        loop.exec();
    QObject::disconnect(c);
    QObject::disconnect(came);
    return done ? t.nsecsElapsed() / 1e6 : -1;
}

// Keeps one core busy until it ends, or its parent does, or 20 minutes pass.
int spin()
{
    const pid_t parent = getppid();
    QElapsedTimer t;
    t.start();
    volatile quint64 n = 0;
    while (getppid() == parent && t.elapsed() < 20 * 60 * 1000)
        for (int i = 0; i < 1000000; ++i)
            n = n + 1;
    return 0;
}

// A child process spinning on one core while it lives.
class BusyCore
{
public:
    BusyCore()
    {
        if (qEnvironmentVariable("KELMAR_TRENDBENCH_BUSY") == QStringLiteral("0"))
            return;
        m_child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--spin")});
        m_child.waitForStarted();
    }
    ~BusyCore()
    {
        if (m_child.state() == QProcess::NotRunning)
            return;
        m_child.kill();
        m_child.waitForFinished();
    }

private:
    QProcess m_child;
};

double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + ts.tv_nsec / 1e6;
}

int runSpan(int hours, const QString &folder, const QString &grab)
{
    const QDateTime end = First.addSecs(qint64(hours) * 3600);
    ManualClock clock(end);
    // The longest the UI thread did not get to a 5 ms timer, and the CPU
    // time it spent meanwhile: its own work, apart from the waits for a core
    // on a machine shared with other programs.
    QElapsedTimer sinceTick;
    double cpuAtTick = 0;
    double stallMs = 0;
    double loadStallMs = 0; // during the two loads, one core busy
    double loadBusyMs = 0;
    bool loading = false;
    QTimer stallMeter;
    QObject::connect(&stallMeter, &QTimer::timeout, [&] {
        const double cpu = threadCpuMs();
        if (sinceTick.isValid()) {
            const double ms = sinceTick.nsecsElapsed() / 1e6 - 5;
            if (ms > 40 && qEnvironmentVariableIsSet("KELMAR_TRENDBENCH_STALLS"))
                std::fprintf(stderr, "stall %.0f ms (%.0f ms CPU) in %s\n", ms, cpu - cpuAtTick,
                             Phase);
            stallMs = std::max(stallMs, ms);
            if (loading) {
                loadStallMs = std::max(loadStallMs, ms);
                loadBusyMs = std::max(loadBusyMs, cpu - cpuAtTick);
            }
        }
        cpuAtTick = cpu;
        sinceTick.start();
    });
    stallMeter.start(5);
    TrendWindow w(clock);
    w.resize(1024 - 10, 768 - 40);
    w.show();
    QCustomPlot *plot = w.findChild<QCustomPlot *>(QStringLiteral("plot"));
    w.setRecordSource(folder + u'/', QStringLiteral("txt"));
    // The first open reads the newest hours; the span asked for follows.
    untilDrawn(w, plot, [] {});
    QCoreApplication::processEvents();
    // Loads with one core busy: the first parses the files, the others take
    // them from the cache. Each load's longest stall is kept.
    double first = 0, again = 0;
    QList<double> loadStalls, loadWork;
    {
        BusyCore busy;
        for (int i = 0; i < 5; ++i) {
            sinceTick.invalidate(); // starting the child is no stall of the window
            loadStallMs = loadBusyMs = 0;
            loading = true;
            Phase = i == 0 ? "first load" : "load again";
            const double ms = untilDrawn(w, plot, [&] { w.showHours(First, hours); });
            loading = false;
            (i == 0 ? first : again) = ms; // the last one
            loadStalls.append(loadStallMs);
            loadWork.append(loadBusyMs);
        }
    }
    std::sort(loadStalls.begin(), loadStalls.end());
    std::sort(loadWork.begin(), loadWork.end());
    const qint64 samples = w.source().sampleCount();
    // The reduction alone, in this thread's CPU time: free of the waits of a
    // machine shared with other work.
    QList<double> reduceMs;
    for (int i = 0; i < 5; ++i) {
        timespec a{}, b{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &a);
        const ReducedView v = reduce(w.source().blocks(), plot->xAxis->range().lower,
                                     plot->xAxis->range().upper, plot->axisRect()->width());
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &b);
        reduceMs.append((b.tv_sec - a.tv_sec) * 1e3 + (b.tv_nsec - a.tv_nsec) / 1e6);
    }
    std::sort(reduceMs.begin(), reduceMs.end());
    // One frame of the plot alone, drawn at once.
    QList<double> frameMs;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer f;
        f.start();
        plot->replot(QCustomPlot::rpImmediateRefresh);
        frameMs.append(f.nsecsElapsed() / 1e6);
    }
    std::sort(frameMs.begin(), frameMs.end());
    sinceTick.invalidate(); // the benchmark's own work is no stall of the window
    Phase = "zoom and pan";
    QList<double> zoom, pan;
    for (int i = 0; i < 6; ++i) {
        const auto key = i < 3 ? Qt::Key_Plus : Qt::Key_Minus;
        zoom.append(untilDrawn(w, plot, [&] {
            QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier);
            QApplication::sendEvent(plot, &e);
        }));
        pan.append(untilDrawn(w, plot, [&] {
            QKeyEvent e(QEvent::KeyPress, i % 2 ? Qt::Key_Right : Qt::Key_Left, Qt::NoModifier);
            QApplication::sendEvent(plot, &e);
        }));
    }
    std::sort(zoom.begin(), zoom.end());
    std::sort(pan.begin(), pan.end());
    if (!grab.isEmpty()) {
        QKeyEvent home(QEvent::KeyPress, Qt::Key_Home, Qt::NoModifier);
        untilDrawn(w, plot, [&] { QApplication::sendEvent(plot, &home); });
        w.grab().save(grab);
        sinceTick.invalidate();
    }

    // Following: a new file gets a line every second for 20 seconds, the
    // window keeps the span's width and ends now.
    // Named apart from the generated files, so no later run lists it.
    const QString live = QDir(folder).filePath(QStringLiteral("live-") + recordStamp(end) +
                                               QStringLiteral(".txt"));
    QFile::remove(live);
    QFile(live).open(QIODevice::WriteOnly);
    w.setCurrentFile(live);
    w.findChild<QCheckBox *>(QStringLiteral("follow"))->setChecked(false);
    w.findChild<QCheckBox *>(QStringLiteral("follow"))->setChecked(true);
    QTimer writer;
    int written = 0;
    QObject::connect(&writer, &QTimer::timeout, [&] {
        clock.advanceSeconds(1);
        QFile f(live);
        if (f.open(QIODevice::Append))
            f.write(encodeRecordLine(buildRecordLine(recordTimeText(clock.now()),
                                                     {QStringLiteral("220.0"), QString::number(written)})));
        ++written;
    });
    Phase = "following starts";
    QEventLoop settle;
    QTimer::singleShot(3000, &settle, &QEventLoop::quit);
    settle.exec();
    writer.start(1000);
    Phase = "following";
    // The meter's own wake-ups would count as the window's CPU.
    stallMeter.stop();
    const double cpu0 = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QEventLoop follow;
    QTimer::singleShot(20000, &follow, &QEventLoop::quit);
    follow.exec();
    const double cpuShare = 100 * (cpuSeconds() - cpu0) / (wall.nsecsElapsed() / 1e9);
    writer.stop();
    QFile::remove(live);

    std::printf("| %4d h | %9lld | %8.0f | %8.0f | %5.1f | %5.1f | %5.1f / %5.1f | %5.1f / %5.1f | "
                "%5.2f %% | %6.0f | %3.0f / %3.0f | %3.0f / %3.0f | %5.0f |",
                hours, samples, first, again, reduceMs[2], frameMs[2], zoom[zoom.size() / 2],
                zoom.last(), pan[pan.size() / 2], pan.last(), cpuShare, peakKb() / 1024.0,
                loadStalls[loadStalls.size() / 2], loadStalls.last(), loadWork[loadWork.size() / 2],
                loadWork.last(), stallMs);
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--spin") == 0)
        return spin();
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 4 && args[1] == QStringLiteral("--span"))
        return runSpan(args[2].toInt(), args[3], args.value(4));

    Kind = args.value(2, Kind);
    const QString folder =
        args.value(1, QDir::temp().filePath(QStringLiteral("kelmar_trendbench"))) +
        (Kind == QStringLiteral("mixed") ? QString() : u'-' + Kind);
    QElapsedTimer t;
    t.start();
    if (!generate(folder))
        return 1;
    std::printf("record files in %s (made or found in %.1f s)\n\n", qPrintable(folder),
                t.nsecsElapsed() / 1e9);
    std::printf(
        "| span   | lines     | first ms | again ms | reduce CPU ms | frame ms | zoom ms med/max | "
        "pan ms med/max | follow CPU | peak MB | load stall ms med/max, 1 core busy | its UI CPU "
        "ms med/max | UI stall ms | awk ms |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    std::fflush(stdout);
    const QStringList spans = qEnvironmentVariable("KELMAR_TRENDBENCH_SPANS",
                                                   QStringLiteral("1,24,168,744"))
                                  .split(u',');
    for (const QString &span : spans) {
        const int hours = span.toInt();
        QStringList files;
        for (int h = 0; h < hours; ++h)
            files << QDir(folder).filePath(recordStamp(First.addSecs(qint64(h) * 3600)) +
                                           QStringLiteral(".txt"));
        const QString grab =
            hours == 31 * 24
                ? QStringLiteral(KELMAR_BINARY_DIR "/grabs/trend-31days-%1-1024x768.png").arg(Kind)
                : QString();
        QDir().mkpath(QStringLiteral(KELMAR_BINARY_DIR "/grabs"));
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--span"), QString::number(hours), folder, grab});
        child.waitForFinished(-1);
        // The floor: one awk pass over the same files.
        QElapsedTimer a;
        a.start();
        QProcess awk;
        awk.start(QStringLiteral("awk"),
                  QStringList{QStringLiteral("-F\t"), QStringLiteral("{n++; s+=$2} END {print n}")} +
                      files);
        awk.waitForFinished(-1);
        std::printf(" %6.0f |\n", a.nsecsElapsed() / 1e6);
        std::fflush(stdout);
    }
    return 0;
}
