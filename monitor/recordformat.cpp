#include "recordformat.h"

#include <cmath>

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
    fields += captions;
    return fields.join(u'\t');
}

QString recordTimeText(const QDateTime &t)
{
    return t.toString(QStringLiteral("HH:mm:ss"));
}

QString clockText(const QDateTime &t)
{
    return t.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral("  ") + recordTimeText(t);
}

QString recordStamp(const QDateTime &t)
{
    return t.toString(QStringLiteral("yyyy-MM-dd-HHmm"));
}

QString recordFileName(const QString &folder, const QString &stamp, const QString &extension)
{
    return folder + stamp + u'.' + extension;
}

bool newFileDue(const QString &stamp, const QDateTime &now)
{
    const QDateTime started = QDateTime::fromString(stamp, QStringLiteral("yyyy-MM-dd-HHmm"));
    if (!started.isValid())
        return false;
    return started.date() != now.date() || started.time().hour() != now.time().hour();
}

bool recordIntervalReachable(double seconds)
{
    return std::isfinite(seconds) && seconds >= 1 && std::floor(seconds) == seconds;
}

} // namespace kelmar
