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

    // Starts socat, the simulator with these arguments (the device is added)
    // and opens the port with `settings`. On failure `error` says why.
    bool start(const QStringList &simulatorArgs, QString *error,
               const QString &settings = QStringLiteral("9600,N,8,1"));
    // Sends SIGTERM and waits; true when the simulator ended by itself with
    // exit code 0.
    bool stopSimulator();

    SystemSerialPort &port() { return *m_port; }
    QProcess &simulator() { return m_simulator; }
    SocatPair &pair() { return *m_pair; }
    const TestFolder &folder() const { return m_folder; }

private:
    TestFolder m_folder;
    std::unique_ptr<SocatPair> m_pair;
    QProcess m_simulator;
    std::unique_ptr<SystemSerialPort> m_port;
};

} // namespace kelmar::test
