#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

// Texts of the monitoring run: readings as the display shows them, the
// record line, record file names and the clock.
namespace kelmar {

// A reading text from a meter ("1234", "-5", or "" for no valid reply)
// divided by the slot's divisor, as its value label shows it:
//   divisor 1: the number as it came; 10 ... 10000: one to four decimals;
//   a failed reading: the empty text;
//   any other divisor: no result, the label is left as it is.
// Decimal shifting is done on the digits, so 64-bit readings stay exact,
// and the separator is always '.', whatever the system's number settings.
std::optional<QString> formatReading(const QString &reading, double divisor);

// Time, then the twelve value captions, joined by one TAB each.
QString buildRecordLine(const QString &time, const QStringList &captions);

// "hh:mm:ss", 24-hour clock.
QString recordTimeText(const QDateTime &t);
// "yyyy-MM-dd  hh:mm:ss" (two blanks).
QString clockText(const QDateTime &t);
// "yyyy-MM-dd-HHmm", the stamp of a record file.
QString recordStamp(const QDateTime &t);
// Folder text exactly as typed, the stamp, ".", the extension.
QString recordFileName(const QString &folder, const QString &stamp, const QString &extension);

// Whether a new record file is due: the current date and hour differ from
// those of the current file's stamp. Comparing both (not "the hour after the
// stamp's") keeps the change working after the machine slept through an
// hour or the clock was set. An empty or unreadable stamp is never due.
bool newFileDue(const QString &stamp, const QDateTime &now);

// Whether a record interval can ever be reached by a count of whole seconds.
bool recordIntervalReachable(double seconds);

} // namespace kelmar
