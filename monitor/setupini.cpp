#include "setupini.h"

#include "cp950.h"
#include "serialsettings.h"
#include "numbertext.h"

#include <QFile>
#include <QSaveFile>

namespace kelmar {

std::optional<QString> lineOfText(const QString &text, int n)
{
    if (n < 1)
        return std::nullopt;
    int pos = 0;
    const int size = text.size();
    for (int line = 1; pos < size; ++line) {
        int end = pos;
        while (end < size && text[end] != u'\r')
            ++end;
        if (line == n)
            return text.mid(pos, end - pos);
        pos = end + 1;
        if (pos < size && text[pos] == u'\n' && end < size)
            ++pos;
    }
    return std::nullopt;
}

std::optional<QString> GetLine(const QString &Fileme, int SLine)
{
    QFile f(Fileme);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = f.readAll();
    f.close();
    return lineOfText(decodeCp950(bytes), SLine);
}

StartupSettings readStartupSettings(const std::function<std::optional<QString>(int)> &getLine)
{
    StartupSettings s;
    s.recordFolder = getLine(4);

    if (const auto l1 = getLine(1)) {
        if (const auto v = wholeNumber(*l1)) {
            if (const auto n = roundHalfEven(*v)) {
                const int pos = *n - 1;
                if (pos >= -1 && pos < 10)
                    s.portIndex = pos;
            }
        }
    }
    if (const auto l2 = getLine(2)) {
        const int i = OfferedBaudRates.indexOf(*l2);
        if (i >= 0)
            s.baudIndex = i;
    }
    if (const auto l3 = getLine(3)) {
        const int i = OfferedProtocols.indexOf(*l3);
        if (i >= 0)
            s.protocolIndex = i;
    }
    if (const auto l5 = getLine(5)) {
        if (*l5 == ModeSmall)
            s.largeMode = false;
        else if (*l5 == ModeLarge)
            s.largeMode = true;
    }
    if (const auto l6 = getLine(6))
        s.pollIntervalMs = roundHalfEven(leadingNumber(*l6));
    s.extension = getLine(8);
    s.title = getLine(9);
    s.recordSeconds = getLine(10);
    return s;
}

QString numberField(int n)
{
    return (n < 0 ? QStringLiteral("-") : QStringLiteral(" ")) + QString::number(qAbs(qint64(n))) +
           QStringLiteral(" ");
}

QByteArray renderSetupIni(const SetupValues &v)
{
    const QString lines[] = {numberField(v.portNumber),
                             v.baud,
                             v.protocol,
                             v.recordFolder,
                             v.mode,
                             numberField(v.pollIntervalMs),
                             QStringLiteral("Reserved"),
                             v.extension,
                             v.title,
                             v.recordSeconds};
    QByteArray out;
    for (const QString &l : lines)
        out += encodeCp950(l) + "\r\n";
    return out;
}

bool saveSetupIni(const QString &path, const SetupValues &values)
{
    QSaveFile f(path);
    // Unbuffered, so that a short write (a full disk) shows in the count: a
    // buffered flush would report it as success and commit a cut file.
    if (!f.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    const QByteArray bytes = renderSetupIni(values);
    if (f.write(bytes) != bytes.size()) {
        f.cancelWriting();
        return false;
    }
    return f.commit();
}

} // namespace kelmar
