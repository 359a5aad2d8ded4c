#pragma once

#include "serialport.h"

#include <functional>
#include <memory>

namespace kelmar::test {

// The line's transports, every port number served by the one port the test
// keeps and looks at.
inline std::function<std::shared_ptr<SerialPort>(int)> lendPort(SerialPort &port)
{
    return [&port](int) { return std::shared_ptr<SerialPort>(&port, [](SerialPort *) {}); };
}

} // namespace kelmar::test
