#include "metertable.h"
#include "meterslot.h"
#include "numbertext.h"

#include <QCoreApplication>

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

bool isFourHexDigits(const QString &text)
{
    return registerFieldValue(text).has_value();
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

OfferedMeterLines offeredMeterLines(const QString &text, const QString &fileName)
{
    OfferedMeterLines offered;
    const QStringList lines = splitMeterLines(text);
    for (int i = 0; i < lines.size(); ++i) {
        const QString &line = lines[i];
        if (line.isEmpty())
            continue;
        const MeterEntry e = meterEntry(line);
        QString why;
        if (hasControlCharacter(line.left(NameColumns.length)))
            why = QCoreApplication::translate(
                "kelmar::MeterTable", "名稱含控制字元 (the name holds a control character)");
        else if (!isFourHexDigits(e.register1) || !isFourHexDigits(e.count1) ||
                 !isFourHexDigits(e.register2) || !isFourHexDigits(e.count2))
            why = QCoreApplication::translate(
                "kelmar::MeterTable",
                "暫存器不是十六進位 (a register or count is not hexadecimal)");
        if (why.isEmpty())
            offered.lines << line;
        else
            offered.notices << QCoreApplication::translate(
                                   "kelmar::MeterTable",
                                   "%1 第 %2 行不採用 (line %2 is not used): %3")
                                   .arg(fileName, QString::number(i + 1), why);
    }
    return offered;
}

} // namespace kelmar
