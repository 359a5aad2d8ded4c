// Stray bytes flooding the meter line. Six two-value meters are polled once
// a second through the program's ModbusMaster, first over RTU over TCP (a
// gateway on loopback), then over a serial line (a socat pseudo-terminal
// pair). A babbler on the far end answers the requests as a gateway on a
// 9600 baud line does (each reply 21 ms after its request: request, the
// meter's turnaround and reply on the wire) and, on its own clock, sends
//   - quiet: nothing but replies, 2 s,
//   - burst: one burst of random bytes (256 KB) in the wait for a reply,
//     then 3 s,
//   - flood: random bytes without end at a steady rate (TCP: 310 KB/s, as
//     6.2 MB in 20 s; serial: 115200 baud, 11.5 KB/s), for 20 s,
//   - after: 3 s of replies only.
// A 10 ms heartbeat timer on the UI thread shows how long the event loop was
// held up: the longest stall of a phase is its longest gap between two
// heartbeats, less the 10 ms, and the most CPU time the thread used between
// two heartbeats (which a busy machine does not inflate). Target: both under
// 50 ms.
// A loop held up for longer than --give-up seconds (default 60) ends the
// run with that figure.
// Options: --burst-kb N, --flood-s N, --tcp-rate BYTES/S, --serial-rate
// BYTES/S, --reply-ms N, --give-up S, --only tcp|serial.

#include "modbusframe.h"
#include "modbusmaster.h"
#include "networkport.h"
#include "socatpair.h"
#include "systemserialport.h"
#include "testfolder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <random>
#include <sys/socket.h>
#include <termios.h>
#include <thread>
#include <time.h>
#include <unistd.h>

using namespace kelmar;

namespace {

enum Phase { Quiet, Burst, Flood, After, Done, PhaseCount };
const char *const PhaseNames[] = {"quiet", "burst", "flood", "after"};

struct Options
{
    int burstKb = 256;
    int floodS = 20;
    qint64 tcpRate = 310000;
    qint64 serialRate = 11520;
    int giveUpS = 60;
    int replyMs = 21;
    QString only;
};

qint64 nowMs()
{
    static QElapsedTimer clock = [] {
        QElapsedTimer c;
        c.start();
        return c;
    }();
    return clock.elapsed();
}

// The far end of the line: answers requests for slaves 1 to 6 (registers a
// and a + 1 of slave s, a even, hold s*100 + a as a 32-bit value) and floods
// on its own schedule.
// Writes never block, so that a stalled reader cannot stop its clock.
class Babbler
{
public:
    Babbler(int fd, qint64 rate, const Options &o) : m_fd(fd), m_rate(rate), m_options(o) {}

    std::atomic<int> phase{Quiet};
    std::atomic<qint64> heartbeatMs{0};
    std::atomic<qint64> sent{0};

