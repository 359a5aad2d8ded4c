#include "trendcsv.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <array>
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

QByteArray trendCsv(const QList<RecordFileEntry> &files, double from, double to,
                    const QList<int> &columns, const QStringList &names,
                    QList<RecordIssue> *issues)
{
    QByteArray out("\xEF\xBB\xBF");
    // The table reads the same whatever the operator's language.
    QStringList header{QStringLiteral("時間 (time)")};
    for (int i = 0; i < columns.size(); ++i)
        header.append(csvCell(names.value(i)));
    out += header.join(u',').toUtf8() + "\r\n";
    double last = -HUGE_VAL;
    for (const RecordFileEntry &e : files) {
        if (!recordFileMayHold(e, from, to))
            continue;
        QFile f(e.path);
        if (!QFileInfo(e.path).isFile() || !f.open(QIODevice::ReadOnly) || f.isSequential()) {
            if (issues)
                issues->append(
                    {e.path, 0,
                     QCoreApplication::translate("kelmar::TrendCsv", "無法讀取 (cannot read)")});
            continue;
        }
        LineTimes times(e.start);
        QByteArray pending;
        auto takeLine = [&](QByteArrayView line) {
            const ParsedLine p = parseRecordLine(line);
            if (p.status != LineStatus::Ok)
                return;
            const double t = times.at(p.time);
            if (t < from || t > to || t <= last)
                return;
            last = t;
            // The line parsed, so it has exactly RecordFieldCount fields.
            std::array<QByteArrayView, RecordFieldCount> fields;
            qsizetype begin = 0;
            for (int n = 0; n < RecordFieldCount; ++n) {
                qsizetype end = line.indexOf(RecordSeparator, begin);
                if (end < 0)
                    end = line.size();
                fields[size_t(n)] = line.sliced(begin, end - begin);
                begin = end + 1;
            }
            out += QDateTime::fromSecsSinceEpoch(qint64(t))
                       .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                       .toLatin1();
            for (int k : columns) {
                out += ',';
                if (k >= 0 && k < RecordValueCount)
                    out += fields[size_t(1 + k)]; // a number: nothing to quote
            }
            out += "\r\n";
        };
        for (;;) {
            const QByteArray piece = f.read(RecordReadPiece);
            if (piece.isEmpty())
                break;
            pending += piece;
            qsizetype start = 0;
            for (qsizetype i = 0; i < pending.size(); ++i) {
                if (pending[i] != '\n' && pending[i] != '\r')
                    continue;
                takeLine(QByteArrayView(pending).sliced(start, i - start));
                start = i + 1;
            }
            pending.remove(0, start);
        }
        if (!pending.isEmpty())
            takeLine(pending);
    }
    return out;
}

QString curveName(const QStringList &slotTitles, int valueIndex, CurveNameUse use)
{
    const int slot = valueIndex / RecordValuesPerSlot;
    QString title = slotTitles.value(slot).trimmed();
    if (title.isEmpty()) {
        //: The name of meter slot %1 when it has no title.
        const QString shown = QCoreApplication::translate("kelmar::TrendCsv", "儀表%1");
        title = (use == CurveNameUse::Shown ? shown : QStringLiteral("儀表%1")).arg(slot + 1);
    }
    return title + u' ' + QString::number(valueIndex % RecordValuesPerSlot + 1);
}

} // namespace kelmar
