#include "recorder.h"

#include "clock.h"
#include "recordformat.h"

#include <QDir>
#include <QFileInfo>

namespace kelmar {

Recorder::Recorder(Clock &clock, const QString &programDir)
    : m_clock(clock), m_programDir(programDir)
{
}

QString Recorder::onDisk(const QString &path) const
{
    // A relative record folder lies in the program folder, not in whatever
    // folder the program happened to be started from.
    return path.isEmpty() ? path : QDir(m_programDir).filePath(path);
}

QString Recorder::folderOnDisk(const QString &folderText) const
{
    return folderText.isEmpty() ? QDir(m_programDir).filePath(QString()) + u'/'
                                : onDisk(folderText);
}

QString Recorder::filePath() const
{
    return onDisk(m_fileName);
}

FileResult Recorder::startFile(const QString &folderText, const QString &extension,
                               const QDateTime &at)
{
    FileResult r = ensureRecordFolder(onDisk(folderText));
    m_previousStamp = m_stamp;
    m_previousFileName = m_fileName;
    m_folderText = folderText;
    m_extension = extension;
    m_stamp = recordStamp(at);
    m_fileName = recordFileName(folderText, m_stamp, extension);
    const FileResult created = createRecordFile(filePath());
    return r.ok ? created : r;
}

FileResult Recorder::switchOn(const QString &folderText, const QString &extension)
{
    m_on = true;
    FileResult r = startFile(folderText, extension, m_clock.now());
    m_previousFileName.clear();
    return r;
}

void Recorder::switchOff()
{
    // The stamp stays, as the main window showed it; no file is written.
    m_on = false;
    m_fileName.clear();
}

std::optional<FileResult> Recorder::changeFileIfDue(const QString &folderText,
                                                    const QString &extension)
{
    if (!m_on || m_stamp.isEmpty() || !newFileDue(m_stamp, m_clock.now()))
        return std::nullopt;
    return startFile(folderText, extension, m_clock.now());
}

bool Recorder::intervalReachable() const
{
    return recordIntervalReachable(m_intervalSeconds);
}

bool Recorder::countSecond()
{
    ++m_tickCount;
    if (double(m_tickCount) != m_intervalSeconds)
        return false;
    m_tickCount = 0;
    return true;
}

namespace {
// "yyyy-MM-dd-HH": compared as text, the date and hour in order.
QString hourOfStamp(const QString &stamp)
{
    return stamp.left(13);
}
} // namespace

Recorder::Target Recorder::targetFor(const QDateTime &lineTime)
{
    Target t;
    if (lineTime.isValid() && !m_stamp.isEmpty() && newFileDue(m_stamp, lineTime)) {
        const QString hour = lineTime.toString(QStringLiteral("yyyy-MM-dd-HH"));
        if (hour > hourOfStamp(m_stamp))
            t.started = startFile(m_folderText, m_extension, lineTime);
        else if (!m_previousFileName.isEmpty() && hour == hourOfStamp(m_previousStamp))
            t.path = onDisk(m_previousFileName);
    }
    if (t.path.isEmpty())
        t.path = filePath();
    return t;
}

FileResult Recorder::append(const QString &line, const QDateTime &lineTime)
{
    return appendTo(targetFor(lineTime).path, line);
}

FileResult Recorder::append(const QString &line)
{
    return appendTo(filePath(), line);
}

FileResult Recorder::appendTo(const QString &path, const QString &line)
{
    // The folder may have gone since the file was started: make it again.
    FileResult r = ensureRecordFolder(QFileInfo(path).path());
    if (r.ok)
        r = appendRecordLine(path, line);
    return r;
}

} // namespace kelmar
