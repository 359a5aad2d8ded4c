#pragma once

#include <QByteArray>
#include <QTime>
#include <cmath>

// Record lines as the recorder writes them, for the trend tests and the
// benchmark: one line per second from `start`, CR LF.
namespace kelmar::test {

// Slot 1: two values (a slow wave and a counter); slot 2: one value that is
// empty for the ten minutes from `gapFrom` seconds; slot 3: a negative
// value; slots 4 to 6 not polled.
inline QByteArray recordLines(const QTime &start, int count, int gapFrom = -1)
{
    QByteArray out;
    out.reserve(count * 64);
    for (int i = 0; i < count; ++i) {
        const QTime t = start.addSecs(i);
        out += t.toString(QStringLiteral("HH:mm:ss")).toLatin1();
        const double wave = 230 + 5 * std::sin(i / 300.0);
        out += '\t' + QByteArray::number(wave, 'f', 2);
        out += '\t' + QByteArray::number(16841711 + i);
        const bool gap = gapFrom >= 0 && i >= gapFrom && i < gapFrom + 600;
        out +=
            '\t' + (gap ? QByteArray() : QByteArray::number(50 + 10 * std::cos(i / 200.0), 'f', 1));
        out += '\t';
        out += '\t' + QByteArray::number(-5 - (i % 120) / 60);
        out += QByteArray(7, '\t');
        out += "\r\n";
    }
    return out;
}

} // namespace kelmar::test
