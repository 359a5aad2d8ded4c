#include "recordreader.h"

#include "cp950.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace kelmar {

namespace {

constexpr double Gap = std::numeric_limits<double>::quiet_NaN();
// A record line is under 300 bytes; a longer run without a line end is
// binary data, not a line still being written.
constexpr qsizetype MaxLineBytes = 64 * 1024;
// Bad lines reported one by one per file; the rest are only counted.
constexpr qint64 MaxLineIssues = 20;

#ifdef Q_OS_WIN
constexpr Qt::CaseSensitivity FileNameCase = Qt::CaseInsensitive;
#else
constexpr Qt::CaseSensitivity FileNameCase = Qt::CaseSensitive;
#endif

QString excerpt(QByteArrayView line)
{
    constexpr qsizetype Shown = 60;
    QString text = decodeCp950(line.first(std::min(line.size(), Shown)).toByteArray());
    text.replace(u'\t', u' ');
    if (line.size() > Shown)
        text += QStringLiteral("…");
    return text;
}

RecordIssue fileIssue(const QString &path, const QString &text)
{
    return RecordIssue{path, 0, text};
}

} // namespace

// --- RecordSeries ---------------------------------------------------------

void RecordSeries::clear()
{
    times.clear();
    for (auto &v : values)
        v.clear();
}

void RecordSeries::reserve(int n)
{
    times.reserve(n);
    for (auto &v : values)
        v.reserve(n);
}

void RecordSeries::append(double time, const std::array<double, RecordValueCount> &row)
{
    times.append(time);
    for (int i = 0; i < RecordValueCount; ++i)
        values[size_t(i)].append(row[size_t(i)]);
}

void RecordSeries::append(const RecordSeries &other)
{
    times += other.times;
    for (int i = 0; i < RecordValueCount; ++i)
        values[size_t(i)] += other.values[size_t(i)];
}

void RecordSeries::sortByTime()
{
    if (std::is_sorted(times.cbegin(), times.cend()))
        return;
    QVector<int> order(times.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [this](int a, int b) { return times[a] < times[b]; });
    auto permute = [&order](const QVector<double> &in) {
        QVector<double> out;
        out.reserve(in.size());
        for (int i : order)
            out.append(in[i]);
        return out;
    };
    times = permute(times);
    for (auto &v : values)
        v = permute(v);
}

int RecordSeries::lowerBound(double time) const
{
    return int(std::lower_bound(times.cbegin(), times.cend(), time) - times.cbegin());
}

void RecordSeries::dropBefore(double time)
{
    const int n = lowerBound(time);
    if (n <= 0)
        return;
    times.remove(0, n);
    for (QVector<double> &v : values)
        v.remove(0, n);
}

// --- Lines and names ------------------------------------------------------

ParsedLine parseRecordLine(QByteArrayView line)
{
    ParsedLine r;
    if (line.isEmpty()) {
        // Recording before the first polling tick writes empty lines.
        r.status = LineStatus::Empty;
        return r;
    }
    qsizetype start = 0;
    int field = 0;
    for (;;) {
        const qsizetype tab = line.indexOf(RecordSeparator, start);
        const QByteArrayView f = line.sliced(start, (tab < 0 ? line.size() : tab) - start);
        if (field == 0) {
            r.time = parseRecordTime(f);
            if (!r.time.isValid())
                return r;
        } else if (field > RecordValueCount || !parseRecordValue(f, r.values[size_t(field - 1)])) {
            return r;
        }
        ++field;
        if (tab < 0)
            break;
        start = tab + 1;
    }
    if (field != RecordFieldCount)
        return r; // a cut line
    r.status = LineStatus::Ok;
    return r;
}

QDateTime recordFileStart(const QString &path)
{
    // Every letter of the stamp's format stands for a digit.
    static const QRegularExpression re(
        QString::fromLatin1(RecordStampFormat).replace(QRegularExpression(QStringLiteral("[A-Za-z]")), QStringLiteral("\\d")));
    const QString name = QFileInfo(path).fileName();
    QDateTime found;
    auto it = re.globalMatch(name);
    while (it.hasNext())
        found = parseRecordStamp(it.next().capturedView());
    return found;
}

