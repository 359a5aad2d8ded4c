#pragma once

#include "comportmap.h"
#include "serialport.h"

#include <memory>

namespace kelmar {

// The transport for a port's target, when it is not the system's serial
// port: for a network target (a port mapped to tcp:// or rtu+tcp://) one that
// connects in the background once setPortOpen(true) is called; for a target
// with a problem (a malformed mapping file, a network mapping in a build
// without network support) one that never opens. Nothing (null) for a serial
// device, whose port is the line's own SystemSerialPort.
std::unique_ptr<SerialPort> makeTransport(const PortTarget &target, QObject *parent = nullptr);

// "192.0.2.7:502" for a transport to a gateway, for the lost-line notice and
// the line counters window; empty for any other port.
QString transportTarget(const SerialPort &port);
// The notice of a refused mapping for a transport that never opens; empty
// for any other port.
QString transportProblem(const SerialPort &port);

} // namespace kelmar
