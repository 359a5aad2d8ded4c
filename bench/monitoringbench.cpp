// A monitoring run as on the factory floor, measured: six two-value meters
// on a simulated line paced as real wires at 9600 baud (twelve transactions
// a tick), polling every second, recording every second. Prints the CPU
// share, the peak resident memory, the record lines against the expected
// count, how far each line's time stamp lies from the moment it was
// written, and whether any line repeats the one before.
//
//   kelmar_monitoringbench [seconds]      (default 60)

#include "clock.h"
#include "intervaltimer.h"
#include "recordfile.h"
#include "recordformat.h"
#include "session.h"
#include "lendport.h"
#include "simulatedline.h"
#include "socatpair.h"
#include "testmeters.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

using namespace kelmar;

namespace {

int fail(const QString &why)
{
    std::fprintf(stderr, "monitoringbench: %s\n", qPrintable(why));
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(5, atoi(argv[1])) : 60;

    test::SimulatedLine line;
    line.setPaced(true);
    QString error;
    if (!line.start({QStringLiteral("--demo")}, &error))
        return fail(error);

    line.port().setPortOpen(false); // the line opens it as the program does
    MeterLine meters(test::lendPort(line.port()));
    Session session(line.folder().path(), Clock::system(), meters);
    SetupFile setup = session.setup();
    setup.host.recordFolder = line.folder().file(QStringLiteral("log/"));
    setup.extension = QStringLiteral("txt");
    setup.recordSeconds = QStringLiteral("1");
    setup.pollIntervalMs = 1000;
    session.applySetup(setup);
    for (int k = 1; k <= SlotCount; ++k)
        // The shipped table's two-value model: voltage and current, one decimal.
        session.setSlot(k, test::meterAt(k, QStringLiteral("B"), 1));
    if (meters.connectLine(1, line.port().Settings()) != MeterLine::State::Open)
        return fail(QStringLiteral("the line does not open"));
    session.setRecording(true);
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
    QElapsedTimer run;
    run.start();
    const double cpuStart = test::processCpuSeconds();
    session.start();
    QTest::qWait(seconds * 1000 + 500);
    const double wall = run.elapsed() / 1000.0;
    const double cpu = test::processCpuSeconds() - cpuStart;
    const bool tickStuck = session.pollTickRunning();
    const bool masterBusy = session.modbus().busy();
    const QString notices = session.noticeText();
    session.stop();

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

    std::printf("run %.1f s on a paced 9600 baud line, six two-value meters\n", wall);
    std::printf("CPU %.3f s = %.2f %% of the wall time (target under 1 %%)\n", cpu,
                100.0 * cpu / wall);
    std::printf("peak resident memory %.1f MB (target under 80 MB)\n", u.ru_maxrss / 1024.0);
    std::printf("record lines %d (%d empty, before the first tick ended), record timer ticks "
                "%d (target equal)\n",
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
    const bool met = count == recordTicks && repeats == 0 && worstAge <= 1.1;
    return met ? 0 : 2;
}
