#pragma once

#include "socatpair.h"
#include "systemserialport.h"
#include "testfolder.h"

#include <QProcess>
#include <QStringList>
#include <memory>

namespace kelmar::test {

// A meter line on the bench: a socat pair, the simulator on one end and the
// program's serial port, as port 1 of a temporary program folder, on the
// other. Everything it starts is stopped when it goes.
class SimulatedLine
{
public:
    SimulatedLine();
    ~SimulatedLine();
    SimulatedLine(const SimulatedLine &) = delete;
    SimulatedLine &operator=(const SimulatedLine &) = delete;

    // The simulator of this build, or an empty text when it was not built.
    static QString simulatorPath();
    // On Windows (under Wine) the test cannot start socat or the simulator:
    // the test runner makes the line (tools/wine-line.sh) and names the
    // port in KELMAR_WINE_LINE. start() then opens that port and ignores
    // its simulator arguments; pair() and stopSimulator() have nothing to
    // act on. 0 when the line is the test's own.
    static int portMadeOutside();

    // Before start(): the simulator paces the line as real wires do, holding
    // each reply back for the time the request's and the reply's bytes take
    // at the line's baud rate, plus the meter's turnaround (by default 3.5
    // characters). Without it socat hands bytes over at once.
    void setPaced(bool paced, double turnaroundMs = -1)
    {
        m_paced = paced;
        m_turnaroundMs = turnaroundMs;
    }

    // Starts socat, the simulator with these arguments (the device is added)
    // and opens the port with `settings`. On failure `error` says why.
    bool start(const QStringList &simulatorArgs, QString *error,
               const QString &settings = QStringLiteral("9600,N,8,1"));
    // Sends SIGTERM and waits; true when the simulator ended by itself with
    // exit code 0.
    bool stopSimulator();

    SystemSerialPort &port() { return *m_port; }
    QProcess &simulator() { return m_simulator; }
    SocatPair &pair() { return *m_pair; } // not with portMadeOutside()
    const TestFolder &folder() const { return m_folder; }

private:
    bool m_paced = false;
    double m_turnaroundMs = -1;
    TestFolder m_folder;
    std::unique_ptr<SocatPair> m_pair;
    QProcess m_simulator;
    std::unique_ptr<SystemSerialPort> m_port;
};

} // namespace kelmar::test
