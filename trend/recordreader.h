#pragma once

#include "recordformat.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QVector>
#include <array>
#include <limits>

// Reading record files back: file names, record lines, whole files and a
// file that is still growing. No widgets, no threads of its own: every
// routine here may run on a worker thread.
namespace kelmar {

// Files larger than this are not record files: an hour at one line per
// second is about 1 MB, and even a fault that writes 10^6 lines in an hour
// stays under it. Files are read in pieces, so this bounds time, not memory.
constexpr qint64 MaxRecordFileBytes = 256 * 1024 * 1024;
// The most read from a file in one step.
constexpr qint64 RecordReadPiece = 4 * 1024 * 1024;

// Samples column by column, the layout the plot takes: times in seconds since
// the epoch, values NaN where the field was empty (a gap, never a zero).
struct RecordSeries
{
    QVector<double> times;
    std::array<QVector<double>, RecordValueCount> values;

    int size() const { return int(times.size()); }
    bool isEmpty() const { return times.isEmpty(); }
    void clear();
    void reserve(int n);
    void append(double time, const std::array<double, RecordValueCount> &row);
    void append(const RecordSeries &other);
    // Sorts by time, keeping the order of equal times (files joined out of order).
    void sortByTime();
    // Index of the first sample at or after the time.
    int lowerBound(double time) const;
    // Drops every sample before the time (the series is sorted).
    void dropBefore(double time);
};

// Something the reader skipped, for the window's notice.
struct RecordIssue
{
    QString file;    // full path
    qint64 line = 0; // 1-based line number; 0 when it concerns the whole file
    QString text;    // the description shown, in the operator's language
};

enum class LineStatus { Ok, Empty, Malformed };

struct ParsedLine
{
    LineStatus status = LineStatus::Malformed;
    QTime time;
    std::array<double, RecordValueCount> values{};
};

// One line without its line end, as recordformat.h defines it; values with
// '.' ("123.45", "-5") whatever the locale.
ParsedLine parseRecordLine(QByteArrayView line);

// The start of a record file from the last stamp in its name, or invalid.
QDateTime recordFileStart(const QString &path);

struct RecordFileEntry
{
    QString path;
    QDateTime start;
};

struct RecordListing
{
    QList<RecordFileEntry> files; // ordered by start, then by name
    QList<RecordIssue> issues;
    bool folderMissing = false;
};

// The record files of a folder text used as a path prefix ("/var/tmp/" or
// "/var/tmp/rec"): prefix + stamp + "." + extension.
RecordListing listRecordFiles(const QString &prefix, const QString &extension);

// Seconds since the epoch of the times in one file. The date comes from the
// file's stamp, and each line holds only its time of day. The first line
// lies on the day that puts it nearest the stamp: a 23:59:59 line opening a
// file stamped 00:00 is of the day before. Every further line follows the
// one before it: a time much earlier lies on the next day (the file crossed
// midnight: files written before each line went into its own hour's file
// end the 23:xx file with a 00:00:00 line), one a little earlier (the clock
// set back) on the same day.
class LineTimes
{
public:
    LineTimes() = default;
    explicit LineTimes(const QDateTime &fileStart);
    double at(const QTime &t);

private:
    QDateTime m_start;
    bool m_first = true;
    qint64 m_last = 0;         // the line before: seconds from midnight before the stamp
    qint64 m_hourKey = NoHour; // hours from that midnight to m_hourStart
    static constexpr qint64 NoHour = std::numeric_limits<qint64>::min();
    double m_hourStart = 0; // seconds since the epoch
};

// Whether a file may hold lines in [from, to]: those of its stamp's hour,
// and a line or two of the hour before or after it (see LineTimes).
bool recordFileMayHold(const RecordFileEntry &e, double from, double to);

// Splits bytes into lines (CR LF, LF alone or CR alone) and parses them,
// keeping a line whose end has not arrived yet for the next feed.
class RecordParser
{
public:
    RecordParser() = default;
    RecordParser(const QString &path, const QDateTime &fileStart);

    void feed(QByteArrayView bytes, RecordSeries &out, QList<RecordIssue> &issues);
    // The file is complete: a last line without line end counts too.
    void finish(RecordSeries &out, QList<RecordIssue> &issues);

    qint64 goodLines() const { return m_good; }
    qint64 badLines() const { return m_bad; }

private:
    void takeLine(QByteArrayView line, RecordSeries &out, QList<RecordIssue> &issues);

    QString m_path;
    QDateTime m_start;
    QByteArray m_pending;
    bool m_afterCr = false;
    qint64 m_lineNumber = 0;
    qint64 m_good = 0;
    qint64 m_bad = 0;
    LineTimes m_times;
};

// A whole record file. A file with no valid line but some bad ones is
// reported once as not a record file instead of line by line.
struct RecordFileData
{
    RecordSeries series;
    QList<RecordIssue> issues;
};
RecordFileData readRecordFile(const QString &path, const QDateTime &start);

// Follows the file being written: every readMore() reads only the bytes
// appended since the last call. Copyable, so a worker can read on a copy.
class RecordFollower
{
public:
    RecordFollower() = default;
    explicit RecordFollower(const QString &path);

    struct Step
    {
        RecordSeries samples;
        QList<RecordIssue> issues;
        // The file was found shorter than already read (emptied and begun
        // again): what was read before is void.
        bool restarted = false;
        // More bytes are waiting than one step reads.
        bool more = false;
    };
    Step readMore();

    QString path() const { return m_path; }
    qint64 offset() const { return m_offset; }

private:
    QString m_path;
    QDateTime m_start;
    qint64 m_offset = 0;
    RecordParser m_parser;
    bool m_reportedMissing = false;
};

// Display data with a break (a row of NaN) wherever the time between two
// samples is much longer than the usual step: the curve must not bridge the
// hours when recording was off.
RecordSeries withTimeBreaks(const RecordSeries &s);

} // namespace kelmar
