#include "setupini.h"

#include "cp950.h"
#include "serialsettings.h"
#include "intervaltimer.h"
#include "counts.h"
#include "numbertext.h"
#include "smallfile.h"

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
    const std::optional<QByteArray> bytes = readSmallRegularFile(Fileme);
    if (!bytes)
        return std::nullopt;
    return lineOfText(decodeCp950(*bytes), SLine);
}

SetupProblems applySetupLines(SetupFile &file,
                              const std::function<std::optional<QString>(int)> &getLine)
{
    SetupProblems problems;
    HostSettings &host = file.host;
    if (const auto l4 = getLine(4))
        host.recordFolder = *l4;

    if (const auto l1 = getLine(1)) {
        if (const auto v = wholeNumber(*l1)) {
            if (const auto n = roundHalfEven(*v)) {
                if (*n >= FirstPortNumber - 1 && *n <= LastPortNumber)
                    host.portNumber = *n;
            }
        }
    }
    if (const auto l2 = getLine(2)) {
        if (OfferedBaudRates.contains(*l2))
            host.baud = *l2;
    }
    if (const auto l3 = getLine(3)) {
        if (OfferedProtocols.contains(*l3))
            host.protocol = *l3;
    }
    if (const auto l5 = getLine(5)) {
        problems.screenSizeGiven = *l5 == ModeSmall || *l5 == ModeLarge;
        if (problems.screenSizeGiven)
            host.largeScreen = *l5 == ModeLarge;
    }
    if (const auto l6 = getLine(6)) {
        const auto v = finiteLeadingNumber(*l6);
        const auto ms = v ? roundHalfEven(*v) : std::nullopt;
        if (ms && *ms >= 0 && *ms <= IntervalTimer::MaxInterval)
            file.pollIntervalMs = *ms;
        else
            problems.refusedPollInterval = *l6;
    }
    if (const auto l8 = getLine(8))
        file.extension = *l8;
    if (const auto l9 = getLine(9))
        file.title = *l9;
    if (const auto l10 = getLine(10))
        file.recordSeconds = *l10;
    return problems;
}

QString numberField(int n)
{
    return (n < 0 ? QStringLiteral("-") : QStringLiteral(" ")) + QString::number(qAbs(qint64(n))) +
           QStringLiteral(" ");
}

QByteArray renderSetupIni(const SetupFile &v)
{
    const QString lines[] = {numberField(v.host.portNumber),
                             v.host.baud,
                             v.host.protocol,
                             v.host.recordFolder,
                             v.host.largeScreen ? ModeLarge : ModeSmall,
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

bool saveSetupIni(const QString &path, const SetupFile &values)
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
