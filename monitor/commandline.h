#pragma once

#include <QString>
#include <QStringList>

namespace kelmar {

// What the program was started to do, read from its arguments before any
// application object exists: the service mode must not need a display.
struct CommandLine
{
    enum class Mode {
        Windows, // the operator's windows (Qt's own options pass through)
        Service, // no window: poll, record and publish as the files say
        Help,    // print the usage and end
        Refused, // an argument that is not understood: the usage, exit status 2
    };
    Mode mode = Mode::Windows;
    QString programDir; // --service's folder; empty for the program's own
    bool record = true; // --no-record switches recording off
    QString language;   // --lang's value, known to languageNamed(); empty: the system's
    QString refused;    // the argument not understood
};

// args without the program name.
CommandLine parseCommandLine(const QStringList &args);
// The positions in args of what is Qt's to judge in the windows mode: all
// but the options parseCommandLine takes for itself (--lang and its value).
QList<int> argumentsForQt(const QStringList &args);
QString usageText();
// The refusal of an argument not understood, with the usage.
QString refusalText(const QString &argument);

} // namespace kelmar
