#include "metertable.h"

namespace kelmar {

namespace {

struct Column
{
    int first, length;
};

constexpr Column NameColumns{1, 10};
constexpr Column Register1Columns{11, 4};
constexpr Column Count1Columns{16, 4};
constexpr Column Register2Columns{21, 4};
constexpr Column Count2Columns{26, 4};
constexpr Column FlagColumn{31, 1};

QString cut(const QString &line, Column c)
{
    return meterColumns(line, c.first, c.length);
}

} // namespace

QStringList splitMeterLines(const QString &text)
{
    if (text.isEmpty())
        return {};
    return text.split(QStringLiteral("\r\n"));
}

QString meterColumns(const QString &line, int first, int length)
{
    if (first < 1 || length <= 0 || first > line.size())
        return {};
    return line.mid(first - 1, length);
}

MeterEntry meterEntry(const QString &line)
{
    return {cut(line, NameColumns),      cut(line, Register1Columns), cut(line, Count1Columns),
            cut(line, Register2Columns), cut(line, Count2Columns),    cut(line, FlagColumn)};
}

QList<MeterEntry> meterEntries(const QStringList &lines)
{
    QList<MeterEntry> entries;
    entries.reserve(lines.size());
    for (const QString &line : lines)
        entries.append(meterEntry(line));
    return entries;
}

} // namespace kelmar
