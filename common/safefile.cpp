#include "safefile.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopeGuard>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kelmar {

namespace {

QString isLink()
{
    return QCoreApplication::translate("kelmar::SafeFile", "是符號連結 (a symbolic link)");
}

QString notRegular()
{
    return QCoreApplication::translate("kelmar::SafeFile", "不是一般檔案 (not a regular file)");
}

QString diskFull()
{
    return QCoreApplication::translate("kelmar::SafeFile", "磁碟已滿 (disk full)");
}

// What stands at the path itself, a link not followed.
enum class Kind { Missing, Regular, Link, Other };

Kind kindAt(const QString &path)
{
#ifdef Q_OS_WIN
    const QString native = QDir::toNativeSeparators(path);
    const DWORD a = GetFileAttributesW(reinterpret_cast<const wchar_t *>(native.utf16()));
    if (a == INVALID_FILE_ATTRIBUTES)
        return Kind::Missing;
    if (a & FILE_ATTRIBUTE_REPARSE_POINT)
        return Kind::Link;
    return a & FILE_ATTRIBUTE_DIRECTORY ? Kind::Other : Kind::Regular;
#else
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return errno == ENOENT ? Kind::Missing : Kind::Other;
    if (S_ISLNK(st.st_mode))
        return Kind::Link;
    return S_ISREG(st.st_mode) ? Kind::Regular : Kind::Other;
#endif
}

#ifndef Q_OS_WIN
QString errorText(int error)
{
    return QString::fromLocal8Bit(::strerror(error));
}
#endif

// Forces what was written to the file behind the C descriptor to the disk.
bool syncDescriptor(int fd)
{
#ifdef Q_OS_WIN
    return FlushFileBuffers(HANDLE(_get_osfhandle(fd)));
#elif defined(_POSIX_SYNCHRONIZED_IO) && _POSIX_SYNCHRONIZED_IO > 0
    return ::fdatasync(fd) == 0;
#else
    return ::fsync(fd) == 0;
#endif
}

// Puts `from` in the place of `to` in one step, whatever `to` was; a link at
// `to` is replaced itself, never followed.
bool renameOver(const QString &from, const QString &to)
{
#ifdef Q_OS_WIN
    const QString f = QDir::toNativeSeparators(from), t = QDir::toNativeSeparators(to);
    return MoveFileExW(reinterpret_cast<const wchar_t *>(f.utf16()),
                       reinterpret_cast<const wchar_t *>(t.utf16()),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
#else
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
#endif
}

// Whether `name` is one replaceFile gives the temporary file of `base`: the
// base name, a dot and eight lower-case hex digits, nothing else.
bool isTemporaryName(const QString &name, const QString &base)
{
#ifdef Q_OS_WIN
    const Qt::CaseSensitivity cs = Qt::CaseInsensitive;
#else
    const Qt::CaseSensitivity cs = Qt::CaseSensitive;
#endif
    if (name.size() != base.size() + 9 || !name.startsWith(base, cs) ||
        name.at(base.size()) != u'.')
        return false;
    for (qsizetype i = base.size() + 1; i < name.size(); ++i) {
        const char16_t c = name.at(i).unicode();
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f')))
            return false;
    }
    return true;
}

// Removes a temporary file a save killed before its rename left behind. A
// save still at work holds its file (locked here, open on Windows), and is
// left alone; so is anything that is not a regular file of this user.
void removeLeftover(const QString &path)
{
#ifdef Q_OS_WIN
    if (kindAt(path) == Kind::Regular)
        DeleteFileW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()));
#else
    const QByteArray name = QFile::encodeName(path);
    const int fd =
        ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat opened, named;
    // Still the file that was locked under that name when it goes.
    if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_uid == ::geteuid() &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::lstat(name.constData(), &named) == 0 &&
        named.st_dev == opened.st_dev && named.st_ino == opened.st_ino)
        ::unlink(name.constData());
    ::close(fd);
#endif
}

void removeLeftovers(const QString &target)
{
    const QFileInfo info(target);
    const QString base = info.fileName();
    QDirIterator it(info.absolutePath(),
                    QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        if (isTemporaryName(it.fileName(), base))
            removeLeftover(it.filePath());
    }
}

#ifndef Q_OS_WIN
// A rename lives in the folder: without this a power cut may bring back the
// old file, or neither. Returns the error, 0 when synced; a file system that
// cannot sync a folder (EINVAL) has nothing more to do.
int syncFolder(const QString &folder)
{
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return 0; // a folder that may be written but not read: nothing to sync it through
    const int error = ::fsync(fd) == 0 || errno == EINVAL || errno == ENOTSUP ? 0 : errno;
    ::close(fd);
    return error;
}

// Takes the lock that keeps another save's clean-up away from a new
// temporary file. False when that clean-up got there first and removed it.
bool holdTemporary(int fd)
{
    struct stat st;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        return false;
    return ::fstat(fd, &st) == 0 && st.st_nlink > 0;
}
#endif

} // namespace

FileResult refusedFile(const QString &path, const QString &why)
{
    return {false, QCoreApplication::translate("kelmar::SafeFile", "無法寫入 (cannot write) %1: %2")
                       .arg(QDir::toNativeSeparators(path), why)};
}

