#include "serialsettings.h"

#include <QStringList>

namespace kelmar {

std::optional<SerialSettings> parseSerialSettings(const QString &text)
{
    const QStringList parts = text.split(u',');
    if (parts.size() != 4)
        return std::nullopt;
    SerialSettings s;

    const QString &baud = parts[0];
    if (baud.isEmpty() || baud.size() > 7)
        return std::nullopt;
    for (QChar c : baud)
        if (c < u'0' || c > u'9')
            return std::nullopt;
    s.baud = baud.toInt();
    if (s.baud <= 0)
        return std::nullopt;

    const QString &p = parts[1];
    if (p == u"N")
        s.parity = Parity::None;
    else if (p == u"O")
        s.parity = Parity::Odd;
    else if (p == u"E")
        s.parity = Parity::Even;
    else if (p == u"M")
        s.parity = Parity::Mark;
    else if (p == u"S")
        s.parity = Parity::Space;
    else
        return std::nullopt;

    const QString &d = parts[2];
    if (d.size() != 1 || d[0] < u'5' || d[0] > u'8')
        return std::nullopt;
    s.dataBits = d.toInt();

    const QString &st = parts[3];
    if (st == u"1")
        s.stopBits = StopBits::One;
    else if (st == u"1.5")
        s.stopBits = StopBits::OneAndHalf;
    else if (st == u"2")
        s.stopBits = StopBits::Two;
    else
        return std::nullopt;
    return s;
}

} // namespace kelmar