RecordListing listRecordFiles(const QString &prefix, const QString &extension)
{
    RecordListing r;
    qsizetype cut = prefix.lastIndexOf(u'/');
#ifdef Q_OS_WIN
    cut = std::max(cut, prefix.lastIndexOf(u'\\'));
#endif
    const QString folder = cut < 0 ? QStringLiteral(".") : prefix.left(cut + 1);
    const QString namePrefix = prefix.mid(cut + 1);
    const QDir dir(folder);
    if (!QFileInfo(folder).isDir()) {
        r.folderMissing = true;
        r.issues.append(fileIssue(
            folder, QCoreApplication::translate("kelmar::RecordReader",
                                                "記錄資料夾不存在 (record folder missing)")));
        return r;
    }
    const QString suffix = u'.' + extension;
    constexpr qsizetype StampLength = sizeof(RecordStampFormat) - 1;
    const qsizetype nameLength = namePrefix.size() + StampLength + suffix.size();
    const QStringList names = dir.entryList(QDir::Files | QDir::Dirs | QDir::System | QDir::Hidden |
                                            QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        if (name.size() != nameLength || !name.startsWith(namePrefix, FileNameCase) ||
            !name.endsWith(suffix, FileNameCase))
            continue;
        const QString path = dir.filePath(name);
        const QDateTime start = parseRecordStamp(QStringView(name).mid(namePrefix.size(), StampLength));
        if (!start.isValid()) {
            // Unrelated files that merely share the length, prefix and extension.
            continue;
        }
        if (!QFileInfo(path).isFile()) {
            r.issues.append(
                fileIssue(path, QCoreApplication::translate("kelmar::RecordReader",
                                                            "不是一般檔案 (not a regular file)")));
            continue;
        }
        r.files.append({path, start});
    }
    std::sort(r.files.begin(), r.files.end(),
              [](const RecordFileEntry &a, const RecordFileEntry &b) {
                  return a.start != b.start ? a.start < b.start : a.path < b.path;
              });
    return r;
}

// --- RecordParser ---------------------------------------------------------

RecordParser::RecordParser(const QString &path, const QDateTime &fileStart)
    : m_path(path), m_start(fileStart), m_times(fileStart)
{
}

namespace {

constexpr qint64 DaySeconds = 24 * 3600;
// The furthest the clock is taken to have been set back between two lines
// of a file (summer time ends, a clock corrected): an hour, and some more.
constexpr qint64 SetBackSeconds = 2 * 3600;
// Files written before each line went into the file of its own hour hold
// the next hour's first second at their end; one may also open with the
// last second of the hour before.
constexpr double FileMarginSeconds = 60;

qint64 floorDiv(qint64 a, qint64 b)
{
    return a / b - (a % b != 0 && (a < 0) != (b < 0) ? 1 : 0);
}

} // namespace

LineTimes::LineTimes(const QDateTime &fileStart) : m_start(fileStart)
{
}

double LineTimes::at(const QTime &t)
{
    const qint64 time = t.msecsSinceStartOfDay() / 1000;
    const qint64 ref = m_first ? m_start.time().msecsSinceStartOfDay() / 1000 : m_last;
    qint64 s = floorDiv(ref, DaySeconds) * DaySeconds + time; // on the day of ref
    if (m_first) {
        if (s - ref > DaySeconds / 2)
            s -= DaySeconds;
        else if (ref - s >= DaySeconds / 2)
            s += DaySeconds;
    } else if (s < ref - SetBackSeconds) {
        s += DaySeconds;
    } else if (s - DaySeconds >= ref - SetBackSeconds) {
        s -= DaySeconds; // just after midnight, then the clock set back before it
    }
    m_first = false;
    m_last = s;
    const qint64 hourKey = floorDiv(s, 3600);
    if (hourKey != m_hourKey) {
        // Local time to UTC is slow; it is done once per hour of the file
        // (offsets change only at full hours where this program runs).
        m_hourKey = hourKey;
        const qint64 day = floorDiv(hourKey, 24);
        m_hourStart =
            double(QDateTime(m_start.date().addDays(day), QTime(int(hourKey - day * 24), 0))
                       .toMSecsSinceEpoch()) /
            1000.0;
    }
    return m_hourStart + double(s - hourKey * 3600);
}

