// Modbus TCP on loopback: the meter simulator as a Modbus TCP server, read
// through the program's ModbusMaster over the network transport and by
// libmodbus as a TCP client of the same server, in the same run, in
// alternating rounds so that both see the same load of the machine:
//   - one read of 2 registers, back to back (target: the median within
//     1.5 x libmodbus's),
//   - one tick of six two-value meters, 12 reads in sequence (targets: the
//     median within 2 x libmodbus's, every tick under 50 ms).
// Exit code 0 when both targets are met and every reading is right.

#include "gatewaysim.h"
#include "modbusmaster.h"
#include "networkport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#ifdef KELMAR_HAVE_LIBMODBUS
#include <modbus.h>
#endif

#include <algorithm>
#include <cstdio>
#include <functional>

using namespace kelmar;

namespace {

constexpr int Rounds = 10;
constexpr int SingleReads = 200; // a round
constexpr int Ticks = 10;        // a round

struct Read
{
    int slave;
    int address;
};

QList<Read> tick()
{
    QList<Read> reads;
    for (int slave = 1; slave <= 6; ++slave)
        for (int address : {0, 2})
            reads.push_back({slave, address});
    return reads;
}

struct Figures
{
    QList<double> singleMs; // one read each, back to back
    QList<double> tickMs;
    int wrong = 0;
};

double median(QList<double> v)
{
    if (v.isEmpty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double maximum(const QList<double> &v)
{
    return v.isEmpty() ? 0 : *std::max_element(v.begin(), v.end());
}

bool right(const Read &r, qint64 value)
{
    return value == r.slave * 100 + r.address;
}

QString hex2(int v)
{
    return QStringLiteral("%1").arg(v, 2, 16, QLatin1Char('0')).toUpper();
}

double runOurs(ModbusMaster &master, const QList<Read> &reads, int &wrong)
{
    QEventLoop loop;
    QElapsedTimer wall;
    int next = 0;
    std::function<void()> start = [&] {
        if (next == reads.size()) {
            loop.quit();
            return;
        }
        const Read r = reads[next++];
        master.MODBUS(QString::number(r.slave), "3", "00", hex2(r.address), "00", "02",
                      [&, r](const ModbusReading &reading) {
                          if (!reading.ok() || !right(r, *reading.value))
                              ++wrong;
                          start();
                      });
    };
    wall.start();
    start();
    loop.exec();
    return wall.nsecsElapsed() / 1e6;
}

// One round: the single reads one by one, then the ticks.
template <class Run>
void measure(Run run, Figures &f)
{
    run(tick()); // warm-up
    for (int i = 0; i < SingleReads; ++i)
        f.singleMs << run(QList<Read>{Read{1, 0}});
    for (int i = 0; i < Ticks; ++i)
        f.tickMs << run(tick());
}

bool measureOurs(const PortTarget &target, Figures &f)
{
    NetworkPort port(target);
    QEventLoop loop;
    QObject::connect(&port, &SerialPort::opened, &loop, &QEventLoop::quit);
    QObject::connect(&port, &SerialPort::portLost, &loop, &QEventLoop::quit);
    port.setPortOpen(true);
    loop.exec();
    if (!port.PortOpen()) {
        std::fprintf(stderr, "tcpbench: cannot connect to %s\n",
                     qPrintable(describeTarget(target)));
        return false;
    }
    ModbusMaster master(port);
    measure([&](const QList<Read> &reads) { return runOurs(master, reads, f.wrong); }, f);
    return true;
}

#ifdef KELMAR_HAVE_LIBMODBUS
double runLibmodbus(modbus_t *ctx, const QList<Read> &reads, int &wrong)
{
    QElapsedTimer wall;
    wall.start();
    for (const Read &r : reads) {
        uint16_t regs[2] = {};
        modbus_set_slave(ctx, r.slave);
        const bool ok = modbus_read_registers(ctx, r.address, 2, regs) == 2;
        if (!ok || !right(r, qint64(regs[0]) * 65536 + regs[1]))
            ++wrong;
    }
    return wall.nsecsElapsed() / 1e6;
}

bool measureLibmodbus(quint16 port, Figures &f)
{
    modbus_t *ctx = modbus_new_tcp("127.0.0.1", port);
    if (!ctx || modbus_connect(ctx) == -1) {
        std::fprintf(stderr, "tcpbench: libmodbus cannot connect to port %u\n", unsigned(port));
        if (ctx)
            modbus_free(ctx);
        return false;
    }
    modbus_set_response_timeout(ctx, 0, ModbusMaster::ReplyWaitMs * 1000);
    measure([&](const QList<Read> &reads) { return runLibmodbus(ctx, reads, f.wrong); }, f);
    modbus_close(ctx);
    modbus_free(ctx);
    return true;
}
#endif

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // Meter k holds k*100 at register 0 and k*100 + 2 at register 2, two
    // registers each.
    QStringList args;
    for (int slave = 1; slave <= 6; ++slave)
        args << "--slave" << QString::number(slave) << "--reg"
             << QStringLiteral("0=%1/2").arg(slave * 100) << "--reg"
             << QStringLiteral("2=%1/2").arg(slave * 100 + 2);
    test::GatewaySimulator server(PortTarget::Kind::ModbusTcp);
    QString error;
    if (!server.start(args, &error)) {
        std::fprintf(stderr, "tcpbench: the simulator did not start: %s\n", qPrintable(error));
        return 2;
    }
    Figures ours, theirs;
    // The server takes one client at a time; each round connects anew and
    // the connecting is not timed.
    for (int round = 0; round < Rounds; ++round) {
        if (!measureOurs(server.target(), ours))
            return 2;
#ifdef KELMAR_HAVE_LIBMODBUS
        if (!measureLibmodbus(server.port(), theirs))
            return 2;
#endif
    }
#ifndef KELMAR_HAVE_LIBMODBUS
    std::printf("libmodbus not built in: no comparison\n");
#endif
    const auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
    const double singleRatio = ratio(median(ours.singleMs), median(theirs.singleMs));
    const double tickRatio = ratio(median(ours.tickMs), median(theirs.tickMs));
    const bool tickMet = tickRatio <= 2 && maximum(ours.tickMs) < 50;
    std::printf("Modbus TCP on loopback, %d rounds of %d single reads and %d ticks each\n", Rounds,
                SingleReads, Ticks);
    std::printf("%-34s %9s %9s %9s %6s  %s\n", "", "ours", "ours max", "libmodbus", "ratio",
                "target");
    std::printf("%-34s %9.3f %9.3f %9.3f %6.2f  ratio <= 1.5: %s\n",
                "one read of 2 registers, median ms", median(ours.singleMs),
                maximum(ours.singleMs), median(theirs.singleMs), singleRatio,
                singleRatio <= 1.5 ? "met" : "MISSED");
    std::printf("%-34s %9.3f %9.3f %9.3f %6.2f  ratio <= 2, max < 50 ms: %s\n",
                "tick, six two-value meters, ms", median(ours.tickMs), maximum(ours.tickMs),
                median(theirs.tickMs), tickRatio, tickMet ? "met" : "MISSED");
    std::printf("wrong or missing readings: ours %d, libmodbus %d\n", ours.wrong, theirs.wrong);
    const bool met = singleRatio <= 1.5 && tickMet && ours.wrong == 0;
    return met ? 0 : 1;
}
