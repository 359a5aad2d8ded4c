#include "conversions.h"

#include "numbertext.h"

#include <limits>

namespace kelmar {

std::optional<qint32> HEX_to_DEC(const QString &Hex)
{
    const QString upper = Hex.toUpper();
    qint64 total = 0;
    const qsizetype length = upper.size();
    for (qsizetype i = 0; i < length; ++i) {
        const QChar c = upper.at(length - 1 - i);
        int digit;
        if (c >= u'0' && c <= u'9')
            digit = c.unicode() - u'0';
        else if (c >= u'A' && c <= u'F')
            digit = c.unicode() - u'A' + 10;
        else
            continue;
        if (digit == 0)
            continue;
        // Eight places hold at most 0xFFFFFFFF, so the sum below stays in 64 bits.
        if (i >= 8)
            return std::nullopt;
        total += qint64(digit) << (4 * i);
        if (total > std::numeric_limits<qint32>::max())
            return std::nullopt;
    }
    return qint32(total);
}

} // namespace kelmar