bool recordFileMayHold(const RecordFileEntry &e, double from, double to)
{
    const QDateTime hour(e.start.date(), QTime(e.start.time().hour(), 0));
    const double first = double(hour.toSecsSinceEpoch()) - FileMarginSeconds;
    const double last = double(hour.toSecsSinceEpoch()) + RecordFileSeconds + FileMarginSeconds;
    return first <= to && last >= from;
}

void RecordParser::feed(QByteArrayView bytes, RecordSeries &out, QList<RecordIssue> &issues)
{
    qsizetype i = 0;
    if (m_afterCr && !bytes.isEmpty() && bytes[0] == '\n')
        i = 1; // the LF of a CR LF split between two reads
    m_afterCr = false;
    qsizetype lineStart = i;
    for (; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c != '\r' && c != '\n')
            continue;
        const QByteArrayView piece = bytes.sliced(lineStart, i - lineStart);
        if (m_pending.isEmpty()) {
            takeLine(piece, out, issues);
        } else {
            m_pending.append(piece);
            takeLine(m_pending, out, issues);
            m_pending.clear();
        }
        if (c == '\r') {
            if (i + 1 < bytes.size()) {
                if (bytes[i + 1] == '\n')
                    ++i;
            } else {
                m_afterCr = true;
            }
        }
        lineStart = i + 1;
    }
    m_pending.append(bytes.sliced(lineStart));
    if (m_pending.size() > MaxLineBytes) {
        takeLine(m_pending, out, issues); // reported as a bad line, then dropped
        m_pending.clear();
    }
}

void RecordParser::finish(RecordSeries &out, QList<RecordIssue> &issues)
{
    if (!m_pending.isEmpty())
        takeLine(m_pending, out, issues);
    m_pending.clear();
    m_afterCr = false;
}

void RecordParser::takeLine(QByteArrayView line, RecordSeries &out, QList<RecordIssue> &issues)
{
    ++m_lineNumber;
    const ParsedLine p = parseRecordLine(line);
    if (p.status == LineStatus::Empty)
        return;
    if (p.status == LineStatus::Malformed) {
        ++m_bad;
        if (m_bad <= MaxLineIssues)
            issues.append(
                {m_path, m_lineNumber,
                 QCoreApplication::translate("kelmar::RecordReader",
                                             "第 %1 行不完整或格式不符，已略過 (line %1 cut or "
                                             "malformed, skipped): %2")
                     .arg(m_lineNumber)
                     .arg(excerpt(line))});
        return;
    }
    ++m_good;
    out.append(m_times.at(p.time), p.values);
}

// --- Whole files and growing files ----------------------------------------

namespace {

// Regular files of a sane size only: a FIFO would block the reader, a huge
// file would exhaust memory.
bool checkReadable(const QString &path, QList<RecordIssue> &issues)
{
    const QFileInfo fi(path);
    if (!fi.exists()) {
        issues.append(fileIssue(path, QCoreApplication::translate("kelmar::RecordReader",
                                                                  "找不到檔案 (file missing)")));
        return false;
    }
    if (!fi.isFile()) {
        issues.append(
            fileIssue(path, QCoreApplication::translate("kelmar::RecordReader",
                                                        "不是一般檔案 (not a regular file)")));
        return false;
    }
    if (fi.size() > MaxRecordFileBytes) {
        issues.append(fileIssue(
            path, QCoreApplication::translate("kelmar::RecordReader",
                                              "檔案過大，不是記錄檔 (file too large for a "
                                              "record file)")));
        return false;
    }
    return true;
}

} // namespace

