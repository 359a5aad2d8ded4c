#include "trendcsv.h"

#include <QDateTime>
#include <cmath>

namespace kelmar {

namespace {

// RFC 4180: a cell with a separator, quote or line end is quoted.
QString csvCell(const QString &text)
{
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') &&
        !text.contains(u'\r'))
        return text;
    QString quoted = text;
    quoted.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

} // namespace

QByteArray trendCsv(const RecordSeries &s, double from, double to, const QList<int> &columns,
                    const QStringList &names)
{
    QByteArray out("\xEF\xBB\xBF");
    QStringList header{QStringLiteral("時間 (time)")};
    for (int i = 0; i < columns.size(); ++i)
        header.append(csvCell(names.value(i)));
    out += header.join(u',').toUtf8() + "\r\n";
    for (int i = s.lowerBound(from); i < s.size() && s.times[i] <= to; ++i) {
        const QDateTime t = QDateTime::fromMSecsSinceEpoch(qint64(std::llround(s.times[i] * 1000)));
        QByteArray line = t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1();
        for (int k : columns) {
            line += ',';
            const double v = (k >= 0 && k < RecordValueCount) ? s.values[size_t(k)][i] : NAN;
            // QByteArray::number is independent of the locale; 15 digits keep
            // every recorded reading (up to 64-bit counters of 15 digits) exact.
            if (!std::isnan(v))
                line += QByteArray::number(v, 'g', 15);
        }
        out += line + "\r\n";
    }
    return out;
}

QString curveName(const QStringList &slotTitles, int valueIndex)
{
    const int slot = valueIndex / RecordValuesPerSlot;
    QString title = slotTitles.value(slot).trimmed();
    if (title.isEmpty())
        title = QStringLiteral("儀表%1").arg(slot + 1);
    return title + u' ' + QString::number(valueIndex % RecordValuesPerSlot + 1);
}

} // namespace kelmar
