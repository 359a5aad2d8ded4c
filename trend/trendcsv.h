#pragma once

#include "recordreader.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

namespace kelmar {

// The lines of the record files from `from` to `to` (seconds since the
// epoch, both included) as CSV: UTF-8 with a byte order mark so that
// spreadsheets need not guess the code page, CR LF, a header row of
// "時間 (time)" and the names, local time "yyyy-MM-dd HH:mm:ss", then the
// fields exactly as the file holds them ("220.0" stays "220.0"), empty
// cells for gaps. Every second appears once, in time order: a line at or
// before one already taken (files of the same hour, a clock set back) is
// left out. `files` are ordered by start; `columns` are value indices
// (0 = slot 1 value 1), `names` their headers.
QByteArray trendCsv(const QList<RecordFileEntry> &files, double from, double to,
                    const QList<int> &columns, const QStringList &names,
                    QList<RecordIssue> *issues = nullptr);

// The curve name of value index k: "<title> 1" / "<title> 2", "儀表n" for an
// empty title; shown names have that word in the operator's language, names
// in a table the same in every language.
enum class CurveNameUse { Written, Shown };
QString curveName(const QStringList &slotTitles, int valueIndex,
                  CurveNameUse use = CurveNameUse::Written);

} // namespace kelmar
