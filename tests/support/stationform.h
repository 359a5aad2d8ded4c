#pragma once

#include "clock.h"
#include "form1.h"
#include "station.h"

#include <QString>

namespace kelmar::test {

// The main window with a station of its own, as the program puts them
// together: for tests that drive the windows.
struct StationHolder
{
    Station station;
    StationHolder(const QString &dir, Clock &clock, MeterLine::TransportFactory transports)
        : station(dir, clock, std::move(transports))
    {
    }
};

class StationForm1 : private StationHolder, public Form1
{
public:
    StationForm1(const QString &dir, Clock &clock, MeterLine::TransportFactory transports = {})
        : StationHolder(dir, clock, std::move(transports)), Form1(StationHolder::station)
    {
    }
};

} // namespace kelmar::test
