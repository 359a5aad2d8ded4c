#include "installer.h"

#include "installpaths.h"
#include "safefile.h"
#include "uninstallscript.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace kelmar {

namespace {

enum class Action {
    Copy,
    CopyIfMissing,
    MakeFolder,
    StartBatch,
    PrepareDesktop,
    ReadDesktop,
    AddSeparator,
    AddName,
    CreateShortcut,
    InstallIcons,
    MakeMenuEntry,
    WriteUninstaller,
    CopyRuntime,
};

// source: relative to the installer's folder; target: below the root that
// stands for "C:\". Both as the installation was written for Windows.
struct StepDef
{
    Action action;
    const char *source;
    const char *target;
};

constexpr StepDef Steps[] = {
    {Action::Copy, R"(\MSCOMM32.OCX)", R"(C:\MSCOMM32.OCX)"},                // 1
    {Action::Copy, R"(\TYPE.BAT)", R"(C:\TYPE.BAT)"},                        // 2
    {Action::MakeFolder, nullptr, R"(C:\Kelmar)"},                           // 3
    {Action::MakeFolder, nullptr, R"(C:\KELMAR\LOGO)"},                      // 4
    {Action::Copy, R"(\TYPE.BAT)", R"(C:\Kelmar\TYPE.bat)"},                 // 5
    {Action::Copy, R"(\MSCOMM32.OCX)", R"(C:\Kelmar\MSCOMM32.OCX)"},         // 6
    {Action::Copy, R"(\KELMAR_T.EXE)", R"(C:\Kelmar\KELMAR_T.EXE)"},         // 7
    {Action::CopyIfMissing, R"(\setup.ini)", R"(C:\Kelmar\setup.ini)"},      // 8
    {Action::CopyIfMissing, R"(\meter.txt)", R"(C:\Kelmar\meter.txt)"},      // 9
    {Action::Copy, R"(\logo\vq2_366.jpg)", R"(C:\KELMAR\LOGO\vq2_366.jpg)"}, // 10
    {Action::Copy, R"(\logo\zrp_366.jpg)", R"(C:\KELMAR\LOGO\zrp_366.jpg)"}, // 11
    {Action::StartBatch, nullptr, R"(C:\TYPE.BAT)"},                         // 12
    {Action::PrepareDesktop, nullptr, nullptr},                              // 13
    {Action::ReadDesktop, nullptr, nullptr},                                 // 14
    {Action::AddSeparator, nullptr, nullptr},                                // 15
    {Action::AddName, nullptr, "KELMAR_T.lnk"},                              // 16
    {Action::CreateShortcut, nullptr, R"(C:\KELMAR\KELMAR_T.EXE)"},          // 17
    // Not listed: the launcher's icon, the menu entry and a way to undo it all.
    {Action::InstallIcons, R"(\icons)", nullptr},
    {Action::MakeMenuEntry, nullptr, R"(C:\KELMAR\KELMAR_T.EXE)"},
    {Action::WriteUninstaller, nullptr, nullptr},
    // Not listed either: on Windows the program needs the Qt and C++ runtime
    // libraries and plugins that lie beside the installer.
    {Action::CopyRuntime, nullptr, R"(C:\Kelmar)"},
};
constexpr int ListedSteps = 17;

// The folders of Qt plugins the program loads, beside its libraries.
const char *const RuntimePluginFolders[] = {"platforms", "imageformats", "styles"};

#ifdef Q_OS_WIN
constexpr bool RuntimeBesideProgram = true;
#else
constexpr bool RuntimeBesideProgram = false; // the system's libraries serve
#endif

QString text(const char *s)
{
    return s ? QString::fromLatin1(s) : QString();
}

QString stepName(const StepDef &d)
{
    const QString source = text(d.source);
    const QString target = text(d.target);
    switch (d.action) {
    case Action::Copy:
        return QStringLiteral("Copy \"%1\" to \"%2\"").arg(source, target);
    case Action::CopyIfMissing:
        return QStringLiteral("Copy \"%1\" to \"%2\" unless it is there").arg(source, target);
    case Action::MakeFolder:
        return QStringLiteral("Make the folder \"%1\"").arg(target);
    case Action::StartBatch:
        return QStringLiteral("Start \"%1\"").arg(target);
    case Action::PrepareDesktop:
        return QStringLiteral("Prepare the desktop lookup");
    case Action::ReadDesktop:
        return QStringLiteral("Read the desktop folder");
    case Action::AddSeparator:
        return QStringLiteral("End the desktop folder with a separator");
    case Action::AddName:
        return QStringLiteral("Add \"%1\" to the desktop folder").arg(target);
    case Action::CreateShortcut:
        return QStringLiteral("Create the shortcut to \"%1\"").arg(target);
    case Action::InstallIcons:
        return QStringLiteral("Install the icons");
    case Action::MakeMenuEntry:
        return QStringLiteral("Make the applications menu entry");
    case Action::WriteUninstaller:
        return QStringLiteral("Write the uninstall script");
    case Action::CopyRuntime:
        return QStringLiteral("Copy the runtime libraries to \"%1\"").arg(target);
    }
    return QString();
}

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// Copies through a temporary file that replaces the target in one move, so
// a target that cannot be replaced keeps its old content and a running
// program file is not written into. A link, a device, a pipe or a folder in
// the target's place is refused, not written through. The target keeps the
// source's permissions, the program its executable bit. Returns why it
// failed.
QString copyFile(const QString &from, const QString &to)
{
    if (!QFileInfo(from).isFile())
        return QStringLiteral("the file to copy is missing");
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read it: %1").arg(in.errorString());
    const QByteArray bytes = in.readAll();
    if (in.error() != QFileDevice::NoError)
        return QStringLiteral("cannot read it: %1").arg(in.errorString());
    const FileResult written = replaceFile(to, bytes, LinkPolicy::Refuse);
    if (!written.ok)
        return written.error;
    // The owner may always write the copy: a setup.ini copied from
    // read-only media must still take the saved settings.
    QFile::setPermissions(to, in.permissions() | QFile::WriteOwner);
    return QString();
}

// Writes a whole small file in one move; returns why it failed.
QString writeFile(const QString &path, const QByteArray &bytes, QFile::Permissions permissions)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return QStringLiteral("cannot make the folder %1")
            .arg(native(QFileInfo(path).absolutePath()));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return QStringLiteral("cannot write it: %1").arg(file.errorString());
    QFile::setPermissions(path, permissions);
    return QString();
}

