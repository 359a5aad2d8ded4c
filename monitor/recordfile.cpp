#include "recordfile.h"

#include "recordformat.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace kelmar {

namespace {

FileResult failure(const QString &what, const QString &path, const QString &why)
{
    return {false, QStringLiteral("%1 %2: %3").arg(what, QDir::toNativeSeparators(path), why)};
}

} // namespace

FileResult ensureRecordFolder(const QString &folderText)
{
    if (folderText.isEmpty())
        return {};
    const QFileInfo info(folderText);
    if (info.exists())
        return {};
    if (!QDir().mkdir(folderText))
        return failure(QStringLiteral("無法建立記錄資料夾 (cannot create record folder)"),
                       folderText,
                       QFileInfo(info.absolutePath()).exists()
                           ? QStringLiteral("權限不足 (not allowed)")
                           : QStringLiteral("上層資料夾不存在 (its parent is missing)"));
    return {};
}

// Something that is not a regular file in the record file's place (a pipe
// would block the program until someone reads it; a folder cannot be
// written) is refused before it is opened.
static FileResult refuseIfNotAFile(const QString &what, const QString &path)
{
    const QFileInfo info(path);
    if ((info.exists() || info.isSymLink()) && !info.isFile())
        return failure(what, path, QStringLiteral("不是一般檔案 (not a regular file)"));
    return {};
}

FileResult createRecordFile(const QString &path)
{
    const FileResult refused =
        refuseIfNotAFile(QStringLiteral("無法建立記錄檔 (cannot create record file)"), path);
    if (!refused.ok)
        return refused;
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append))
        return failure(QStringLiteral("無法建立記錄檔 (cannot create record file)"), path,
                       f.errorString());
    f.close();
    return {};
}

FileResult appendRecordLine(const QString &path, const QString &line)
{
    const FileResult refused =
        refuseIfNotAFile(QStringLiteral("無法寫入記錄檔 (cannot write record file)"), path);
    if (!refused.ok)
        return refused;
    QFile f(path);
    // Unbuffered, so that a short write shows in the count at once.
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return failure(QStringLiteral("無法寫入記錄檔 (cannot write record file)"), path,
                       f.errorString());
    const qint64 before = f.size();
    const QByteArray bytes = encodeRecordLine(line);
    const qint64 written = f.write(bytes);
    if (written != bytes.size()) {
        const QString why = f.errorString();
        if (written > 0)
            f.resize(before);
        f.close();
        return failure(QStringLiteral("無法寫入記錄檔 (cannot write record file)"), path,
                       written >= 0 ? QStringLiteral("磁碟已滿 (disk full)") : why);
    }
    f.close();
    return {};
}

} // namespace kelmar
