#include "recordformat.h"

#include "cp950.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>

namespace kelmar {

namespace {

// 0 to 4 decimals for the divisors 1, 10, 100, 1000, 10000.
std::optional<int> decimalsOf(double divisor)
{
    static constexpr double Divisors[] = {1, 10, 100, 1000, 10000};
    for (int n = 0; n < 5; ++n)
        if (divisor == Divisors[n])
            return n;
    return std::nullopt;
}

bool isIntegerText(const QString &t)
{
    const int start = t.startsWith(u'-') ? 1 : 0;
    if (t.size() <= start)
        return false;
    for (int i = start; i < t.size(); ++i)
        if (t[i] < u'0' || t[i] > u'9')
            return false;
    return true;
}

} // namespace

std::optional<QString> formatReading(const QString &reading, double divisor)
{
    const auto decimals = decimalsOf(divisor);
    if (!decimals)
        return std::nullopt;
    if (!isIntegerText(reading))
        return QString(); // no valid reply: the label shows nothing
    const bool negative = reading.startsWith(u'-');
    QString digits = reading.mid(negative ? 1 : 0);
    while (digits.size() > 1 && digits.startsWith(u'0'))
        digits.remove(0, 1);
    const int n = *decimals;
    if (n > 0) {
        if (digits.size() <= n)
            digits = QString(n + 1 - digits.size(), u'0') + digits;
        digits.insert(digits.size() - n, u'.');
    }
    const bool zero = digits.count(u'0') + digits.count(u'.') == digits.size();
    return (negative && !zero ? QStringLiteral("-") : QString()) + digits;
}

QString buildRecordLine(const QString &time, const QStringList &captions)
{
    QStringList fields{time};
    fields += captions.mid(0, RecordValueCount);
    while (fields.size() < RecordFieldCount)
        fields.append(QString());
    return fields.join(QChar::fromLatin1(RecordSeparator));
}

QString buildRecordLine(const QDateTime &time, const RecordValues &values)
{
    QStringList captions;
    for (const std::optional<ExactDecimal> &v : values)
        captions << (v ? v->text() : QString());
    return buildRecordLine(recordTimeText(time), captions);
}

QByteArray encodeRecordLine(const QString &line)
{
    return encodeCp950(line) + RecordLineEnd;
}

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

constexpr std::string_view TimeFormat(RecordTimeFormat);
constexpr size_t HourAt = TimeFormat.find("HH");
constexpr size_t MinuteAt = TimeFormat.find("mm");
constexpr size_t SecondAt = TimeFormat.find("ss");
static_assert(HourAt != std::string_view::npos && MinuteAt != std::string_view::npos &&
              SecondAt != std::string_view::npos);

} // namespace

QTime parseRecordTime(QByteArrayView f)
{
    if (size_t(f.size()) != TimeFormat.size())
        return {};
    for (size_t i = 0; i < TimeFormat.size(); ++i) {
        const bool digitWanted = TimeFormat[i] == 'H' || TimeFormat[i] == 'm' || TimeFormat[i] == 's';
        if (isDigit(f[qsizetype(i)]) != digitWanted)
            return {};
    }
    auto two = [&f](size_t at) { return (f[qsizetype(at)] - '0') * 10 + (f[qsizetype(at + 1)] - '0'); };
    const int h = two(HourAt), m = two(MinuteAt), s = two(SecondAt);
    if (h > 23 || m > 59 || s > 59)
        return {};
    return QTime(h, m, s);
}

bool parseRecordValue(QByteArrayView f, double &value)
{
    if (f.isEmpty()) {
        value = std::nan("");
        return true;
    }
    const char *p = f.data();
    const char *end = p + f.size();
    const char *q = p;
    if (*q == '-')
        ++q;
    int digits = 0;
    while (q < end && isDigit(*q)) {
        ++q;
        ++digits;
    }
    if (q < end && *q == '.') {
        ++q;
        while (q < end && isDigit(*q)) {
            ++q;
            ++digits;
        }
    }
    if (q != end || digits == 0)
        return false;
    // Up to 15 digits (every reading but the widest counters): the digits
    // as an integer, divided by the power of ten of the decimals. Both are
    // exact doubles and the division rounds once, so this is the nearest
    // double, as from_chars gives it, at a fraction of its cost.
    if (digits <= 15) {
        static constexpr double Tens[] = {1, 10, 100, 1e3, 1e4, 1e5, 1e6, 1e7,
                                          1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
        qint64 m = 0;
        int decimals = -1;
        for (const char *c = *p == '-' ? p + 1 : p; c < end; ++c) {
            if (*c == '.') {
                decimals = 0;
                continue;
            }
            m = m * 10 + (*c - '0');
            if (decimals >= 0)
                ++decimals;
        }
        const double magnitude = double(m) / Tens[std::max(decimals, 0)];
        value = *p == '-' ? -magnitude : magnitude;
        return true;
    }
    // from_chars ignores the C locale, unlike strtod.
    const auto r = std::from_chars(p, end, value);
    return r.ec == std::errc() && r.ptr == end && std::isfinite(value);
}

QDateTime parseRecordStamp(QStringView stamp)
{
    if (stamp.size() != qsizetype(sizeof(RecordStampFormat) - 1))
        return {};
    const QDateTime t =
        QDateTime::fromString(stamp.toString(), QString::fromLatin1(RecordStampFormat));
    return t.isValid() ? t : QDateTime();
}

QString recordTimeText(const QDateTime &t)
{
    return t.toString(QString::fromLatin1(RecordTimeFormat));
}

QString clockText(const QDateTime &t)
{
    return t.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral("  ") + recordTimeText(t);
}

QString recordStamp(const QDateTime &t)
{
    return t.toString(QString::fromLatin1(RecordStampFormat));
}

QString recordFileName(const QString &folder, const QString &stamp, const QString &extension)
{
    return folder + stamp + u'.' + extension;
}

bool newFileDue(const QString &stamp, const QDateTime &now)
{
    // Read as written, date and time apart: asked every second, and a local
    // date-time would look the time zone up each time.
    if (stamp.size() != qsizetype(sizeof(RecordStampFormat) - 1))
        return false;
    constexpr qsizetype DateLength = 10; // "yyyy-MM-dd"
    const QDate day = QDate::fromString(stamp.left(DateLength), u"yyyy-MM-dd");
    const QTime started = QTime::fromString(stamp.mid(DateLength + 1), u"HHmm");
    if (!day.isValid() || !started.isValid() || stamp.at(DateLength) != u'-')
        return false;
    return day != now.date() || started.hour() != now.time().hour();
}

bool recordIntervalReachable(double seconds)
{
    return std::isfinite(seconds) && seconds >= 1 && std::floor(seconds) == seconds;
}

} // namespace kelmar
