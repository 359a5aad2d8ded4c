#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace kelmar {

// What one step did. A failed step never stops the next one.
struct StepReport
{
    int number = 0; // the listed step's number; 0 for a step of this platform alone
    QString name;   // the step as written with the listed names
    QString action; // the step on this machine's real paths
    bool ok = false;
    QString detail; // what was done, or why the step failed
};

// What the installer needs from the machine. The system's is made by
// systemMachine(); tests hand in a temporary root and their own desktop
// folder and batch starter.
struct InstallMachine
{
    QString sourceDir; // the installer's own folder, holding the distribution
    QString root;      // the folder that stands for "C:\"
    // Step 14: the current user's desktop folder, empty when unknown.
    std::function<QString()> desktopFolder;
    // Step 12: starts the batch file without waiting; returns the empty
    // text when it started, else why not.
    std::function<QString(const QString &batchFile, const QString &workingDir)> startBatch;
    // The per-user data folder that holds the applications menu and the
    // icon theme. Empty where there is none (Windows): no menu entry, icons
    // or uninstall script, and the desktop shortcut is required.
    QString dataHome;
    // Asks the desktop to start the launcher file without a question; its
    // outcome does not matter.
    std::function<void(const QString &launcher)> trustLauncher;
};

// Starts the batch file on its own and returns at once: through the command
// interpreter in a minimised window that has the focus on Windows, through
// sh elsewhere (the file is written for both). Its pid goes to *pid when
// given. Returns the empty text when it started, else why not.
QString startBatchDetached(const QString &batchFile, const QString &workingDir,
                           qint64 *pid = nullptr);

// Marks a desktop launcher as trusted through gio, so the desktop starts it
// on the first double-click. Returns whether gio said yes; a missing gio or
// one that does not end within timeoutMs (it is then killed) gives false.
bool markLauncherTrusted(const QString &launcher, const QString &gio, int timeoutMs);

// The machine the installer runs on: the default root, the system's desktop
// folder, the detached batch start.
InstallMachine systemMachine(const QString &sourceDir);

// The installation of the monitoring program: steps 1 to 17 of the "安裝"
// button, run in their fixed order, then, where the machine has a data home,
// the icons, the applications menu entry and the uninstall script. Step 18,
// ending the program, belongs to the window.
class Installer
{
public:
    explicit Installer(InstallMachine machine);

    // The steps' names in their order, as run() reports them.
    QStringList stepNames() const;

    // Runs every step once, in order, and reports each one.
    QList<StepReport> run();

    // The installed program and its launcher as the last run found them.
    QString programPath() const;
    QString shortcutFile() const { return m_shortcutPath; }
    QString menuEntryFile() const;
    QString uninstallScriptFile() const;

    const InstallMachine &machine() const { return m_machine; }

private:
    StepReport runStep(int index);
    // Whether step `index` is taken on this machine.
    bool applies(int index) const;
    QString installFolder() const;

    InstallMachine m_machine;
    // The values steps 14 to 17 hand on to each other.
    QString m_desktop;
    QString m_shortcutPath;
    // What the uninstall script removes: the files made, then the folders
    // that are left empty.
    QStringList m_made;
    QStringList m_madeFolders;
};

// The lines of the failure message, one per failed step: the step on the
// real paths and why it failed, then the listed step in brackets:
// "Copy /a/zrp_366.jpg to /b/zrp_366.jpg: ... [11. Copy "\logo\zrp_366.jpg" ...]".
QStringList failureLines(const QList<StepReport> &reports);

} // namespace kelmar
