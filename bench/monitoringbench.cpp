// A monitoring run as on the factory floor, measured: six two-value meters
// on a simulated line paced as real wires at 9600 baud (twelve transactions
// a tick), polling every second, recording every second. Prints the CPU
// share, the peak resident memory, the record lines against the expected
// count, how far each line's time stamp lies from the moment it was
// written, and whether any line repeats the one before.
//
//   kelmar_monitoringbench [seconds] [--windows | --service]     (default 60 s)
//
// With --service the run is the program without windows, as a separate
// process: see servicerun.cpp.
// With --windows the run is the program's own: the main window started as
// the operator does (connect, start, recording on), the display window shown
// and drawn. Without a display it runs itself again under xvfb-run. It then
// runs a bare label window that wakes and redraws as often as the program
// did, for as long: what waking and drawing alone cost on this machine.

#include "clock.h"
#include "intervaltimer.h"
#include "recordfile.h"
#include "recordformat.h"
#include "session.h"
#include "lendport.h"
#include "simulatedline.h"
#include "socatpair.h"
#include "testmeters.h"
#include "findcontrol.h"
#include "form1.h"
#include "form2.h"
#include "stationform.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QEventLoop>
#include <QTest>
#include <QLabel>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

using namespace kelmar;

int serviceRun(int seconds, const QString &program, const QString &simulator);