RecordFileData readRecordFile(const QString &path, const QDateTime &start)
{
    RecordFileData r;
    if (!checkReadable(path, r.issues))
        return r;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.isSequential()) {
        r.issues.append(fileIssue(
            path, QCoreApplication::translate("kelmar::RecordReader", "無法讀取 (cannot read)")));
        return r;
    }
    RecordParser parser(path, start);
    QList<RecordIssue> lineIssues;
    // In pieces: the file's text is never held whole beside its values.
    r.series.reserve(int(std::min<qint64>(f.size() / 64 + 1, 2000000)));
    // A buffer of the file's size, up to one piece. It is not kept per
    // thread between files: such a buffer's clean-up at the end of the
    // process crashed the Windows build there.
    QByteArray buffer(qsizetype(std::min<qint64>(RecordReadPiece, f.size() + 1)),
                      Qt::Uninitialized);
    for (;;) {
        const qint64 n = f.read(buffer.data(), buffer.size());
        if (n <= 0)
            break;
        parser.feed(QByteArrayView(buffer.constData(), n), r.series, lineIssues);
    }
    parser.finish(r.series, lineIssues);
    r.series.sortByTime(); // the clock set back within the file
    if (parser.goodLines() == 0 && parser.badLines() > 0) {
        r.issues.append(
            fileIssue(path, QCoreApplication::translate("kelmar::RecordReader",
                                                        "不是記錄檔，%1 行無法讀取 (not a record "
                                                        "file, %1 unreadable lines)")
                                .arg(parser.badLines())));
        return r;
    }
    r.issues += lineIssues;
    if (parser.badLines() > MaxLineIssues)
        r.issues.append(
            fileIssue(path, QCoreApplication::translate("kelmar::RecordReader",
                                                        "另有 %1 行略過 (%1 more lines skipped)")
                                .arg(parser.badLines() - MaxLineIssues)));
    return r;
}

RecordFollower::RecordFollower(const QString &path)
    : m_path(path), m_start(recordFileStart(path)), m_parser(path, m_start)
{
}

RecordFollower::Step RecordFollower::readMore()
{
    Step step;
    if (!m_start.isValid()) {
        if (!m_reportedMissing)
            step.issues.append(
                fileIssue(m_path, QCoreApplication::translate("kelmar::RecordReader",
                                                              "檔名沒有日期時間 (file name has "
                                                              "no date and time)")));
        m_reportedMissing = true;
        return step;
    }
    const QFileInfo fi(m_path);
    if (!fi.exists()) {
        // Recording creates the file a moment later; say it once.
        if (!m_reportedMissing)
            checkReadable(m_path, step.issues);
        m_reportedMissing = true;
        return step;
    }
    if (!checkReadable(m_path, step.issues))
        return step;
    m_reportedMissing = false;
    QFile f(m_path);
    if (!f.open(QIODevice::ReadOnly) || f.isSequential()) {
        step.issues.append(fileIssue(
            m_path, QCoreApplication::translate("kelmar::RecordReader", "無法讀取 (cannot read)")));
        return step;
    }
    const qint64 size = f.size();
    if (size < m_offset) {
        // Switching recording off and on within one minute empties the file.
        step.restarted = true;
        m_offset = 0;
        m_parser = RecordParser(m_path, m_start);
    }
    if (size == m_offset || !f.seek(m_offset))
        return step;
    const QByteArray bytes = f.read(std::min(size - m_offset, RecordReadPiece));
    m_offset += bytes.size();
    step.more = m_offset < size;
    m_parser.feed(bytes, step.samples, step.issues);
    return step;
}

RecordSeries withTimeBreaks(const RecordSeries &s)
{
    const int n = s.size();
    if (n < 3)
        return s;
    QVector<double> steps;
    steps.reserve(n - 1);
    for (int i = 1; i < n; ++i)
        if (s.times[i] > s.times[i - 1])
            steps.append(s.times[i] - s.times[i - 1]);
    if (steps.isEmpty())
        return s;
    auto mid = steps.begin() + steps.size() / 2;
    std::nth_element(steps.begin(), mid, steps.end());
    const double usual = *mid;
    const double limit = std::max(3 * usual, usual + 2.0);
    RecordSeries r;
    r.reserve(n + 16);
    std::array<double, RecordValueCount> row{};
    std::array<double, RecordValueCount> gapRow;
    gapRow.fill(Gap);
    for (int i = 0; i < n; ++i) {
        if (i > 0 && s.times[i] - s.times[i - 1] > limit)
            r.append((s.times[i] + s.times[i - 1]) / 2, gapRow);
        for (int k = 0; k < RecordValueCount; ++k)
            row[size_t(k)] = s.values[size_t(k)][i];
        r.append(s.times[i], row);
    }
    return r;
}

} // namespace kelmar
