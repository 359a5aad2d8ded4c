#pragma once

#include "counts.h"

#include <QByteArray>
#include <QString>

namespace kelmar {

// The device behind port number n (1 to 10).
// Windows: "COMn" itself.
// Elsewhere: the entry "com/comN" in the program folder when it exists (a
// link to the real device, made by the operator or by run.sh), otherwise
// /dev/ttyUSB(n-1), the usual name of a USB RS-485 adapter.
// An empty text for a number outside 1 to 10.
QString comDevicePath(int number, const QString &programDir);

// Where a port number leads: a serial device, or a meter line behind an
// Ethernet gateway.
struct PortTarget
{
    enum class Kind {
        Serial,     // `device` is the serial device
        ModbusTcp,  // Modbus TCP: MBAP header, unit = slave ID, no CRC
        RtuOverTcp, // RTU frames with their CRC through a TCP connection
    };
    Kind kind = Kind::Serial;
    QString device;
    QString host; // a name, an IPv4 or an IPv6 address (without brackets)
    quint16 port = 0;
    // Not empty: the port must not open; the notice for the operator, in
    // Chinese and English, naming the file and its line.
    QString problem;

    bool isNetwork() const { return kind != Kind::Serial; }
};

// The mapping written in the file `fileName` (for the notice) whose content
// is `content`: its first line is "tcp://HOST:PORT" or "rtu+tcp://HOST:PORT";
// HOST is a name, an IPv4 address or a bracketed IPv6 address, PORT 1 to
// 65535. Anything else gives a target with a problem. Later lines are free.
PortTarget parsePortMapping(const QString &fileName, const QByteArray &content);

// The target of port number n. "com/gatewayN" beside the program, when
// there, is read as a mapping (anything but a small regular file, or a link
// to one, gives a problem); otherwise "com/comN" that is a regular file is
// (not on Windows, which reserves the name COMn); a link or a device keeps
// its meaning of comDevicePath(). Network mappings in a build without
// network support give a problem "not in this build".
PortTarget portTarget(int number, const QString &programDir);

// "192.0.2.7:502", "[2001:db8::1]:502" or the device path: how notices and
// the line counters window name the port's target.
QString describeTarget(const PortTarget &target);

} // namespace kelmar
