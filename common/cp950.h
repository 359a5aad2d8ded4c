#pragma once

#include <QByteArray>
#include <QString>

// The settings file, the meter table and the record files are written in
// code page 950 (Big5), so that files written by the operator's Traditional
// Chinese desktops and by this program read the same everywhere.
namespace kelmar {

// Bytes that are not valid CP950 become U+FFFD, one per bad byte, so a
// damaged file still reads with its columns in place.
QString decodeCp950(const QByteArray &bytes);

// Characters that CP950 cannot hold become '?'.
QByteArray encodeCp950(const QString &text);

} // namespace kelmar
