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

FileResult Recorder::startFile(const QString &folderText, const QString &extension)
{
    FileResult r = ensureRecordFolder(onDisk(folderText));
    m_stamp = recordStamp(m_clock.now());
    m_fileName = recordFileName(folderText, m_stamp, extension);
    const FileResult created = createRecordFile(filePath());
    return r.ok ? created : r;
}

FileResult Recorder::switchOn(const QString &folderText, const QString &extension)
{
    m_on = true;
    return startFile(folderText, extension);
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
    return startFile(folderText, extension);
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

FileResult Recorder::append(const QString &line)
{
    const QString path = filePath();
    // The folder may have gone since the file was started: make it again.
    FileResult r = ensureRecordFolder(QFileInfo(path).path());
    if (r.ok)
        r = appendRecordLine(path, line);
    return r;
}

} // namespace kelmar
