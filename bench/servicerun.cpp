// The service run of the monitoring benchmark: the program itself, started
// as the system starts it (Kelmar_T --service FOLDER, no display), on the
// same paced line of six two-value meters, polling and recording every
// second and publishing to a local mosquitto. Its CPU share and peak
// resident memory are read from /proc; mbpoll polling the same six meters
// for as long is measured beside it when it is installed.

#include "brokerfixture.h"
#include "metersini.h"
#include "publishconfig.h"
#include "setupini.h"
#include "socatpair.h"
#include "testfolder.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

using namespace kelmar;

namespace {

void wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// utime + stime of a process, in seconds.
double cpuSecondsOf(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray s = f.readAll();
    // The fields after the command's closing parenthesis; utime and stime
    // are the 14th and 15th of the line.
    const QList<QByteArray> fields = s.mid(s.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    return (fields[11].toDouble() + fields[12].toDouble()) / double(sysconf(_SC_CLK_TCK));
}

double peakMegabytesOf(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    return -1;
}

struct Figures
{
    double cpuPercent = -1;
    double peakMb = -1;
};

// Runs a started process for `seconds` after a warm-up and measures it.
Figures measure(QProcess &p, int seconds)
{
    wait(5000);
    const double before = cpuSecondsOf(p.processId());
    wait(seconds * 1000);
    Figures f;
    f.cpuPercent = 100.0 * (cpuSecondsOf(p.processId()) - before) / seconds;
    f.peakMb = peakMegabytesOf(p.processId());
    return f;
}

int fail(const QString &why)
{
    std::fprintf(stderr, "monitoringbench --service: %s\n", qPrintable(why));
    return 1;
}

} // namespace

int serviceRun(int seconds, const QString &program, const QString &simulator)
{
    test::Broker broker;
    if (!broker.start())
        return fail(QStringLiteral("mosquitto does not start"));
    test::TestFolder dir;
    if (!dir.copyDist())
        return fail(QStringLiteral("the program folder cannot be made"));
    test::SocatPair pair(dir.path());
    if (!pair.start())
        return fail(QStringLiteral("socat does not start"));
    QProcess meters;
    meters.start(simulator, {"--device", pair.endA(), "--paced", "--demo"});
    if (!meters.waitForStarted())
        return fail(QStringLiteral("the simulator does not start"));
    dir.mapComPort(1, pair.endB());

    SetupFile setup;
    setup.host.recordFolder = QStringLiteral("log/");
    setup.extension = QStringLiteral("txt");
    setup.recordSeconds = QStringLiteral("1");
    saveSetupIni(dir.file(SetupIniName), setup);
    std::array<SavedSlot, SlotCount> saved;
    for (int k = 0; k < SlotCount; ++k)
        saved[k] = {true, k + 1, 1, QStringLiteral("ZRP-VA    "), QStringLiteral("表%1").arg(k + 1)};
    saveMetersIni(metersIniPath(dir.path()), saved);
    PublishConfig c = defaultPublishConfig(QStringLiteral("bench"));
    c.enabled = true;
    c.port = broker.port();
    savePublishConfig(dir.file(QStringLiteral("publish.ini")), c);

    QProcess service;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    service.setProcessEnvironment(env);
    service.start(program, {QStringLiteral("--service"), dir.path()});
    if (!service.waitForStarted())
        return fail(QStringLiteral("Kelmar_T does not start"));
    const Figures own = measure(service, seconds);
    service.terminate();
    service.waitForFinished(5000);
    int lines = 0;
    for (const QString &name : QDir(dir.file(QStringLiteral("log"))).entryList(QDir::Files)) {
        QFile f(dir.file(QStringLiteral("log/") + name));
        if (f.open(QIODevice::ReadOnly))
            lines += f.readAll().count('\n');
    }
    std::printf("service run %d s on a paced 9600 baud line, six two-value meters, recording "
                "and publishing every second\n",
                seconds);
    std::printf("Kelmar_T --service: CPU %.2f %% of a core (target at most 0.25 %%), peak "
                "resident memory %.1f MB (target at most 20 MB), %d record lines\n",
                own.cpuPercent, own.peakMb, lines);

    const QString mbpoll = QStandardPaths::findExecutable(QStringLiteral("mbpoll"));
    if (mbpoll.isEmpty()) {
        std::printf("mbpoll: not installed\n");
    } else {
        // The same six transactions a second: registers 1 to 3 (0 to 2)
        // of slaves 1 to 6, every 1000 ms.
        QProcess poll;
        poll.setStandardOutputFile(QProcess::nullDevice());
        poll.start(mbpoll, {"-m", "rtu", "-b", "9600", "-P", "none", "-a", "1:6", "-r", "1",
                            "-c", "3", "-l", "1000", "-q", pair.endB()});
        if (poll.waitForStarted()) {
            const Figures other = measure(poll, seconds);
            std::printf("mbpoll on the same meters: CPU %.2f %%, peak resident memory %.1f MB\n",
                        other.cpuPercent, other.peakMb);
            poll.kill();
            poll.waitForFinished(5000);
        }
    }
    meters.terminate();
    meters.waitForFinished(5000);
    return own.cpuPercent >= 0 && own.cpuPercent <= 0.25 && own.peakMb <= 20 ? 0 : 2;
}