namespace {

int fail(const QString &why)
{
    std::fprintf(stderr, "monitoringbench: %s\n", qPrintable(why));
    return 1;
}

// Runs the event loop for a while, waking for nothing but the program's own
// events: QTest::qWait wakes every 10 ms and would count its own polling.
void runEvents(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Counts the redraws of whole windows: one per pass that paints anything.
// It watches the windows only, not every event of the program, so that the
// counting costs next to nothing.
class RedrawCounter : public QObject
{
public:
    int redraws = 0;

    void watchWindows()
    {
        for (QWidget *w : QApplication::topLevelWidgets())
            w->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::UpdateRequest)
            ++redraws;
        return false;
    }
};

// Voluntary switches of the calling thread: how often it slept and woke.
long threadWakeups()
{
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return u.ru_nvcsw;
}

// What the machine charges for waking and redrawing alone: a bare label
// window whose thread wakes and redraws as often as the program's did.
double floorCpuPercent(int seconds, double wakeupsPerSecond, double redrawsPerSecond)
{
    QLabel bare;
    bare.resize(300, 60);
    bare.show();
    runEvents(1000);
    QTimer wake;
    wake.setTimerType(Qt::PreciseTimer);
    long ticks = 0;
    QObject::connect(&wake, &QTimer::timeout, [&] {
        ++ticks;
        // Redraws spread evenly over the wake-ups.
        if (long(ticks * redrawsPerSecond / wakeupsPerSecond)
            != long((ticks - 1) * redrawsPerSecond / wakeupsPerSecond))
            bare.setText(QString::number(ticks));
    });
    wake.start(std::max(1, int(1000 / std::max(1.0, wakeupsPerSecond))));
    QElapsedTimer run;
    run.start();
    const double cpuStart = test::processCpuSeconds();
    runEvents(seconds * 1000);
    return 100.0 * (test::processCpuSeconds() - cpuStart) / (run.elapsed() / 1000.0);
}

// The same program under a virtual display of the operators' screen size.
int runUnderXvfb(int argc, char *argv[])
{
    std::vector<char *> args = {const_cast<char *>("xvfb-run"), const_cast<char *>("-a"),
                                const_cast<char *>("-s"),
                                const_cast<char *>("-screen 0 1024x768x24")};
    args.insert(args.end(), argv, argv + argc);
    args.push_back(nullptr);
    execvp(args[0], args.data());
    std::perror("monitoringbench: xvfb-run");
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    int seconds = 60;
    bool windows = false;
    bool service = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--windows") == 0)
            windows = true;
        else if (std::strcmp(argv[i], "--service") == 0)
            service = true;
        else
            seconds = std::max(5, atoi(argv[i]));
    }
    if (windows && qEnvironmentVariableIsEmpty("DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return runUnderXvfb(argc, argv);
    if (service) {
        QCoreApplication app(argc, argv);
        return serviceRun(seconds, QStringLiteral(KELMAR_PROGRAM),
                          test::SimulatedLine::simulatorPath());
    }
    std::unique_ptr<QCoreApplication> app =
        windows ? std::make_unique<QApplication>(argc, argv)
                : std::make_unique<QCoreApplication>(argc, argv);

    test::SimulatedLine line;
    line.setPaced(true);
    QString error;
    if (!line.start({QStringLiteral("--demo")}, &error))
        return fail(error);

    line.port().setPortOpen(false); // the line opens it as the program does
    std::unique_ptr<MeterLine> ownLine;
    std::unique_ptr<Session> ownSession;
    std::unique_ptr<Form1> form1;
    if (windows) {
        if (!line.folder().copyDist())
            return fail(QStringLiteral("the program folder cannot be made"));
        form1 = std::make_unique<test::StationForm1>(line.folder().path(), Clock::system(),
                                                     test::lendPort(line.port()));
        form1->Form_Load();
        form1->show();
    } else {
        ownLine = std::make_unique<MeterLine>(test::lendPort(line.port()));
        ownSession = std::make_unique<Session>(line.folder().path(), Clock::system(), *ownLine);
    }
    MeterLine &meters = windows ? form1->line() : *ownLine;
    Session &session = windows ? form1->session() : *ownSession;
    SetupFile setup = session.setup();
    setup.host.recordFolder = line.folder().file(QStringLiteral("log/"));
    setup.extension = QStringLiteral("txt");
    setup.recordSeconds = QStringLiteral("1");
    setup.pollIntervalMs = 1000;
    session.applySetup(setup);
    for (int k = 1; k <= SlotCount; ++k)
        // The shipped table's two-value model: voltage and current, one decimal.
        session.setSlot(k, test::meterAt(k, QStringLiteral("B"), 1));
    if (windows) {
        // As the operator: connect in the host settings window, start, and
        // switch recording on there.
        Form2 *f2 = form1->form2();
        f2->Command1_Click();
        if (meters.state() != MeterLine::State::Open)
            return fail(QStringLiteral("the line does not open"));
        form1->Command3_Click();
        test::control<QCheckBox>(f2, QStringLiteral("Check1"))->click();
        if (!session.recorder().isOn())
            return fail(QStringLiteral("recording does not start"));
        f2->close();
    } else {
        if (meters.connectLine(1, line.port().Settings()) != MeterLine::State::Open)
            return fail(QStringLiteral("the line does not open"));
        session.setRecording(true);
    }
    const QString file = session.recorder().filePath();

    // When each line is written, in wall-clock time.
    QList<QDateTime> written;
    int recordTicks = 0;
    QObject::connect(&session.recordTimer(), &IntervalTimer::timeout, [&] { ++recordTicks; });
    QObject::connect(&session, &Session::lineRecorded,
                     [&] { written << QDateTime::currentDateTime(); });
    int lineChanges = 0;
    QObject::connect(&meters, &MeterLine::stateChanged, [&] { ++lineChanges; });
    int emptyTicks = 0;
    QObject::connect(&session, &Session::tickFinished, [&](const QString &l) {
        emptyTicks += l.split(u'\t').mid(1).join(QString()).isEmpty();
    });
    if (!windows)
        session.start();
    // The first seconds draw every window for the first time; the figures
    // are for monitoring as it goes on.
    runEvents(5000);
    RedrawCounter redraws;
    if (windows)
        redraws.watchWindows();
    const long mainWakeupsStart = threadWakeups();
    QElapsedTimer run;
    run.start();
    const double cpuStart = test::processCpuSeconds();
    rusage usageBefore{};
    getrusage(RUSAGE_SELF, &usageBefore);
    // The run in spans of a few seconds: on a shared virtual machine the
    // CPU time charged for the same work swings by phases, and the median
    // span shows the program's own cost through them.
    constexpr int SpanMs = 5000;
    std::vector<double> spanShares;
    for (int left = seconds * 1000 + 500; left > 0; left -= SpanMs) {
        const int span = std::min(left, SpanMs);
        const double before = test::processCpuSeconds();
        runEvents(span);
        if (span == SpanMs)
            spanShares.push_back(100.0 * (test::processCpuSeconds() - before) * 1000 / span);
    }
    std::sort(spanShares.begin(), spanShares.end());
    const double medianShare = spanShares.empty() ? -1 : spanShares[spanShares.size() / 2];
    const double wall = run.elapsed() / 1000.0;
    const double cpu = test::processCpuSeconds() - cpuStart;
    rusage usageAfter{};
    getrusage(RUSAGE_SELF, &usageAfter);
    auto secondsOf = [](const timeval &t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    const double user = secondsOf(usageAfter.ru_utime) - secondsOf(usageBefore.ru_utime);
    const double system = secondsOf(usageAfter.ru_stime) - secondsOf(usageBefore.ru_stime);
    // Each sleep of a thread and each wake-up is one voluntary switch: the
    // count shows how often the program woke, whatever one wake-up costs on
    // this machine.
    const double wakeups = double(usageAfter.ru_nvcsw - usageBefore.ru_nvcsw) / wall;
    const double mainWakeups = double(threadWakeups() - mainWakeupsStart) / wall;
    const double redrawRate = redraws.redraws / wall;
    const bool tickStuck = session.pollTickRunning();
    const bool masterBusy = session.modbus().busy();
    const QString notices = session.noticeText();
    session.stop();
    // With the program's windows out of the way, the same wake-ups and
    // redraws with nothing else.
    double floor = -1;
    if (windows) {
        for (QWidget *w : QApplication::topLevelWidgets())
            w->hide();
        floor = floorCpuPercent(seconds, mainWakeups, redrawRate);
    }

    // A run across a full hour records into two files: all of them count,
    // in the order of their stamps.
    const QDir folder(QFileInfo(file).path());
    QByteArray all;
    for (const QString &name : folder.entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name)) {
        QFile log(folder.filePath(name));
        if (log.open(QIODevice::ReadOnly))
            all += log.readAll();
    }
    if (all.isEmpty())
        return fail(QStringLiteral("no record lines in ") + folder.path());
    // One line per record tick, CR LF each; a line written before the run's
    // first polling tick ended is empty.
    QList<QByteArray> lines = all.split('\n');
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    const int count = int(lines.size());
    int empty = 0;
    int repeats = 0;
    double worstAge = 0;
    QByteArray before;
    for (int i = 0; i < count; ++i) {
        const QByteArray l = lines[i].trimmed();
        if (l.isEmpty()) {
            ++empty;
            continue;
        }
        if (l.left(8) == before.left(8))
            ++repeats;
        before = l;
        const QTime stamp = QTime::fromString(QString::fromLatin1(l.left(8)), u"hh:mm:ss");
        if (i < written.size() && stamp.isValid()) {
            // The stamp has whole seconds, so this is the most its line can be old.
            const double age = stamp.msecsTo(written[i].time()) / 1000.0;
            worstAge = std::max(worstAge, age);
        }
    }
    rusage u{};
    getrusage(RUSAGE_SELF, &u);

    // What one record line costs on its own, forced to the disk as the
    // recorder forces every line, in the run's record folder.
    const QString probe = line.folder().file(QStringLiteral("log/append-probe.txt"));
    constexpr int ProbeLines = 50;
    QElapsedTimer appendTime;
    appendTime.start();
    for (int i = 0; i < ProbeLines; ++i)
        appendRecordLine(probe, session.recordLine());
    const double msPerLine = appendTime.nsecsElapsed() / 1e6 / ProbeLines;

    std::printf("run %.1f s on a paced 9600 baud line, six two-value meters%s\n", wall,
                windows ? ", windows shown" : "");
    std::printf("CPU %.3f s = %.2f %% of the wall time (target at most 0.4 %%); median of "
                "%zu spans of 5 s: %.2f %%\n",
                cpu, 100.0 * cpu / wall, spanShares.size(), medianShare);
    std::printf("  of which user %.3f s, system %.3f s; %.1f wake-ups a second\n", user, system,
                wakeups);
    if (windows)
        std::printf("  window redraws %.1f a second, main thread wake-ups %.1f a second; a bare "
                    "window doing only that: %.2f %%\n",
                    redrawRate, mainWakeups, floor);
    std::printf("peak resident memory %.1f MB (target at most 45 MB)\n", u.ru_maxrss / 1024.0);
    std::printf("record lines %d (%d empty), record timer ticks %d (target: one line an "
                "interval in which a tick ended, so equal or one fewer)\n",
                count, empty, recordTicks);
    std::printf("line state changes %d, ticks without a value %d (target 0, 0)\n", lineChanges,
                emptyTicks);
    std::printf("lines with the time stamp of the line before: %d (target 0)\n", repeats);
    std::printf("oldest time stamp when written: %.2f s (target within 1.1 s)\n", worstAge);
    std::printf("one record line written and forced to the disk: %.2f ms\n", msPerLine);
    std::printf("last line: %s\n", qPrintable(session.recordLine()));
    std::printf("at the end: polling tick %s, transaction %s, reports: %s\n",
                tickStuck ? "RUNNING" : "idle", masterBusy ? "RUNNING" : "idle",
                notices.isEmpty() ? "none" : qPrintable(notices));
    const bool met = count <= recordTicks && count >= recordTicks - 1 && empty == 0 &&
                     repeats == 0 && worstAge <= 1.1;
    return met ? 0 : 2;
}