FileResult replaceFile(const QString &path, const QByteArray &bytes, LinkPolicy links,
                       bool ownerOnly)
{
    QString target = QFileInfo(path).absoluteFilePath();
    switch (kindAt(target)) {
    case Kind::Missing:
    case Kind::Regular:
        break;
    case Kind::Other:
        return refusedFile(path, notRegular());
    case Kind::Link: {
        if (links == LinkPolicy::Refuse)
            return refusedFile(path, isLink());
        // Every link on the way resolved; only a regular file at the end
        // is replaced.
        target = QFileInfo(target).canonicalFilePath();
        if (target.isEmpty() || kindAt(target) != Kind::Regular)
            return refusedFile(path, notRegular());
        break;
    }
    }

    // What saves of this file killed before their rename left behind goes
    // now; nothing else is touched.
    removeLeftovers(target);

    // The new content goes into a file of its own beside the target, made
    // here and now (nothing planted under its name is written through).
    QFile temp;
    for (int tries = 0; tries < 100 && !temp.isOpen(); ++tries) {
        temp.setFileName(target + QStringLiteral(".%1").arg(QRandomGenerator::global()->generate(),
                                                            8, 16, QLatin1Char('0')));
        temp.open(QIODevice::WriteOnly | QIODevice::NewOnly);
#ifndef Q_OS_WIN
        if (temp.isOpen() && !holdTemporary(temp.handle()))
            temp.close();
#endif
    }
    if (!temp.isOpen())
        return refusedFile(path, temp.errorString());
    auto discard = qScopeGuard([&temp] {
        temp.close();
        temp.remove();
    });
    // The new file keeps the old one's permissions; a new one is readable by
    // all unless it is the owner's alone.
    const QFileInfo old(target);
    if (ownerOnly)
        temp.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    else if (old.exists())
        temp.setPermissions(old.permissions());
    else
        temp.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                            QFileDevice::ReadGroup | QFileDevice::ReadOther);
    if (temp.write(bytes) != bytes.size() || !temp.flush())
        return refusedFile(path, diskFull());
    if (!syncDescriptor(temp.handle()))
        return refusedFile(path, diskFull());
#ifdef Q_OS_WIN
    // Windows renames no file that is open; elsewhere it stays open, and
    // locked, until it has its place.
    temp.close();
#endif
    // Looked at again just before: something planted since the first look
    // is not replaced.
    const Kind now = kindAt(target);
    if (now == Kind::Other || now == Kind::Link)
        return refusedFile(path, now == Kind::Link ? isLink() : notRegular());
    if (!renameOver(temp.fileName(), target))
        return refusedFile(
            path, QCoreApplication::translate("kelmar::SafeFile", "無法取代 (cannot replace): %1")
                      .arg(qt_error_string()));
    discard.dismiss();
    temp.close();
#ifndef Q_OS_WIN
    // On Windows the rename itself is written through (MOVEFILE_WRITE_THROUGH).
    if (const int error = syncFolder(QFileInfo(target).absolutePath()))
        return refusedFile(path,
                           QCoreApplication::translate("kelmar::SafeFile",
                                                       "已取代但未確定寫入磁碟 (replaced, but not "
                                                       "confirmed on the disk): %1")
                               .arg(errorText(error)));
#endif
    return {};
}

FileResult appendToFile(const QString &path, const QByteArray &bytes, bool sync)
{
    const Kind before = kindAt(path);
    if (before == Kind::Link)
        return refusedFile(path, isLink());
    if (before == Kind::Other)
        return refusedFile(path, notRegular());
#ifdef Q_OS_WIN
    // The reparse point itself is opened, never what it points at. Shared
    // for writing as on Linux: a record file started again (nothing written)
    // while the writer thread appends to it must not make either fail.
    const QString native = QDir::toNativeSeparators(path);
    const HANDLE h = CreateFileW(reinterpret_cast<const wchar_t *>(native.utf16()),
                                 FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | FILE_WRITE_DATA,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return refusedFile(
            path, QCoreApplication::translate("kelmar::SafeFile", "無法開啟 (cannot open)"));
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))) {
        CloseHandle(h);
        return refusedFile(path, notRegular());
    }
    LARGE_INTEGER size;
    GetFileSizeEx(h, &size);
    SetFilePointerEx(h, size, nullptr, FILE_BEGIN);
    DWORD written = 0;
    const bool whole = bytes.isEmpty() ||
                       (WriteFile(h, bytes.constData(), DWORD(bytes.size()), &written, nullptr) &&
                        written == DWORD(bytes.size()));
    if (!whole) {
        SetFilePointerEx(h, size, nullptr, FILE_BEGIN);
        SetEndOfFile(h);
        CloseHandle(h);
        return refusedFile(path, diskFull());
    }
    const bool synced = !sync || bytes.isEmpty() || FlushFileBuffers(h);
    CloseHandle(h);
    if (!synced)
        return refusedFile(path, diskFull());
    return {};
#else
    // No link followed, no wait on a pipe without a reader, no terminal
    // taken over; what was opened is looked at before a byte goes in.
    const int fd = ::open(
        QFile::encodeName(path).constData(),
        O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int error = errno;
        if (error == ELOOP)
            return refusedFile(path, isLink());
        if (error == ENXIO || error == EISDIR)
            return refusedFile(path, notRegular());
        return refusedFile(path, errorText(error));
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return refusedFile(path, notRegular());
    }
    qint64 done = 0;
    int error = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            error = n < 0 ? errno : ENOSPC;
            break;
        }
    }
    if (done < bytes.size()) {
        // Half a line is worse than none: the part written goes again.
        if (done > 0 && ::ftruncate(fd, st.st_size) != 0)
            error = errno;
        ::close(fd);
        return refusedFile(path, error == ENOSPC ? diskFull() : errorText(error));
    }
    const bool synced = !sync || bytes.isEmpty() || syncDescriptor(fd);
    const int syncError = errno;
    ::close(fd);
    if (!synced)
        return refusedFile(path, errorText(syncError));
    return {};
#endif
}

} // namespace kelmar
