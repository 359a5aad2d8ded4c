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

QString decodeCp950(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return {};
    const int n = MultiByteToWideChar(950, 0, bytes.constData(), bytes.size(), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(950, 0, bytes.constData(), bytes.size(), out.data(), n);
    return QString::fromStdWString(out);
}

QByteArray encodeCp950(const QString &text)
{
    if (text.isEmpty())
        return {};
    const std::wstring in = text.toStdWString();
    const int n = WideCharToMultiByte(950, 0, in.data(), int(in.size()), nullptr, 0, "?", nullptr);
    QByteArray out(n, '\0');
    WideCharToMultiByte(950, 0, in.data(), int(in.size()), out.data(), n, "?", nullptr);
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
