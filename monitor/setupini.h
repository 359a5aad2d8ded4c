#pragma once

#include "hostsettings.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
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
// The screen-size codes the start button lays the display out for.
inline const QString ModeSmallCode = QStringLiteral("1");
inline const QString ModeLargeCode = QStringLiteral("2");
inline QString screenCode(bool largeScreen)
{
    return largeScreen ? ModeLargeCode : ModeSmallCode;
}

// Line n (from 1) of a text. A line ends at CR LF or at a lone CR; a lone LF
// does not end a line and the last line needs no line end. No such line
// gives no result.
std::optional<QString> lineOfText(const QString &text, int n);

// Line SLine of the file Fileme, read afresh (code page 950). A missing
// file or line gives no result, and so does anything but a regular file of
// a sane size: a pipe or a device in its place must not hang start-up or
// fill the memory.
std::optional<QString> GetLine(const QString &Fileme, int SLine);

// Everything setup.ini holds. No window edits lines 6, 8, 9 and 10: they
// come from the file and go back to it, line 6 as the polling interval in
// force.
struct SetupFile
{
    HostSettings host;
    // What a program without a setup.ini saves: these placeholders, so a
    // file written then shows at a glance which lines were never set.
    int pollIntervalMs = 1000;                       // line 6
    QString extension = QStringLiteral("Text2");     // line 8, of the record files
    QString title = QStringLiteral("Kelmar");        // line 9, of the main window
    QString recordSeconds = QStringLiteral("Text4"); // line 10, the record interval
};

// The main window's caption for line 9: the title the distribution ships is
// shown in the interface's language; any other is the operator's, as it is.
QString shownTitle(const QString &title);

// What start-up found besides the values.
struct SetupProblems
{
    // Line 5 named a screen size, which the start button then lays out for.
    bool screenSizeGiven = false;
    // Line 6 holds a value the polling timer cannot take (negative, above
    // 65535 ms, too large to read): the interval keeps its value.
    std::optional<QString> refusedPollInterval;
    // Bilingual notices, one for a refused file or for each refused line
    // (line 6 is told through refusedPollInterval): file, line number, why.
    QStringList notices;
};

// Start-up: every line that is present and holds what its field accepts
// replaces that field; any other line leaves its field as it was, each line
// judged on its own, and is named in a notice. Lines 1 to 3 take only a
// listed port, baud rate and framing, line 5 only "800X600" or "1024X768";
// lines 4, 8, 9 and 10 no NUL or other control character (a NUL would cut
// the record file's name).
SetupProblems applySetupLines(SetupFile &file,
                              const std::function<std::optional<QString>(int)> &getLine);

// Start-up from the file at `path`, read once. A file that is refused as a
// whole (not a regular file: a pipe, a device, a folder; larger than
// SmallFileLimit; lines ended by LF alone) leaves every field at its default
// and is named in a notice; a missing file is no problem. Then as
// applySetupLines.
SetupProblems loadSetupIni(const QString &path, SetupFile &file);

// A number as the file holds it: a blank in place of a plus sign, the
// digits, a trailing blank (" 3 ", "-1 ").
QString numberField(int n);

// The whole file, encoded, each line ended by CR LF.
QByteArray renderSetupIni(const SetupFile &file);

// Replaces the file whole or not at all: a failed or interrupted write
// leaves the old file as it was. A link the operator made to a regular file
// elsewhere is followed (that file is replaced in its folder, the link
// stays); a link to anything else, a device, a pipe or a folder is not
// replaced. Returns whether the new file is in place; `notice` gets the
// bilingual reason when not.
bool saveSetupIni(const QString &path, const SetupFile &file, QString *notice = nullptr);

} // namespace kelmar
