#include "cp950.h"

#include <QList>
#include <algorithm>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <iconv.h>
#endif

namespace kelmar {

#ifdef Q_OS_WIN

// Character by character, so that a byte that starts no Big5 character reads
// as U+FFFD in its place, as on other systems: Windows would map some of them
// to private-use characters, or drop a lead byte cut off at the end.
QString decodeCp950(const QByteArray &bytes)
{
    QString out;
    out.reserve(bytes.size());
    const auto *b = reinterpret_cast<const unsigned char *>(bytes.constData());
    const int n = int(bytes.size());
    for (int i = 0; i < n;) {
        if (b[i] < 0x80) {
            out += QChar(b[i++]);
            continue;
        }
        wchar_t w[2];
        const bool lead = b[i] >= 0x81 && b[i] <= 0xFE && i + 1 < n;
        if (lead &&
            MultiByteToWideChar(950, MB_ERR_INVALID_CHARS, bytes.constData() + i, 2, w, 2) == 1) {
            out += QChar(char16_t(w[0]));
            i += 2;
        } else {
            out += QChar(0xFFFD);
            ++i;
        }
    }
    return out;
}

// One '?' for each character Big5 lacks, whether it takes one or two UTF-16
// units, and no "best fit" look-alikes: the same bytes as on other systems.
QByteArray encodeCp950(const QString &text)
{
    QByteArray out;
    out.reserve(text.size() * 2);
    for (const char32_t c : text.toUcs4()) {
        if (c < 0x80) {
            out += char(c);
            continue;
        }
        const QString one = QString::fromUcs4(&c, 1);
        char buffer[8];
        BOOL usedDefault = FALSE;
        const int k = WideCharToMultiByte(950, WC_NO_BEST_FIT_CHARS,
                                          reinterpret_cast<const wchar_t *>(one.utf16()),
                                          int(one.size()), buffer, int(sizeof buffer), nullptr,
                                          &usedDefault);
        if (k <= 0 || usedDefault)
            out += '?';
        else
            out.append(buffer, k);
    }
    return out;
}

#else

namespace {

// One conversion through iconv; an input sequence it refuses is replaced
// and skipped so that the rest of the text still converts.
QByteArray convert(const char *to, const char *from, const QByteArray &in, int badUnit,
                   const QByteArray &replacement)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return {};
    QByteArray out;
    out.reserve(in.size() * 2 + 16);
    char buffer[1024];
    char *src = const_cast<char *>(in.constData());
    size_t srcLeft = static_cast<size_t>(in.size());
    while (srcLeft > 0) {
        char *dst = buffer;
        size_t dstLeft = sizeof buffer;
        const size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer, int(dst - buffer));
        if (r != static_cast<size_t>(-1))
            break;
        if (errno == E2BIG)
            continue;
        // EILSEQ or EINVAL (truncated sequence at the end): replace one unit.
        const size_t skip = std::min(srcLeft, static_cast<size_t>(badUnit));
        src += skip;
        srcLeft -= skip;
        out.append(replacement);
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    return out;
}

} // namespace

QString decodeCp950(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return {};
    const QByteArray utf8 = convert("UTF-8", "CP950", bytes, 1, QByteArray("\xEF\xBF\xBD"));
    return QString::fromUtf8(utf8);
}

QByteArray encodeCp950(const QString &text)
{
    if (text.isEmpty())
        return {};
    // UTF-32 keeps one unit per character, so a refused character is skipped whole.
    QByteArray ucs4;
    const QList<uint> codes = text.toUcs4();
    ucs4.resize(codes.size() * 4);
    for (int i = 0; i < codes.size(); ++i) {
        const uint c = codes[i];
        ucs4[4 * i] = char(c & 0xFF);
        ucs4[4 * i + 1] = char((c >> 8) & 0xFF);
        ucs4[4 * i + 2] = char((c >> 16) & 0xFF);
        ucs4[4 * i + 3] = char((c >> 24) & 0xFF);
    }
    return convert("CP950", "UTF-32LE", ucs4, 4, QByteArray("?"));
}

#endif

} // namespace kelmar
