#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace kelmar {

// Far beyond any real settings file or meter table.
constexpr qint64 SmallFileLimit = 512 * 1024;

// The whole content of a regular file of at most `limit` bytes. Anything
// else gives no result: a missing file, a folder, a pipe (which would block
// the reader for ever), a device such as /dev/zero (which never ends), a
// file that is larger than the limit.
std::optional<QByteArray> readSmallRegularFile(const QString &path,
                                               qint64 limit = SmallFileLimit);

} // namespace kelmar
