#pragma once

#include <QString>

namespace kelmar {

// The host side of the line as the host settings window edits it.
struct HostSettings
{
    int portNumber = 1; // line 1: 1 to 10; 0 when no port is chosen
    QString baud = QStringLiteral("9600");     // line 2, chosen or typed
    QString protocol = QStringLiteral("N,8,1"); // line 3, chosen or typed
    QString recordFolder;                       // line 4, exactly as typed
    bool largeScreen = false;                   // line 5: 800X600 or 1024X768

    // What connect hands to the port: baud + "," + framing.
    QString settingsText() const { return baud + u',' + protocol; }
    bool operator==(const HostSettings &o) const
    {
        return portNumber == o.portNumber && baud == o.baud && protocol == o.protocol &&
               recordFolder == o.recordFolder && largeScreen == o.largeScreen;
    }
    bool operator!=(const HostSettings &o) const { return !(*this == o); }
};

} // namespace kelmar
