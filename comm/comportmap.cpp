#include "comportmap.h"

#include "smallfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace kelmar {

namespace {

// A mapping file is one line and perhaps a comment; anything bigger is not
// one of ours.
constexpr qint64 MappingFileLimit = 4096;

QString entryPath(int number, const QString &programDir)
{
    return programDir + QStringLiteral("/com/com%1").arg(number);
}

// The gateway mapping under a name Windows allows: it reserves COM1 to COM9
// as devices in every folder, so com\comN cannot be a file there.
QString gatewayPath(int number, const QString &programDir)
{
    return programDir + QStringLiteral("/com/gateway%1").arg(number);
}

bool validHostName(const QString &host)
{
    // Letters, digits and hyphens in dot-separated labels; an IPv4 address
    // is such a name too.
    static const QRegularExpression label(
        QStringLiteral("^[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?$"));
    if (host.isEmpty() || host.size() > 253)
        return false;
    const QStringList labels = host.split(u'.');
    for (const QString &l : labels)
        if (!label.match(l).hasMatch())
            return false;
    return true;
}

bool validIpv6(const QString &host)
{
    static const QRegularExpression v6(QStringLiteral("^[0-9A-Fa-f:.]+$"));
    return host.count(u':') >= 2 && host.size() <= 45 && v6.match(host).hasMatch();
}

// The notice is a template naming the file as %1.
PortTarget withProblem(const QString &file, const char *notice)
{
    PortTarget t;
    t.device = file;
    t.problem = QCoreApplication::translate("kelmar::ComPortMap", notice)
                    .arg(QDir::toNativeSeparators(file));
    return t;
}

// The same with %2, in one pass: a "%1" in the line is not the file.
PortTarget withProblem(const QString &file, const char *notice, const QString &line)
{
    PortTarget t;
    t.device = file;
    t.problem = QCoreApplication::translate("kelmar::ComPortMap", notice)
                    .arg(QDir::toNativeSeparators(file), line);
    return t;
}

} // namespace

QString comDevicePath(int number, const QString &programDir)
{
    if (number < FirstPortNumber || number > LastPortNumber)
        return {};
#ifdef Q_OS_WIN
    Q_UNUSED(programDir);
    return QStringLiteral("COM%1").arg(number);
#else
    const QString link = entryPath(number, programDir);
    // A dangling link still names the mapping the operator chose: the open
    // fails then, instead of silently reaching another device.
    if (QFileInfo(link).isSymLink() || QFileInfo::exists(link))
        return link;
    return QStringLiteral("/dev/ttyUSB%1").arg(number - 1);
#endif
}

PortTarget parsePortMapping(const QString &fileName, const QByteArray &content)
{
    const qsizetype end = content.indexOf('\n');
    QByteArray first = end < 0 ? content : content.left(end);
    if (first.startsWith("\xEF\xBB\xBF"))
        first.remove(0, 3);
    const QString line = QString::fromUtf8(first).trimmed();
    const QString shown = line.size() > 60 ? line.left(57) + QStringLiteral("...") : line;
    const auto refuse = [&] {
        return withProblem(fileName,
                           QT_TRANSLATE_NOOP("kelmar::ComPortMap",
                                             "%1 第 1 行不是 tcp://主機:埠 或 rtu+tcp://主機:埠 "
                                             "(%1, line 1 is not tcp://HOST:PORT or "
                                             "rtu+tcp://HOST:PORT: \"%2\")"),
                           shown);
    };

    static const QRegularExpression form(
        QStringLiteral("^(tcp|rtu\\+tcp)://(\\[([^\\]]*)\\]|([^:/\\[\\]]*)):([0-9]{1,5})$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = form.match(line);
    if (!m.hasMatch())
        return refuse();
    const bool bracketed = m.capturedStart(3) >= 0;
    const QString host = bracketed ? m.captured(3) : m.captured(4);
    if (bracketed ? !validIpv6(host) : !validHostName(host))
        return refuse();
    const int port = m.captured(5).toInt();
    if (port < 1 || port > 65535)
        return refuse();

    PortTarget t;
    t.kind = m.captured(1).compare(QStringLiteral("tcp"), Qt::CaseInsensitive) == 0
                 ? PortTarget::Kind::ModbusTcp
                 : PortTarget::Kind::RtuOverTcp;
    t.host = host;
    t.port = quint16(port);
    return t;
}

PortTarget portTarget(int number, const QString &programDir)
{
    PortTarget serial;
    serial.device = comDevicePath(number, programDir);
    if (serial.device.isEmpty())
        return serial;
    QString entry = gatewayPath(number, programDir);
    // A gateway entry of any kind decides: it is a mapping or a problem.
    if (!QFileInfo(entry).isSymLink() && !QFileInfo::exists(entry)) {
        entry = entryPath(number, programDir);
        const QFileInfo info(entry);
        if (info.isSymLink() || !info.isFile())
            return serial;
    }
    const std::optional<QByteArray> content = readSmallRegularFile(entry, MappingFileLimit);
    if (!content)
        return withProblem(entry, QT_TRANSLATE_NOOP("kelmar::ComPortMap",
                                                    "%1 第 1 行讀不到 (%1, line 1 cannot be read "
                                                    "(not a small text file))"));
    PortTarget t = parsePortMapping(entry, *content);
#ifndef KELMAR_HAVE_NETWORK
    if (t.problem.isEmpty()) {
        t = withProblem(entry, QT_TRANSLATE_NOOP("kelmar::ComPortMap",
                                                 "%1 第 1 行的網路埠不在此版本中 (%1, line 1 "
                                                 "names a network port: not in this build)"));
    }
#endif
    return t;
}

QString describeTarget(const PortTarget &target)
{
    if (!target.isNetwork())
        return QDir::toNativeSeparators(target.device);
    const QString host = target.host.contains(u':') ? u'[' + target.host + u']' : target.host;
    return host + u':' + QString::number(target.port);
}

} // namespace kelmar