    void run()
    {
        std::mt19937 random(12345);
        QByteArray received;
        // Written as the reader takes it; a gateway's buffer holds at most
        // 1 MB of it.
        QByteArray owed;
        qsizetype owedAt = 0;
        auto owe = [&owed, &owedAt](const QByteArray &bytes) {
            owed.remove(0, owedAt);
            owedAt = 0;
            owed += bytes;
            if (owed.size() > (1 << 20))
                owed.remove(0, owed.size() - (1 << 20));
        };
        const qint64 start = nowMs();
        const qint64 burstAt = start + 2000;
        const qint64 floodAt = burstAt + 3000;
        const qint64 afterAt = floodAt + 1000LL * m_options.floodS;
        const qint64 doneAt = afterAt + 3000;
        qint64 flooded = 0;
        bool burstDue = false;
        QList<QPair<qint64, QByteArray>> replies; // due time, bytes
        auto noise = [&random](qint64 n) {
            QByteArray b(n, Qt::Uninitialized);
            for (char &c : b)
                c = char(random() & 0xFF);
            return b;
        };
        while (phase != Done) {
            const qint64 now = nowMs();
            if (now - heartbeatMs > 1000LL * m_options.giveUpS) {
                std::printf("  held up for more than %d s (%s): giving up\n", m_options.giveUpS,
                            PhaseNames[std::min<int>(phase, After)]);
                std::fflush(stdout);
                std::_Exit(3);
            }
            if (phase == Quiet && now >= burstAt) {
                phase = Burst;
                burstDue = true;
            } else if (phase == Burst && now >= floodAt) {
                phase = Flood;
            } else if (phase == Flood && now >= afterAt) {
                phase = After;
            } else if (phase == After && now >= doneAt) {
                phase = Done;
            }
            if (phase == Flood) {
                const qint64 due = (now - floodAt) * m_rate / 1000;
                owe(noise(due - flooded));
                flooded = due;
            }
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 1) > 0 && (p.revents & POLLIN)) {
                char buf[4096];
                const ssize_t n = ::read(m_fd, buf, sizeof buf);
                if (n > 0)
                    received.append(buf, n);
                else if (n == 0 || (errno != EAGAIN && errno != EINTR))
                    break;
            }
            while (received.size() >= 8) {
                const QByteArray request = received.left(8);
                if (withCrc(request.left(6)) != request) {
                    received.remove(0, 1);
                    continue;
                }
                received.remove(0, 8);
                const int slave = quint8(request[0]);
                const int address = quint8(request[2]) * 256 + quint8(request[3]);
                const int count = quint8(request[4]) * 256 + quint8(request[5]);
                if (slave < 1 || slave > 6 || count < 1 || count > 125)
                    continue;
                // In the reply wait of the next request: the worst moment.
                if (burstDue) {
                    burstDue = false;
                    owe(noise(1024LL * m_options.burstKb));
                }
                QByteArray reply;
                reply.append(char(slave)).append(char(3)).append(char(2 * count));
                for (int r = address; r < address + count; ++r) {
                    // Even registers are the high words of 32-bit values.
                    const int value = r % 2 ? slave * 100 + r - 1 : 0;
                    reply.append(char(value >> 8)).append(char(value & 0xFF));
                }
                replies.append({now + m_options.replyMs, withCrc(reply)});
            }
            while (!replies.isEmpty() && replies.first().first <= now)
                owe(replies.takeFirst().second);
            while (owedAt < owed.size()) {
                const ssize_t n =
                    ::write(m_fd, owed.constData() + owedAt, size_t(owed.size() - owedAt));
                if (n <= 0)
                    break;
                sent += n;
                owedAt += n;
            }
        }
        phase = Done;
    }

private:
    int m_fd;
    qint64 m_rate;
    Options m_options;
};

// CPU time of the calling thread.
double threadCpuMs()
{
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

struct PhaseFigures
{
    qint64 stallMs = 0;
    double cpuMs = 0;
    int ticks = 0;
    int right = 0;
    int missing = 0;
    int wrong = 0;
};

QString hex2(int v)
{
    return QStringLiteral("%1").arg(v, 2, 16, QLatin1Char('0')).toUpper();
}

// Polls the six meters once a second until the babbler is done; prints the
// figures of each phase. True when every stall stayed under 50 ms.
bool poll(const char *title, SerialPort &port, Babbler &babbler, qint64 rate)
{
    ModbusMaster master(port);
    PhaseFigures figures[PhaseCount];
    QEventLoop loop;
    qint64 lastBeat = nowMs();
    double lastCpu = threadCpuMs();
    babbler.heartbeatMs = lastBeat;
    // A stall counts for the phase in which it began.
    int phaseAtLastBeat = Quiet;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&heartbeat, &QTimer::timeout, &loop, [&] {
        const qint64 now = nowMs();
        PhaseFigures &f = figures[phaseAtLastBeat];
        f.stallMs = std::max(f.stallMs, now - lastBeat - 10);
        const double cpu = threadCpuMs();
        f.cpuMs = std::max(f.cpuMs, cpu - lastCpu);
        lastCpu = cpu;
        if (now - lastBeat > 1000)
            std::printf("  held up %lld ms (%s)\n", now - lastBeat - 10,
                        PhaseNames[phaseAtLastBeat]);
        lastBeat = now;
        babbler.heartbeatMs = now;
        phaseAtLastBeat = babbler.phase;
        if (phaseAtLastBeat == Done)
            loop.quit();
    });
    heartbeat.start(10);

    bool ticking = false;
    int next = 0;
    int tickPhase = Quiet;
    std::function<void()> read = [&] {
        if (next == 12) {
            ticking = false;
            ++figures[tickPhase].ticks;
            return;
        }
        const int slave = 1 + next / 2;
        const int address = 2 * (next % 2);
        ++next;
        master.MODBUS(QString::number(slave), "3", "00", hex2(address), "00", "02",
                      [&, slave, address](const ModbusReading &r) {
                          PhaseFigures &f = figures[tickPhase];
                          if (!r.ok())
                              ++f.missing;
                          else if (*r.value == slave * 100 + address)
                              ++f.right;
                          else
                              ++f.wrong;
                          read();
                      });
    };
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, &loop, [&] {
        if (ticking || babbler.phase == Done)
            return;
        ticking = true;
        next = 0;
        tickPhase = std::min<int>(babbler.phase, After);
        read();
    });
    ticks.start(1000);
    std::thread far([&babbler] { babbler.run(); });
    loop.exec();
    far.join();

    std::printf("%s, flood %lld bytes/s\n", title, rate);
    std::printf("  %-6s %14s %12s %6s %6s %8s %6s\n", "phase", "longest stall", "most CPU", "ticks",
                "right", "missing", "wrong");
    bool met = true;
    for (int p = Quiet; p <= After; ++p) {
        const PhaseFigures &f = figures[p];
        std::printf("  %-6s %11lld ms %9.1f ms %6d %6d %8d %6d\n", PhaseNames[p], f.stallMs,
                    f.cpuMs, f.ticks, f.right, f.missing, f.wrong);
        met = met && f.stallMs < 50 && f.cpuMs < 50 && f.wrong == 0;
    }
    std::printf("  bytes sent by the far end: %lld; every stall under 50 ms: %s\n",
                qint64(babbler.sent), met ? "met" : "MISSED");
    return met;
}

