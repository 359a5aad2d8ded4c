#include "numbertext.h"

#include <cmath>
#include <limits>

namespace kelmar {

double leadingNumber(const QString &text)
{
    return finiteLeadingNumber(text).value_or(0.0);
}

std::optional<double> finiteLeadingNumber(const QString &text)
{
    QString kept;
    kept.reserve(text.size());
    int i = 0;
    auto skipBlanks = [&] {
        while (i < text.size() &&
               (text[i] == u' ' || text[i] == u'\t' || text[i] == u'\n' || text[i] == u'\r'))
            ++i;
    };
    auto digits = [&] {
        int n = 0;
        for (;;) {
            skipBlanks();
            if (i < text.size() && text[i].isDigit() && text[i].unicode() < 128) {
                kept.append(text[i++]);
                ++n;
            } else {
                return n;
            }
        }
    };
    skipBlanks();
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        kept.append(text[i++]);
    int n = digits();
    skipBlanks();
    if (i < text.size() && text[i] == u'.') {
        kept.append(text[i++]);
        n += digits();
    }
    if (n == 0)
        return 0.0;
    skipBlanks();
    if (i < text.size() &&
        (text[i] == u'e' || text[i] == u'E' || text[i] == u'd' || text[i] == u'D')) {
        const int mark = kept.size();
        const int back = i;
        kept.append(u'e');
        ++i;
        skipBlanks();
        if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
            kept.append(text[i++]);
        if (digits() == 0) {
            kept.truncate(mark);
            i = back;
        }
    }
    bool ok = false;
    const double v = kept.toDouble(&ok);
    if (ok && std::isfinite(v))
        return v;
    return std::nullopt;
}

std::optional<double> wholeNumber(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    bool ok = false;
    const double v = t.toDouble(&ok); // QString::toDouble is locale-independent
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<int> roundHalfEven(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    const double r = std::nearbyint(value); // default rounding mode: halves to even
    if (r < double(std::numeric_limits<int>::min()) || r > double(std::numeric_limits<int>::max()))
        return std::nullopt;
    return int(r);
}

bool hasControlCharacter(const QString &text)
{
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return true;
    return false;
}

} // namespace kelmar
