#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

// setup.ini: ten numbered lines in code page 950 with CR LF, no keys.
//  1 port number   " 3 "          6 polling interval ms " 1000 "
//  2 baud rate     "9600"         7 "Reserved"
//  3 protocol      "N,8,1"        8 record file extension
//  4 record folder                9 main window title
//  5 display mode  "800X600"     10 record interval in seconds
namespace kelmar {

inline const QString SetupIniName = QStringLiteral("setup.ini");
inline const QString ModeSmall = QStringLiteral("800X600");
inline const QString ModeLarge = QStringLiteral("1024X768");
inline const QString ModeSmallCode = QStringLiteral("1"); // OP_D
inline const QString ModeLargeCode = QStringLiteral("2");

// Line n (from 1) of a text. A line ends at CR LF or at a lone CR; a lone LF
// does not end a line and the last line needs no line end. No such line
// gives no result.
std::optional<QString> lineOfText(const QString &text, int n);

// Line SLine of the file Fileme, read afresh (code page 950). A missing
// file or line gives no result.
std::optional<QString> GetLine(const QString &Fileme, int SLine);

// What start-up takes from the file. Each entry is absent when its line is
// missing or holds nothing the field accepts, and the field then keeps its
// value; every line is judged on its own.
struct StartupSettings
{
    std::optional<QString> recordFolder;  // line 4
    std::optional<int> portIndex;         // line 1: list position, -1 (no entry) to 9
    std::optional<int> baudIndex;         // line 2
    std::optional<int> protocolIndex;     // line 3
    std::optional<bool> largeMode;        // line 5: false 800X600, true 1024X768
    std::optional<int> pollIntervalMs;    // line 6, not yet checked against the timer
    std::optional<QString> extension;     // line 8
    std::optional<QString> title;         // line 9
    std::optional<QString> recordSeconds; // line 10, the text
};

StartupSettings readStartupSettings(const std::function<std::optional<QString>(int)> &getLine);

// Everything a save writes.
struct SetupValues
{
    int portNumber = 1;
    QString baud = QStringLiteral("9600");
    QString protocol = QStringLiteral("N,8,1");
    QString recordFolder;
    QString mode = ModeSmall;
    int pollIntervalMs = 1000;
    QString extension;
    QString title;
    QString recordSeconds;
};

// A number as the file holds it: a blank in place of a plus sign, the
// digits, a trailing blank (" 3 ", "-1 ").
QString numberField(int n);

// The whole file, encoded, each line ended by CR LF.
QByteArray renderSetupIni(const SetupValues &values);

// Replaces the file whole or not at all: a failed or interrupted write
// leaves the old file as it was. Returns whether the new file is in place.
bool saveSetupIni(const QString &path, const SetupValues &values);

} // namespace kelmar
