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

} // namespace kelmar
