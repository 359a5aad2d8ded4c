#include "installer.h"

#include "installpaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>

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
};

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
    }
    return QString();
}

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// Copies through a temporary file that replaces the target in one move, so
// a target that cannot be replaced keeps its old content and a running
// program file is not written into. The target keeps the source's
// permissions, the program its executable bit.
QString copyFile(const QString &from, const QString &to)
{
    if (!QFileInfo(from).isFile())
        return QStringLiteral("%1 is missing").arg(native(from));
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read %1: %2").arg(native(from), in.errorString());
    QSaveFile out(to);
    if (!out.open(QIODevice::WriteOnly))
        return QStringLiteral("cannot write %1: %2").arg(native(to), out.errorString());
    constexpr qint64 Chunk = 1 << 20;
    while (!in.atEnd()) {
        const QByteArray bytes = in.read(Chunk);
        if (bytes.isEmpty() || out.write(bytes) != bytes.size()) {
            out.cancelWriting();
            break;
        }
    }
    if (in.error() != QFileDevice::NoError)
        out.cancelWriting();
    if (!out.commit())
        return QStringLiteral("cannot write %1: %2").arg(native(to), out.errorString());
    QFile::setPermissions(to, in.permissions());
    return QString();
}

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

InstallMachine systemMachine(const QString &sourceDir)
{
    InstallMachine m;
    m.sourceDir = sourceDir;
    m.root = defaultInstallRoot();
    m.desktopFolder = systemDesktopFolder;
    m.startBatch = [](const QString &batchFile, const QString &workingDir) {
        return startBatchDetached(batchFile, workingDir);
    };
    return m;
}

Installer::Installer(InstallMachine machine) : m_machine(std::move(machine))
{
    m_machine.root = QDir::cleanPath(QDir(m_machine.root).absolutePath());
}

QStringList Installer::stepNames() const
{
    QStringList names;
    for (const StepDef &d : Steps)
        names << stepName(d);
    return names;
}

QString Installer::programPath() const
{
    return resolvePath(m_machine.root,
                       listedComponents(QStringLiteral(R"(C:\KELMAR\KELMAR_T.EXE)")));
}

QList<StepReport> Installer::run()
{
    m_desktop.clear();
    m_shortcutPath.clear();
    // The root stands for a drive, which is always there.
    QDir().mkpath(m_machine.root);
    QList<StepReport> reports;
    for (int i = 0; i < int(std::size(Steps)); ++i)
        reports << runStep(i);
    return reports;
}

StepReport Installer::runStep(int index)
{
    const StepDef &d = Steps[index];
    StepReport r;
    r.number = index + 1;
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

    switch (d.action) {
    case Action::Copy:
    case Action::CopyIfMissing: {
        if (sourceParts.isEmpty())
            return done(QStringLiteral("built into the program: no file to copy"));
        if (d.action == Action::CopyIfMissing && QFileInfo::exists(target))
            return done(QStringLiteral("kept the existing %1").arg(native(target)));
        const QString error = copyFile(source, target);
        return error.isEmpty() ? done(native(target)) : fail(error);
    }
    case Action::MakeFolder:
        // A folder that is already there is what this step wants: a second
        // installation goes on without a complaint.
        if (QFileInfo(target).isDir())
            return done(QStringLiteral("%1 is there").arg(native(target)));
        if (!QDir().mkdir(target))
            return fail(QStringLiteral("cannot make %1").arg(native(target)));
        return done(native(target));
    case Action::StartBatch: {
        if (!QFileInfo(target).isFile())
            return fail(QStringLiteral("%1 is missing").arg(native(target)));
        if (!m_machine.startBatch)
            return fail(QStringLiteral("no way to start %1").arg(native(target)));
        const QString error = m_machine.startBatch(target, m_machine.root);
        return error.isEmpty() ? done(native(target)) : fail(error);
    }
    case Action::PrepareDesktop:
        if (!m_machine.desktopFolder)
            return fail(QStringLiteral("no way to find the desktop folder"));
        return done(QString());
    case Action::ReadDesktop:
        if (m_machine.desktopFolder)
            m_desktop = m_machine.desktopFolder();
        if (m_desktop.isEmpty())
            return fail(QStringLiteral("the desktop folder is unknown"));
        return done(native(m_desktop));
    case Action::AddSeparator:
        m_shortcutPath = shortcutPath(m_desktop, QString());
        return done(native(m_shortcutPath));
    case Action::AddName:
        m_shortcutPath += platformShortcutName(text(d.target));
        return done(native(m_shortcutPath));
    case Action::CreateShortcut: {
        // Without a desktop folder the bare name would land in whatever
        // folder the installer was started from.
        if (m_desktop.isEmpty())
            return fail(QStringLiteral("no desktop folder, so no shortcut"));
        if (!QFileInfo(m_desktop).isDir())
            return fail(
                QStringLiteral("the desktop folder %1 does not exist").arg(native(m_desktop)));
#ifdef Q_OS_WIN
        QFile::remove(m_shortcutPath);
        if (!QFile::link(target, m_shortcutPath))
            return fail(QStringLiteral("cannot write %1").arg(native(m_shortcutPath)));
#else
        QSaveFile file(m_shortcutPath);
        const QByteArray entry = desktopEntry(QFileInfo(m_shortcutPath).completeBaseName(), target,
                                              QFileInfo(target).absolutePath());
        if (!file.open(QIODevice::WriteOnly) || file.write(entry) != entry.size() || !file.commit())
            return fail(QStringLiteral("cannot write %1: %2")
                            .arg(native(m_shortcutPath), file.errorString()));
        // Launchers are only started when they are executable.
        QFile::setPermissions(m_shortcutPath, QFile::ReadOwner | QFile::WriteOwner |
                                                  QFile::ExeOwner | QFile::ReadGroup |
                                                  QFile::ExeGroup | QFile::ReadOther |
                                                  QFile::ExeOther);
#endif
        return done(native(m_shortcutPath));
    }
    }
    return fail(QStringLiteral("unknown step"));
}

QStringList failureLines(const QList<StepReport> &reports)
{
    QStringList lines;
    for (const StepReport &r : reports) {
        if (!r.ok)
            lines << QStringLiteral("%1. %2: %3").arg(r.number).arg(r.name, r.detail);
    }
    return lines;
}

} // namespace kelmar
