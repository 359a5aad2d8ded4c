#include "safefile.h"

#include <QDir>
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
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kelmar {

namespace {

QString isLink()
{
    return QStringLiteral("是符號連結 (a symbolic link)");
}

QString notRegular()
{
    return QStringLiteral("不是一般檔案 (not a regular file)");
}

QString diskFull()
{
    return QStringLiteral("磁碟已滿 (disk full)");
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

} // namespace

FileResult refusedFile(const QString &path, const QString &why)
{
    return {
        false,
        QStringLiteral("無法寫入 (cannot write) %1: %2").arg(QDir::toNativeSeparators(path), why)};
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

    // The new content goes into a file of its own beside the target, made
    // here and now (nothing planted under its name is written through) and
    // closed before the rename: Windows renames no file that is open.
    QFile temp;
    for (int tries = 0; tries < 100 && !temp.isOpen(); ++tries) {
        temp.setFileName(target + QStringLiteral(".%1").arg(QRandomGenerator::global()->generate(),
                                                            8, 16, QLatin1Char('0')));
        temp.open(QIODevice::WriteOnly | QIODevice::NewOnly);
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
    temp.close();
    // Looked at again just before: something planted since the first look
    // is not replaced.
    const Kind now = kindAt(target);
    if (now == Kind::Other || now == Kind::Link)
        return refusedFile(path, now == Kind::Link ? isLink() : notRegular());
    if (!renameOver(temp.fileName(), target))
        return refusedFile(path, QStringLiteral("無法取代 (cannot replace): %1").arg(qt_error_string()));
    discard.dismiss();
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
    // The reparse point itself is opened, never what it points at.
    const QString native = QDir::toNativeSeparators(path);
    const HANDLE h = CreateFileW(reinterpret_cast<const wchar_t *>(native.utf16()),
                                 FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | FILE_WRITE_DATA,
                                 FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return refusedFile(path, QStringLiteral("無法開啟 (cannot open)"));
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
