#pragma once

#include "recordfile.h"

#include <QDateTime>
#include <QString>
#include <optional>

namespace kelmar {

class Clock;

// Recording, without a window: the switch, the current file, the count of
// seconds towards the record interval and the hourly change of file. Every
// file operation's result is handed back, so the caller can report it.
class Recorder
{
public:
    // Relative record folders lie in programDir.
    Recorder(Clock &clock, const QString &programDir);

    // Switches recording on: the record folder is made when missing, the
    // stamp is taken from the clock and the file is created. Recording stays
    // on when a file step fails, so the next line tries again.
    FileResult switchOn(const QString &folderText, const QString &extension);
    void switchOff();
    bool isOn() const { return m_on; }

    // "yyyy-MM-dd-HHmm" of the current file; empty before the first switch on.
    QString stamp() const { return m_stamp; }
    // The file name as the folder text gives it (what the operator typed,
    // the stamp, ".", the extension); empty while off.
    QString fileName() const { return m_fileName; }
    // The same, where it lies on disk.
    QString filePath() const;
    // Where the files of a folder text lie on disk: the path that their
    // stamps and extensions follow.
    QString folderOnDisk(const QString &folderText) const;

    // The hourly change: while on, a file whose date and hour are no longer
    // the clock's is replaced by a new one. Returns the new file's result,
    // or nothing when no change was due.
    std::optional<FileResult> changeFileIfDue(const QString &folderText,
                                              const QString &extension);

    // The record interval in seconds; one that is not a whole number of at
    // least 1 is never reached.
    void setInterval(double seconds) { m_intervalSeconds = seconds; }
    double interval() const { return m_intervalSeconds; }
    bool intervalReachable() const;
    // Seconds counted towards the interval; a start counts from 0.
    void resetCount() { m_tickCount = 0; }
    qint64 count() const { return m_tickCount; }

    // One second of the record timer; true when it completes the interval
    // (the count starts again).
    bool countSecond();
    // The file a line stamped `lineTime` belongs in: that of its own date
    // and hour. A line of a later hour than the current file's starts that
    // hour's file first (the hourly change, even before the clock made it);
    // a line of the hour before a change goes into the file before it.
    // The path on disk, and the result of a file that had to be started.
    struct Target
    {
        QString path;
        std::optional<FileResult> started;
    };
    Target targetFor(const QDateTime &lineTime);
    // Appends a line to the current file, whole or not at all.
    FileResult append(const QString &line);
    FileResult append(const QString &line, const QDateTime &lineTime);
    // Appends a line to the file at path (a targetFor() path).
    FileResult appendTo(const QString &path, const QString &line);

private:
    FileResult startFile(const QString &folderText, const QString &extension,
                         const QDateTime &at);
    QString onDisk(const QString &path) const;

    Clock &m_clock;
    QString m_programDir;
    bool m_on = false;
    QString m_stamp;    // the main window's Text1
    QString m_fileName; // the host settings window's Text2
    QString m_folderText, m_extension; // what the current file was named from
    // The file before the last hourly change, for the lines of its hour
    // that end after the change.
    QString m_previousStamp, m_previousFileName;
    double m_intervalSeconds = 0; // RecordSeconds
    qint64 m_tickCount = 0;       // RecordTickCount
};

} // namespace kelmar
