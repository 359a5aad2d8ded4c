#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

#include "exactdecimal.h"

// The record file, defined once for the recorder that writes it and the
// trend view that reads it back; also the texts of the monitoring run:
// readings as the display shows them and the clock.
namespace kelmar {

// A record line: the time, then slot 1 value 1, slot 1 value 2, ... slot 6
// value 2, joined by one TAB each; code page 950, CR LF. An empty value
// field means that no valid reading came in that tick.
constexpr int RecordSlotCount = 6;
constexpr int RecordValuesPerSlot = 2;
constexpr int RecordValueCount = RecordSlotCount * RecordValuesPerSlot;
constexpr int RecordFieldCount = 1 + RecordValueCount;
constexpr char RecordSeparator = '\t';
constexpr char RecordLineEnd[] = "\r\n";
// 24-hour clock; the date is in the file name's stamp.
constexpr char RecordTimeFormat[] = "HH:mm:ss";
// The stamp of a record file: the date, hour and minute its recording began.
constexpr char RecordStampFormat[] = "yyyy-MM-dd-HHmm";
// A file covers at most the hour of its stamp: a new one starts every full hour.
constexpr int RecordFileSeconds = 3600;

// The bytes of one line as the file holds them: code page 950 and the line end.
QByteArray encodeRecordLine(const QString &line);

// The time field of a line, or an invalid time. Any one non-digit stands
// for each separator of the format: old files carry the system's time
// separator.
QTime parseRecordTime(QByteArrayView field);

// A value field: empty (no reading, a NaN) or "-"? digits ("." digits)?;
// nothing else (no exponent, no blanks, no decimal comma), so a damaged
// field is not read as a number. False for a field that is not a value.
bool parseRecordValue(QByteArrayView field, double &value);

// A stamp as local time, or an invalid date-time.
QDateTime parseRecordStamp(QStringView stamp);

// A reading text from a meter ("1234", "-5", or "" for no valid reply)
// divided by the slot's divisor, as its value label shows it:
//   divisor 1: the number as it came; 10 ... 10000: one to four decimals;
//   a failed reading: the empty text;
//   any other divisor: no result, the label is left as it is.
// Decimal shifting is done on the digits, so 64-bit readings stay exact,
// and the separator is always '.', whatever the system's number settings.
std::optional<QString> formatReading(const QString &reading, double divisor);

// Time, then the twelve value captions, joined by one TAB each; missing
// captions are empty fields, so every line has the same field count.
QString buildRecordLine(const QString &time, const QStringList &captions);

// The line of one polling tick: its time, then each value as displayed
// (slot 1 value 1 first), an empty field where there is none.
using RecordValues = std::array<std::optional<ExactDecimal>, RecordValueCount>;
QString buildRecordLine(const QDateTime &time, const RecordValues &values);

// "hh:mm:ss", 24-hour clock.
QString recordTimeText(const QDateTime &t);
// "yyyy-MM-dd  hh:mm:ss" (two blanks).
QString clockText(const QDateTime &t);
// The stamp of a record file.
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
