#pragma once

#include "recordreader.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

namespace kelmar {

// The samples from `from` to `to` (seconds since the epoch, both included) as
// CSV: UTF-8 with a byte order mark so that spreadsheets need not guess the
// code page, CR LF, a header row of "時間 (time)" and the names, local time
// "yyyy-MM-dd HH:mm:ss", '.' as decimal separator, empty cells for gaps.
// `columns` are value indices (0 = slot 1 value 1), `names` their headers.
QByteArray trendCsv(const RecordSeries &s, double from, double to, const QList<int> &columns,
                    const QStringList &names);

// The curve name of value index k: "<title> 1" / "<title> 2", "儀表n" for an
// empty title.
QString curveName(const QStringList &slotTitles, int valueIndex);

} // namespace kelmar
