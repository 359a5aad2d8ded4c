#pragma once

#include <QString>
#include <initializer_list>

namespace kelmar {

// Puts values[n - 1] for each %n (1 to 9) of a translated text, in one pass.
// QString::arg numbers its values by the rank of the markers found, so a
// translation that leaves out a value only the other language's half needs
// (a list of slots in Chinese beside the same list in English) would get the
// wrong one; here %2 is always the second value. A value is never scanned
// for markers itself, and a marker without a value stays as it is.
inline QString fillIn(const QString &text, std::initializer_list<QString> values)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const QChar d = i + 1 < text.size() ? text.at(i + 1) : QChar();
        const int n = c == u'%' && d >= u'1' && d <= u'9' ? d.unicode() - u'0' : 0;
        if (n >= 1 && n <= int(values.size())) {
            out += values.begin()[n - 1];
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace kelmar
