#include "bitconversions.h"

#include "numbertext.h"

#include <limits>

namespace kelmar {

std::optional<QString> Ten_To_2(double n)
{
    if (n == 0.0 || n == 1.0)
        return QString::number(int(n));
    const std::optional<int> k = roundHalfEven(n);
    if (!k)
        return std::nullopt;
    // The digit rule: the digits of k / 2 (truncated), then k mod 2 with the
    // sign of k, down to a leading 0 or 1. For a negative k the remainders
    // are "-1" digits, as the rule gives them.
    int digits[32];
    int count = 0;
    int rest = *k;
    do {
        digits[count++] = rest % 2;
        rest /= 2;
    } while (rest != 0 && rest != 1);
    QString bits;
    bits.reserve(count * 2 + 1);
    bits += QChar(u'0' + rest);
    while (count > 0) {
        const int digit = digits[--count];
        bits += digit < 0 ? QStringLiteral("-1") : QString(QChar(u'0' + digit));
    }
    return bits;
}

std::optional<quint64> B_to_10(const QString &b)
{
    constexpr quint64 Max = std::numeric_limits<quint64>::max();
    quint64 sum = 0;
    const qsizetype length = b.size();
    for (qsizetype i = 0; i < length; ++i) {
        const QChar c = b.at(length - 1 - i);
        if (c < u'0' || c > u'9')
            continue;
        const quint64 digit = quint64(c.unicode() - u'0');
        if (digit == 0)
            continue;
        if (i >= 64)
            return std::nullopt;
        const quint64 weight = quint64(1) << i;
        if (weight > Max / digit)
            return std::nullopt;
        const quint64 term = digit * weight;
        if (sum > Max - term)
            return std::nullopt;
        sum += term;
    }
    return sum;
}

} // namespace kelmar
