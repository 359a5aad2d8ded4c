#include "exactdecimal.h"

#include <cmath>

namespace kelmar {

QString ExactDecimal::text() const
{
    QString digits = QString::number(magnitude);
    if (places > 0) {
        if (digits.size() <= places)
            digits.prepend(QString(places + 1 - digits.size(), u'0'));
        digits.insert(digits.size() - places, u'.');
    }
    return negative && magnitude != 0 ? u'-' + digits : digits;
}

std::optional<ExactDecimal> ExactDecimal::fromText(QStringView text)
{
    ExactDecimal d;
    qsizetype i = 0;
    if (text.startsWith(u'-')) {
        d.negative = true;
        ++i;
    }
    bool digits = false, point = false;
    for (; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'.' && !point) {
            point = true;
            continue;
        }
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const quint64 digit = c.unicode() - u'0';
        if (d.magnitude > (~quint64(0) - digit) / 10)
            return std::nullopt;
        d.magnitude = d.magnitude * 10 + digit;
        digits = true;
        if (point)
            ++d.places;
    }
    if (!digits)
        return std::nullopt;
    return d;
}

double ExactDecimal::toDouble() const
{
    const double v = double(magnitude) / std::pow(10.0, places);
    return negative ? -v : v;
}

} // namespace kelmar
