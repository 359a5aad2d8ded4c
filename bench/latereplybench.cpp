// The late-reply table: two-value meters on one slave whose values name
// their registers, answering late, polled at several intervals on the paced
// and the unpaced simulated line. Prints wrong values and empty readings per
// delay and polling interval.

#include "latereplyrun.h"
#include "modbusmaster.h"
#include "simulatedline.h"

#include <QCoreApplication>
#include <QTextStream>

using namespace kelmar;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    if (test::SimulatedLine::simulatorPath().isEmpty()) {
        out << "kelmar_metersim was not built\n";
        return 1;
    }
    // Each row runs about ten seconds of polling (at least four ticks).
    // Arguments "DELAY POLLING" run that row alone.
    QList<int> delays{150, 300, 500, 1000, 2000, 3000, 4000};
    QList<int> intervals{300, 1000, 5000};
    if (argc == 3) {
        delays = {QString::fromLocal8Bit(argv[1]).toInt()};
        intervals = {QString::fromLocal8Bit(argv[2]).toInt()};
    }
    out << "line\tmeters\tdelay ms\tpolling ms\treadings\tgood\twrong\tempty\n";
    int wrongTotal = 0;
    for (const bool paced : {true, false})
        for (const int meters : {1, 3})
            for (const int pollMs : intervals)
                for (const int lateMs : delays) {
                    test::SimulatedLine line;
                    line.setPaced(paced);
                    QString error;
                    if (!line.start(test::namedMeterArgs(meters, lateMs), &error)) {
                        out << "cannot start the line: " << error << "\n";
                        return 1;
                    }
                    ModbusMaster master(line.port());
                    const int ticks = std::max(4, 10000 / pollMs);
                    const auto c = test::pollNamedMeters(master, meters, pollMs, ticks);
                    wrongTotal += c.wrong;
                    out << (paced ? "paced" : "unpaced") << '\t' << meters << '\t' << lateMs << '\t'
                        << pollMs << '\t' << (c.good + c.wrong + c.empty) << '\t' << c.good << '\t'
                        << c.wrong << '\t' << c.empty << Qt::endl;
                    line.stopSimulator();
                }
    out << "wrong values in all: " << wrongTotal << Qt::endl;
    return wrongTotal == 0 ? 0 : 1;
}
