#include "installpaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#ifdef Q_OS_WIN
#include <QSettings>
#endif

namespace kelmar {

namespace {

// Plain text, so that callers' static initialisers may use the functions.
constexpr QLatin1String ListedProgram("KELMAR_T.EXE");
constexpr QLatin1String ListedSerialComponent("MSCOMM32.OCX");
constexpr QLatin1String LauncherSuffix(".desktop");

// The value escapes of the launcher format for a string value.
QString escapeEntryValue(const QString &value)
{
    QString out;
    for (int i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == u'\\')
            out += QStringLiteral("\\\\");
        else if (c == u'\n')
            out += QStringLiteral("\\n");
        else if (c == u'\t')
            out += QStringLiteral("\\t");
        else if (c == u'\r')
            out += QStringLiteral("\\r");
        else if (c == u' ' && i == 0)
            out += QStringLiteral("\\s");
        else
            out += c;
    }
    return out;
}

// One Exec argument: quoted, with the characters that are special inside
// the quotes escaped, then the string escapes; '%' is doubled so that it is
// not taken for a field code.
QString execArgument(const QString &arg)
{
    QString quoted = QStringLiteral("\"");
    for (const QChar c : arg) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    quoted += u'"';
    return escapeEntryValue(quoted).replace(u'%', QStringLiteral("%%"));
}

} // namespace

QString defaultInstallRoot()
{
#ifdef Q_OS_WIN
    return QStringLiteral("C:/");
#else
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Kelmar_T");
#endif
}

QString platformFileName(const QString &listedName)
{
    if (listedName.compare(ListedSerialComponent, Qt::CaseInsensitive) == 0)
        return QString();
#ifndef Q_OS_WIN
    if (listedName.compare(ListedProgram, Qt::CaseInsensitive) == 0)
        return QStringLiteral("Kelmar_T");
#endif
    return listedName;
}

QString platformShortcutName(const QString &listedName)
{
#ifdef Q_OS_WIN
    return listedName;
#else
    return QFileInfo(listedName).completeBaseName() + LauncherSuffix;
#endif
}

QStringList listedComponents(const QString &listedPath)
{
    QString path = listedPath;
    if (path.size() >= 2 && path.at(1) == u':')
        path.remove(0, 2);
    QStringList parts = path.split(u'\\', Qt::SkipEmptyParts);
    if (!parts.isEmpty()) {
        const QString last = platformFileName(parts.takeLast());
        if (!last.isEmpty())
            parts.append(last);
        else
            return QStringList(); // a file this platform does not have
    }
    return parts;
}

QString resolvePath(const QString &base, const QStringList &components)
{
    const auto join = [](const QString &folder, const QString &name) {
        return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
    };
    QString path = base;
    bool exists = QFileInfo(base).isDir();
    for (const QString &name : components) {
        QString found = name;
        if (exists && !QFileInfo::exists(join(path, name))) {
            const QStringList entries = QDir(path).entryList(
                QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
            for (const QString &entry : entries) {
                if (entry.compare(name, Qt::CaseInsensitive) == 0) {
                    found = entry;
                    break;
                }
            }
        }
        path = join(path, found);
        exists = exists && QFileInfo(path).isDir();
    }
    return path;
}

QString shortcutPath(const QString &desktopFolder, const QString &name)
{
    QString folder = QDir::fromNativeSeparators(desktopFolder);
    if (!folder.isEmpty() && !folder.endsWith(u'/'))
        folder += u'/';
    return folder + name;
}

QString desktopFromUserDirs(const QByteArray &userDirs, const QString &home)
{
    const QByteArray key = "XDG_DESKTOP_DIR=";
    QString result;
    for (QByteArray line : userDirs.split('\n')) {
        line = line.trimmed();
        if (!line.startsWith(key))
            continue;
        QString value = QString::fromUtf8(line.mid(key.size()));
        if (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"'))
            value = value.mid(1, value.size() - 2);
        // The file is written for the shell: a backslash escapes the next
        // character.
        QString plain;
        for (int i = 0; i < value.size(); ++i) {
            if (value.at(i) == u'\\' && i + 1 < value.size())
                ++i;
            plain += value.at(i);
        }
        if (plain.startsWith(QStringLiteral("$HOME/")) || plain == QStringLiteral("$HOME"))
            result = home + plain.mid(5);
        else if (plain.startsWith(u'/'))
            result = plain;
        else
            result.clear(); // the format allows no other form
    }
    return result;
}

QString systemDesktopFolder()
{
#ifdef Q_OS_WIN
    const QSettings shellFolders(
        QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\"
                       "Explorer\\Shell Folders"),
        QSettings::NativeFormat);
    return shellFolders.value(QStringLiteral("Desktop")).toString();
#else
    const QString home = QDir::homePath();
    QFile userDirs(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                   QStringLiteral("/user-dirs.dirs"));
    if (userDirs.open(QIODevice::ReadOnly)) {
        const QString folder = desktopFromUserDirs(userDirs.readAll(), home);
        if (!folder.isEmpty())
            return folder;
    }
    return home + QStringLiteral("/Desktop");
#endif
}

QString systemDataHome()
{
#ifdef Q_OS_WIN
    return QString();
#else
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
#endif
}

QByteArray desktopEntry(const QString &program, const QString &folder)
{
    QString text;
    text += QStringLiteral("[Desktop Entry]\n");
    text += QStringLiteral("Type=Application\n");
    text += QStringLiteral("Name=Kelmar_T\n");
    text += QStringLiteral("Name[zh_TW]=Kelmar_T 電錶監控\n");
    text += QStringLiteral("GenericName=Panel meter monitor\n");
    text += QStringLiteral("GenericName[zh_TW]=電錶監控與記錄\n");
    text +=
        QStringLiteral("Comment=Live readings and record files of six Modbus RTU panel meters\n");
    text += QStringLiteral("Comment[zh_TW]=六台 Modbus RTU 電錶的即時讀值與記錄檔\n");
    text += QStringLiteral("Icon=") + IconName + u'\n';
    text += QStringLiteral("Exec=") + execArgument(program) + u'\n';
    text += QStringLiteral("Path=") + escapeEntryValue(folder) + u'\n';
    text += QStringLiteral("Terminal=false\n");
    text += QStringLiteral("Categories=Science;Electronics;\n");
    text += QStringLiteral("Keywords=Modbus;RS-485;meter;logger;\n");
    return text.toUtf8();
}

} // namespace kelmar
