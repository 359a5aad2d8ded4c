#pragma once

#include <QString>
#include <QtGlobal>

namespace kelmar::test {

#ifdef Q_OS_WIN
inline constexpr bool CanMakePosixFaults = false;
#else
inline constexpr bool CanMakePosixFaults = true;
#endif

// Faults of the file system that only POSIX systems can make on purpose: a
// pipe in a file's place, a file size limit that cuts writes short as a full
// disk does. On Windows each says it cannot, and the test skips that case.

// Makes a named pipe at path; false where the system has none (Windows).
bool makeFifo(const QString &path);

// True when the process runs as root, who reads any file whatever its
// permissions say; never on Windows.
bool runningAsRoot();

// Limits the size of files this process writes for as long as the object
// lives. active() is false where the system cannot (Windows).
class FileSizeLimit
{
public:
    explicit FileSizeLimit(long long bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;
    bool active() const { return m_active; }

private:
    bool m_active = false;
    long long m_savedCurrent = 0;
};

} // namespace kelmar::test
