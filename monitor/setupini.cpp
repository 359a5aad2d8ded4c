#include "setupini.h"

#include "cp950.h"
#include "intervaltimer.h"
#include "counts.h"
#include "numbertext.h"
#include "safefile.h"
#include "serialsettings.h"
#include "smallfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

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

namespace {

QString lineNotice(int n, const QString &text, const QString &why)
{
    QString shown = text;
    for (QChar &c : shown)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QChar(u'?');
    return QCoreApplication::translate("kelmar::SetupIni",
                                       "%1 第 %2 行 \"%3\" 不採用 (line %2 is not used): %4")
        .arg(SetupIniName)
        .arg(n)
        .arg(shown, why);
}

} // namespace

SetupProblems applySetupLines(SetupFile &file,
                              const std::function<std::optional<QString>(int)> &getLine)
{
    SetupProblems problems;
    HostSettings &host = file.host;
    const QString notAName =
        QCoreApplication::translate("kelmar::SetupIni", "含控制字元 (holds a control character)");
    // A name with a control character in it is refused whole.
    auto name = [&](int n, QString &field) {
        if (const auto l = getLine(n)) {
            if (hasControlCharacter(*l))
                problems.notices << lineNotice(n, *l, notAName);
            else
                field = *l;
        }
    };
    name(4, host.recordFolder);

    if (const auto l1 = getLine(1)) {
        const auto v = wholeNumber(*l1);
        const auto n = v ? roundHalfEven(*v) : std::nullopt;
        if (n && *n >= FirstPortNumber - 1 && *n <= LastPortNumber)
            host.portNumber = *n;
        else
            problems.notices << lineNotice(
                1, *l1,
                QCoreApplication::translate("kelmar::SetupIni", "不是埠號 (not a port number)"));
    }
    if (const auto l2 = getLine(2)) {
        if (OfferedBaudRates.contains(*l2))
            host.baud = *l2;
        else
            problems.notices << lineNotice(
                2, *l2,
                QCoreApplication::translate("kelmar::SetupIni", "不是鮑率 (not a baud rate)"));
    }
    if (const auto l3 = getLine(3)) {
        if (OfferedProtocols.contains(*l3))
            host.protocol = *l3;
        else
            problems.notices << lineNotice(
                3, *l3,
                QCoreApplication::translate("kelmar::SetupIni", "不是通訊格式 (not a framing)"));
    }
    if (const auto l5 = getLine(5)) {
        problems.screenSizeGiven = *l5 == ModeSmall || *l5 == ModeLarge;
        if (problems.screenSizeGiven)
            host.largeScreen = *l5 == ModeLarge;
        else
            problems.notices << lineNotice(
                5, *l5,
                QCoreApplication::translate("kelmar::SetupIni", "不是 800X600 或 1024X768 "
                                                                "(not 800X600 or 1024X768)"));
    }
    if (const auto l6 = getLine(6)) {
        const auto v = finiteLeadingNumber(*l6);
        const auto ms = v ? roundHalfEven(*v) : std::nullopt;
        if (ms && *ms >= 0 && *ms <= IntervalTimer::MaxInterval)
            file.pollIntervalMs = *ms;
        else
            problems.refusedPollInterval = *l6;
    }
    name(8, file.extension);
    name(9, file.title);
    name(10, file.recordSeconds);
    return problems;
}

SetupProblems loadSetupIni(const QString &path, SetupFile &file)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return {};
    auto refused = [&path](const QString &why) {
        SetupProblems p;
        p.notices << QCoreApplication::translate(
                         "kelmar::SetupIni",
                         "%1 不採用，使用預設值 (is not used: the defaults apply): %2")
                         .arg(QDir::toNativeSeparators(path), why);
        return p;
    };
    if (!info.isFile())
        return refused(
            QCoreApplication::translate("kelmar::SetupIni", "不是一般檔案 (not a regular file)"));
    const std::optional<QByteArray> bytes = readSmallRegularFile(path);
    if (!bytes)
        return refused(
            info.size() > SmallFileLimit
                ? QCoreApplication::translate("kelmar::SetupIni", "檔案太大 (too large)")
                : QCoreApplication::translate("kelmar::SetupIni", "無法讀取 (cannot be read)"));
    if (bytes->contains('\n') && !bytes->contains('\r'))
        return refused(QCoreApplication::translate("kelmar::SetupIni",
                                                   "行尾不是 CR LF (lines do not end in CR LF)"));
    const QString text = decodeCp950(*bytes);
    return applySetupLines(file, [&text](int n) { return lineOfText(text, n); });
}

QString shownTitle(const QString &title)
{
    // The shipped setup.ini's line 9, in its own context so that no other
    // text of the program can be taken for a title.
    static const char *const shipped = QT_TRANSLATE_NOOP("kelmar::ShippedTitle", "Kelmar_T 儀表監視");
    if (title != QString::fromUtf8(shipped))
        return title;
    return QCoreApplication::translate("kelmar::ShippedTitle", shipped);
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

bool saveSetupIni(const QString &path, const SetupFile &values, QString *notice)
{
    const FileResult r = replaceFile(path, renderSetupIni(values), LinkPolicy::FollowToRegular);
    if (notice)
        *notice = r.error;
    return r.ok;
}

} // namespace kelmar
