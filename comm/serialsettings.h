#pragma once

#include <QString>
#include <optional>

namespace kelmar {

enum class Parity { None, Odd, Even, Mark, Space };
enum class StopBits { One, OneAndHalf, Two };

struct SerialSettings
{
    int baud = 9600;
    Parity parity = Parity::None;
    int dataBits = 8;
    StopBits stopBits = StopBits::One;
};

// Parses "baud,parity,data,stop" strictly: a positive whole baud rate, one
// of N O E M S, 5 to 8 data bits, 1, 1.5 or 2 stop bits, no blanks.
std::optional<SerialSettings> parseSerialSettings(const QString &text);

} // namespace kelmar

#include <QStringList>

namespace kelmar {

// What the host settings window offers, in list order.
inline const QStringList OfferedBaudRates = {QStringLiteral("19200"), QStringLiteral("9600"),
                                             QStringLiteral("4800"), QStringLiteral("2400")};
inline const QStringList OfferedProtocols = {QStringLiteral("N,8,1"), QStringLiteral("O,8,1"),
                                             QStringLiteral("E,8,1")};

} // namespace kelmar
