#include "smallfile.h"

#include <QFile>
#include <QFileInfo>

namespace kelmar {

std::optional<QByteArray> readSmallRegularFile(const QString &path, qint64 limit)
{
    // Links are followed: a link to a regular file is read, a link to a
    // device or a pipe is not.
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > limit)
        return std::nullopt;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    // The file may have grown since it was looked at: read one byte beyond
    // the limit to notice.
    QByteArray bytes = f.read(limit + 1);
    if (bytes.size() > limit)
        return std::nullopt;
    return bytes;
}

} // namespace kelmar