constexpr QFile::Permissions Readable =
    QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
// Launchers and scripts are only started when they are executable.
constexpr QFile::Permissions Executable =
    Readable | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;

} // namespace

QString startBatchDetached(const QString &batchFile, const QString &workingDir, qint64 *pid)
{
    QProcess process;
#ifdef Q_OS_WIN
    process.setProgram(QStringLiteral("cmd.exe"));
    process.setArguments({QStringLiteral("/c"), QDir::toNativeSeparators(batchFile)});
    process.setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments *args) {
        // A console of its own, minimised and with the focus.
        args->flags &= ~DWORD(DETACHED_PROCESS);
        args->flags |= CREATE_NEW_CONSOLE;
        args->startupInfo->dwFlags |= STARTF_USESHOWWINDOW;
        args->startupInfo->wShowWindow = SW_SHOWMINIMIZED;
    });
    const QString interpreter = QStringLiteral("cmd.exe");
#else
    process.setProgram(QStringLiteral("sh"));
    process.setArguments({batchFile});
    // No window to show it in: what the batch file prints goes nowhere, what
    // it records stays in its file.
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    const QString interpreter = QStringLiteral("sh");
#endif
    process.setStandardInputFile(QProcess::nullDevice());
    process.setWorkingDirectory(workingDir);
    if (!process.startDetached(pid))
        return QStringLiteral("%1 could not be started with %2")
            .arg(QDir::toNativeSeparators(batchFile), interpreter);
    return QString();
}

