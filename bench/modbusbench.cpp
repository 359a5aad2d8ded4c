// 100 Modbus transactions over a socat pair at 9600 baud against the meter
// simulator: the wall time of each (the fixed 200 ms wait plus what the line
// and the event loop add) and the share of the wall time the process spent
// on the CPU. A busy wait would show close to 100 %.

#include "modbusmaster.h"
#include "simulatedline.h"
#include "socatpair.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>

using namespace kelmar;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    constexpr int Transactions = 100;
    constexpr double MinMs = 200.0, MaxMs = 215.0, MaxCpuShare = 2.0;

    test::SimulatedLine line;
    QString error;
    if (!line.start({"--slave", "1", "--reg", "0=1234"}, &error, QStringLiteral("9600,N,8,1"))) {
        std::fprintf(stderr, "modbusbench: %s\n", qPrintable(error));
        return 2;
    }
    ModbusMaster master(line.port());

    QList<double> ms;
    int wrong = 0;
    QElapsedTimer one, wall;
    double cpuStart = 0;
    std::function<void()> next = [&] {
        one.start();
        master.MODBUS("1", "3", "00", "00", "00", "01", [&](const QString &reading) {
            ms << one.nsecsElapsed() / 1e6;
            if (reading != u"1234")
                ++wrong;
            if (ms.size() < Transactions)
                next();
            else
                app.quit();
        });
    };
    QTimer::singleShot(0, [&] {
        cpuStart = test::processCpuSeconds();
        wall.start();
        next();
    });
    app.exec();
    const double wallSeconds = wall.nsecsElapsed() / 1e9;
    const double cpuSeconds = test::processCpuSeconds() - cpuStart;

    std::printf("transaction  wall ms\n");
    for (int i = 0; i < ms.size(); ++i)
        std::printf("%11d  %7.2f\n", i + 1, ms[i]);
    const auto [lo, hi] = std::minmax_element(ms.begin(), ms.end());
    double sum = 0;
    for (double m : ms)
        sum += m;
    const double share = 100.0 * cpuSeconds / wallSeconds;
    const bool timesOk = *lo >= MinMs && *hi <= MaxMs;
    const bool cpuOk = share < MaxCpuShare;
    std::printf("\n%d transactions, %d wrong readings\n", int(ms.size()), wrong);
    std::printf("wall per transaction: min %.2f ms, mean %.2f ms, max %.2f ms (target %.0f..%.0f): "
                "%s\n",
                *lo, sum / ms.size(), *hi, MinMs, MaxMs, timesOk ? "met" : "MISSED");
    std::printf("CPU %.3f s in %.2f s wall = %.2f %% (target under %.0f %%): %s\n", cpuSeconds,
                wallSeconds, share, MaxCpuShare, cpuOk ? "met" : "MISSED");
    return wrong == 0 && timesOk && cpuOk ? 0 : 1;
}
