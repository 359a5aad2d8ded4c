#pragma once

#include "comportmap.h"
#include "serialport.h"

#include <memory>

namespace kelmar {

// The transport for a network target (a port mapped to tcp:// or
// rtu+tcp://), connecting in the background once setPortOpen(true) is
// called. Nothing (null) for a serial device, whose port is the line's own
// SystemSerialPort, and for a target with a problem, which must not open.
std::unique_ptr<SerialPort> makeTransport(const PortTarget &target, QObject *parent = nullptr);

} // namespace kelmar
