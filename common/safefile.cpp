#include "safefile.h"

#include <QDir>
#include <QFileDevice>
#include <QFileInfo>
#include <QSaveFile>

namespace kelmar {

FileResult refusedFile(const QString &path, const QString &why)
{
    return {false, QStringLiteral("無法寫入 (cannot write) %1: %2")
                       .arg(QDir::toNativeSeparators(path), why)};
}

FileResult replaceFile(const QString &path, const QByteArray &bytes, LinkPolicy links,
                       bool ownerOnly)
{
    QString target = path;
    const QFileInfo info(path);
    if (info.isSymLink()) {
        if (links == LinkPolicy::Refuse)
            return refusedFile(path, QStringLiteral("是符號連結 (a symbolic link)"));
        target = info.symLinkTarget();
    }
    const QFileInfo targetInfo(target);
    if (targetInfo.exists() && !targetInfo.isFile())
        return refusedFile(path, QStringLiteral("不是一般檔案 (not a regular file)"));

    QSaveFile f(target);
    // Unbuffered, so that a short write (a full disk) shows in the count: a
    // buffered flush would report it as success and commit a cut file.
    if (!f.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return refusedFile(path, f.errorString());
    if (ownerOnly)
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (f.write(bytes) != bytes.size()) {
        f.cancelWriting();
        return refusedFile(path, QStringLiteral("磁碟已滿 (disk full)"));
    }
    if (!f.commit())
        return refusedFile(path, f.errorString());
    return {};
}

} // namespace kelmar