bool markLauncherTrusted(const QString &launcher, const QString &gio, int timeoutMs)
{
    if (gio.isEmpty() || !QFileInfo(gio).isExecutable())
        return false;
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(gio, {QStringLiteral("set"), launcher, QStringLiteral("metadata::trusted"),
                        QStringLiteral("true")});
    if (!process.waitForStarted(timeoutMs))
        return false;
    // A desktop service that does not answer must not hold up the install.
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(timeoutMs);
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

InstallMachine systemMachine(const QString &sourceDir)
{
    InstallMachine m;
    m.sourceDir = sourceDir;
    m.root = defaultInstallRoot();
    m.desktopFolder = systemDesktopFolder;
    m.startBatch = [](const QString &batchFile, const QString &workingDir) {
        return startBatchDetached(batchFile, workingDir);
    };
    m.dataHome = systemDataHome();
#ifndef Q_OS_WIN
    m.trustLauncher = [](const QString &launcher) {
        constexpr int GioTimeoutMs = 5000;
        markLauncherTrusted(launcher, QStandardPaths::findExecutable(QStringLiteral("gio")),
                            GioTimeoutMs);
    };
#endif
    return m;
}

Installer::Installer(InstallMachine machine) : m_machine(std::move(machine))
{
    m_machine.root = QDir::cleanPath(QDir(m_machine.root).absolutePath());
    if (!m_machine.dataHome.isEmpty())
        m_machine.dataHome = QDir::cleanPath(QDir(m_machine.dataHome).absolutePath());
}

bool Installer::applies(int index) const
{
    if (index < ListedSteps)
        return true;
    if (Steps[index].action == Action::CopyRuntime)
        return RuntimeBesideProgram;
    return !m_machine.dataHome.isEmpty();
}

QStringList Installer::stepNames() const
{
    QStringList names;
    for (int i = 0; i < int(std::size(Steps)); ++i) {
        if (applies(i))
            names << stepName(Steps[i]);
    }
    return names;
}

QString Installer::programPath() const
{
    return resolvePath(m_machine.root,
                       listedComponents(QStringLiteral(R"(C:\KELMAR\KELMAR_T.EXE)")));
}

QString Installer::installFolder() const
{
    return resolvePath(m_machine.root, listedComponents(QStringLiteral(R"(C:\Kelmar)")));
}

QString Installer::menuEntryFile() const
{
    if (m_machine.dataHome.isEmpty())
        return QString();
    return m_machine.dataHome + QStringLiteral("/applications/") + MenuEntryName;
}

QString Installer::uninstallScriptFile() const
{
    if (m_machine.dataHome.isEmpty())
        return QString();
    return installFolder() + u'/' + UninstallScriptName;
}

QList<StepReport> Installer::run()
{
    m_desktop.clear();
    m_shortcutPath.clear();
    m_made.clear();
    m_madeFolders.clear();
    // The root stands for a drive, which is always there.
    QDir().mkpath(m_machine.root);
    QList<StepReport> reports;
    for (int i = 0; i < int(std::size(Steps)); ++i) {
        if (applies(i))
            reports << runStep(i);
    }
    return reports;
}

StepReport Installer::runStep(int index)
{
    const StepDef &d = Steps[index];
    StepReport r;
    r.number = index < ListedSteps ? index + 1 : 0;
    r.name = stepName(d);
    const QStringList sourceParts = listedComponents(text(d.source));
    const QStringList targetParts = listedComponents(text(d.target));
    const QString source = resolvePath(m_machine.sourceDir, sourceParts);
    const QString target = resolvePath(m_machine.root, targetParts);
    const auto fail = [&r](const QString &why) {
        r.ok = false;
        r.detail = why;
        return r;
    };
    const auto done = [&r](const QString &what) {
        r.ok = true;
        r.detail = what;
        return r;
    };
    // Without a desktop folder the applications menu entry is the shortcut.
    const bool menuStandsIn = !m_machine.dataHome.isEmpty();

    switch (d.action) {
    case Action::Copy:
    case Action::CopyIfMissing: {
        if (sourceParts.isEmpty()) {
            r.action = QStringLiteral("Copy %1").arg(text(d.source).mid(1));
            return done(QStringLiteral("built into the program: no file to copy"));
        }
        r.action = QStringLiteral("Copy %1 to %2").arg(native(source), native(target));
        if (d.action == Action::CopyIfMissing) {
            if (QFileInfo::exists(target))
                return done(QStringLiteral("kept the existing %1").arg(native(target)));
        } else {
            m_made << target;
        }
        const QString error = copyFile(source, target);
        return error.isEmpty() ? done(native(target)) : fail(error);
    }
    case Action::MakeFolder:
        r.action = QStringLiteral("Make the folder %1").arg(native(target));
        m_madeFolders.prepend(target);
        // A folder that is already there is what this step wants: a second
        // installation goes on without a complaint.
        if (QFileInfo(target).isDir())
            return done(QStringLiteral("%1 is there").arg(native(target)));
        if (QFileInfo::exists(target))
            return fail(QStringLiteral("a file of that name is in the way"));
        if (!QDir().mkdir(target))
            return fail(QStringLiteral("cannot make it in %1").arg(native(m_machine.root)));
        return done(native(target));
    case Action::StartBatch: {
#ifdef Q_OS_WIN
        r.action = QStringLiteral("Start %1").arg(native(target));
#else
        r.action = QStringLiteral("Start %1 with sh in %2").arg(target, m_machine.root);
#endif
        // What the batch file writes goes too.
        m_made << installFolder() + QStringLiteral("/INSTALL.TXT");
        if (!QFileInfo(target).isFile())
            return fail(QStringLiteral("it is missing"));
        if (!m_machine.startBatch)
            return fail(QStringLiteral("no way to start it"));
        const QString error = m_machine.startBatch(target, m_machine.root);
        return error.isEmpty() ? done(native(target)) : fail(error);
    }
    case Action::PrepareDesktop:
        r.action = QStringLiteral("Prepare the desktop lookup");
        if (!m_machine.desktopFolder && !menuStandsIn)
            return fail(QStringLiteral("no way to find the desktop folder"));
        return done(QString());
    case Action::ReadDesktop:
        r.action = QStringLiteral("Read the desktop folder");
        if (m_machine.desktopFolder)
            m_desktop = m_machine.desktopFolder();
        if (m_desktop.isEmpty()) {
            if (menuStandsIn)
                return done(
                    QStringLiteral("none here: the applications menu entry is the shortcut"));
            return fail(QStringLiteral("the desktop folder is unknown"));
        }
        return done(native(m_desktop));
    case Action::AddSeparator:
        r.action = QStringLiteral("Make the shortcut path");
        m_shortcutPath = shortcutPath(m_desktop, QString());
        return done(native(m_shortcutPath));
    case Action::AddName:
        r.action = QStringLiteral("Make the shortcut path");
        m_shortcutPath += platformShortcutName(text(d.target));
        return done(native(m_shortcutPath));
    case Action::CreateShortcut: {
        r.action = QStringLiteral("Write the desktop launcher %1 for %2")
                       .arg(native(m_shortcutPath), native(target));
        // Without a desktop folder the bare name would land in whatever
        // folder the installer was started from.
        if (m_desktop.isEmpty()) {
            if (menuStandsIn)
                return done(QStringLiteral("no desktop folder: the menu entry is the shortcut"));
            return fail(QStringLiteral("no desktop folder, so no shortcut"));
        }
        if (!QFileInfo(m_desktop).isDir()) {
            if (menuStandsIn)
                return done(QStringLiteral("no desktop folder %1: the menu entry is the shortcut")
                                .arg(native(m_desktop)));
            return fail(
                QStringLiteral("the desktop folder %1 does not exist").arg(native(m_desktop)));
        }
        m_made << m_shortcutPath;
#ifdef Q_OS_WIN
        QFile::remove(m_shortcutPath);
        if (!QFile::link(target, m_shortcutPath))
            return fail(QStringLiteral("cannot write it"));
#else
        const QString error = writeFile(
            m_shortcutPath, desktopEntry(target, QFileInfo(target).absolutePath()), Executable);
        if (!error.isEmpty())
            return fail(error);
        if (m_machine.trustLauncher)
            m_machine.trustLauncher(m_shortcutPath);
#endif
        return done(native(m_shortcutPath));
    }
    case Action::InstallIcons: {
        const QString to = m_machine.dataHome + QStringLiteral("/icons");
        r.action = QStringLiteral("Copy the icons from %1 to %2").arg(native(source), native(to));
        // Whatever sizes the distribution holds, each into the same place
        // below the per-user icon theme.
        QStringList icons;
        const QString iconFile = IconName + QStringLiteral(".png");
        QDirIterator it(source, {iconFile}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            icons << QDir(source).relativeFilePath(it.next());
        icons.sort();
        if (icons.isEmpty())
            return fail(QStringLiteral("there is no %1 in it").arg(iconFile));
        QStringList errors;
        for (const QString &icon : icons) {
            const QString into = to + u'/' + icon;
            m_made << into;
            QString error;
            if (!QDir().mkpath(QFileInfo(into).absolutePath()))
                error = QStringLiteral("cannot make the folder");
            else
                error = copyFile(source + u'/' + icon, into);
            if (!error.isEmpty())
                errors << QStringLiteral("%1: %2").arg(native(into), error);
        }
        return errors.isEmpty() ? done(QString::number(icons.size())) : fail(errors.join(u"; "));
    }
    case Action::MakeMenuEntry: {
        const QString entry = menuEntryFile();
        r.action =
            QStringLiteral("Write the menu entry %1 for %2").arg(native(entry), native(target));
        m_made << entry;
        const QString error =
            writeFile(entry, desktopEntry(target, QFileInfo(target).absolutePath()), Readable);
        return error.isEmpty() ? done(native(entry)) : fail(error);
    }
    case Action::CopyRuntime: {
        r.action = QStringLiteral("Copy the runtime libraries from %1 to %2")
                       .arg(native(m_machine.sourceDir), native(target));
        const QDir from(m_machine.sourceDir);
        QStringList files = from.entryList({QStringLiteral("*.dll")}, QDir::Files, QDir::Name);
        for (const char *folder : RuntimePluginFolders) {
            const QString name = QString::fromLatin1(folder);
            for (const QString &file : QDir(from.filePath(name))
                                           .entryList({QStringLiteral("*.dll")}, QDir::Files,
                                                      QDir::Name))
                files << name + u'/' + file;
        }
        if (files.isEmpty())
            return done(QStringLiteral("none beside the installer"));
        QStringList errors;
        for (const QString &file : files) {
            const QString into = target + u'/' + file;
            m_made << into;
            QString error;
            if (!QDir().mkpath(QFileInfo(into).absolutePath()))
                error = QStringLiteral("cannot make the folder");
            else
                error = copyFile(from.filePath(file), into);
            if (!error.isEmpty())
                errors << QStringLiteral("%1: %2").arg(native(into), error);
        }
        return errors.isEmpty() ? done(QString::number(files.size())) : fail(errors.join(u"; "));
    }
    case Action::WriteUninstaller: {
        const QString script = uninstallScriptFile();
        r.action = QStringLiteral("Write the uninstall script %1").arg(native(script));
        if (!QFileInfo(installFolder()).isDir())
            return fail(
                QStringLiteral("the install folder %1 is missing").arg(native(installFolder())));
        QStringList files = m_made;
        files << script;
        files.removeDuplicates();
        QStringList folders = m_madeFolders;
        folders << m_machine.root;
        folders.removeDuplicates();
        const QString error =
            writeFile(script, uninstallScript(installFolder(), files, folders), Executable);
        return error.isEmpty() ? done(native(script)) : fail(error);
    }
    }
    return fail(QStringLiteral("unknown step"));
}

QStringList failureLines(const QList<StepReport> &reports)
{
    QStringList lines;
    for (const StepReport &r : reports) {
        if (r.ok)
            continue;
        QString line = QStringLiteral("%1: %2").arg(r.action, r.detail);
        if (r.number > 0)
            line += QStringLiteral(" [%1. %2]").arg(r.number).arg(r.name);
        lines << line;
    }
    return lines;
}

} // namespace kelmar