bool overTcp(const Options &o)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr *>(&address), size) != 0 ||
        ::listen(listener, 1) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &size) != 0) {
        std::fprintf(stderr, "floodbench: no listening socket\n");
        return false;
    }
    PortTarget target;
    target.kind = PortTarget::Kind::RtuOverTcp;
    target.host = QStringLiteral("127.0.0.1");
    target.port = ntohs(address.sin_port);
    NetworkPort port(target);
    QEventLoop connecting;
    QObject::connect(&port, &SerialPort::opened, &connecting, &QEventLoop::quit);
    QObject::connect(&port, &SerialPort::portLost, &connecting, &QEventLoop::quit);
    port.setPortOpen(true);
    const int fd = ::accept(listener, nullptr, nullptr);
    ::close(listener);
    if (fd < 0)
        return false;
    connecting.exec();
    if (!port.PortOpen()) {
        ::close(fd);
        return false;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    Babbler babbler(fd, o.tcpRate, o);
    const bool met = poll("RTU over TCP", port, babbler, o.tcpRate);
    port.setPortOpen(false);
    ::close(fd);
    return met;
}

bool overSerial(const Options &o)
{
    test::TestFolder folder;
    test::SocatPair pair(folder.path(), QStringLiteral("far"), QStringLiteral("host"));
    if (!pair.start() || !folder.mapComPort(1, pair.endB())) {
        std::fprintf(stderr, "floodbench: socat did not start\n");
        return false;
    }
    const int fd = ::open(qPrintable(pair.endA()), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return false;
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd, TCSANOW, &t);
    SystemSerialPort port(folder.path());
    port.setCommPort(1);
    port.setSettings(QStringLiteral("115200,N,8,1"));
    if (!port.setPortOpen(true) || !port.PortOpen()) {
        std::fprintf(stderr, "floodbench: cannot open the serial port\n");
        ::close(fd);
        return false;
    }
    Babbler babbler(fd, o.serialRate, o);
    const bool met =
        poll("Serial line (pseudo-terminal), 115200,N,8,1", port, babbler, o.serialRate);
    port.setPortOpen(false);
    ::close(fd);
    return met;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    Options o;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        const QString &name = args[i];
        const QString &value = args[i + 1];
        if (name == "--burst-kb")
            o.burstKb = value.toInt();
        else if (name == "--flood-s")
            o.floodS = value.toInt();
        else if (name == "--tcp-rate")
            o.tcpRate = value.toLongLong();
        else if (name == "--serial-rate")
            o.serialRate = value.toLongLong();
        else if (name == "--reply-ms")
            o.replyMs = value.toInt();
        else if (name == "--give-up")
            o.giveUpS = value.toInt();
        else if (name == "--only")
            o.only = value;
    }
    bool met = true;
    if (o.only.isEmpty() || o.only == "tcp")
        met = overTcp(o) && met;
    if (o.only.isEmpty() || o.only == "serial")
        met = overSerial(o) && met;
    return met ? 0 : 1;
}
