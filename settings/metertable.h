#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The meter table meter.txt: one model per line, fixed columns counted in
// characters after the conversion from code page 950.
//
//   columns  1-10  model name (trailing blanks are part of the name)
//           11-14  first start register     16-19  first register count
//           21-24  second start register    26-29  second register count
//           31     model flag "A" or "B"
// Columns 15, 20, 25 and 30 separate the fields and are not read.
namespace kelmar {

struct MeterEntry
{
    QString name;
    QString register1;
    QString count1;
    QString register2;
    QString count2;
    QString flag;
};

// The table split at every CR LF; a final CR LF gives an empty last entry,
// a bare LF does not split, an empty text gives no lines.
QStringList splitMeterLines(const QString &text);

// Columns first .. first + length - 1 (counted from 1) of a line, or the
// part of them that the line has.
QString meterColumns(const QString &line, int first, int length);

// The fields of one line, as they stand: nothing is trimmed or checked.
MeterEntry meterEntry(const QString &line);

QList<MeterEntry> meterEntries(const QStringList &lines);

struct OfferedMeterLines
{
    QStringList lines;   // the lines that can be offered as models, in file order
    QStringList notices; // one for each line left out: file, line number, why
};

// The lines of the table that are offered as models. A line whose register
// or count text is not four hexadecimal digits, or whose name holds NUL or
// another control character, is left out with a bilingual notice; empty
// lines are left out silently.
OfferedMeterLines offeredMeterLines(const QString &text,
                                    const QString &fileName = QStringLiteral("meter.txt"));

} // namespace kelmar
