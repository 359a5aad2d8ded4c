#include "desktopfilecheck.h"
#include "displaylayout.h"
#include "fonts.h"
#include "installer.h"
#include "installpaths.h"
#include "installwindow.h"
#include "testfolder.h"
#include "uninstallscript.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using namespace kelmar;
using kelmar::test::desktopFileProblems;
using kelmar::test::TestFolder;

namespace {

const QString RealDist = QStringLiteral(KELMAR_BINARY_DIR "/distribution");

// The launcher's file name in the desktop folder.
const QString Launcher = platformShortcutName(QStringLiteral("KELMAR_T.lnk"));

QString programName()
{
    return platformFileName(QStringLiteral("KELMAR_T.EXE"));
}

QByteArray shippedFile(const QString &name)
{
    QFile f(QStringLiteral(KELMAR_SOURCE_DIR "/dist/") + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Every file and folder below dir, relative, folders with a trailing "/".
QStringList tree(const QString &dir)
{
    QStringList entries;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString rel = QDir(dir).relativeFilePath(path);
        entries << (it.fileInfo().isDir() ? rel + u'/' : rel);
    }
    entries.sort();
    return entries;
}

// The layout an installation leaves, for the names the install and logo
// folders have.
QStringList layout(const QString &folder = QStringLiteral("Kelmar"),
                   const QString &logo = QStringLiteral("LOGO"))
{
    QStringList entries{QStringLiteral("TYPE.BAT"),
                        folder + u'/',
                        folder + u'/' + programName(),
                        folder + QStringLiteral("/TYPE.bat"),
                        folder + QStringLiteral("/setup.ini"),
                        folder + QStringLiteral("/meter.txt"),
                        folder + u'/' + logo + u'/',
                        folder + u'/' + logo + QStringLiteral("/vq2_366.jpg"),
                        folder + u'/' + logo + QStringLiteral("/zrp_366.jpg"),
                        folder + u'/' + UninstallScriptName};
    entries.sort();
    return entries;
}

bool writeExecutable(const TestFolder &dir, const QString &name, const QByteArray &bytes)
{
    return dir.write(name, bytes) &&
           QFile::setPermissions(dir.file(name), QFile::ReadOwner | QFile::WriteOwner |
                                                     QFile::ExeOwner | QFile::ReadOther |
                                                     QFile::ExeOther);
}

// The icon sizes the build draws, as paths below the distribution's icons/.
const QStringList Icons = [] {
    QStringList icons;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icons << QStringLiteral("hicolor/%1x%1/apps/kelmar-t.png").arg(size);
    return icons;
}();

// A distribution as the build assembles it, with small stand-ins for the
// program and the pictures.
bool makeDist(const TestFolder &dist, bool withZrp = true)
{
    bool ok = dist.write(QStringLiteral("TYPE.BAT"), shippedFile(QStringLiteral("TYPE.BAT")));
    ok = ok && writeExecutable(dist, programName(), "program 1");
    ok = ok && writeExecutable(dist, QStringLiteral("install_Kelmar_T"), "installer");
    ok = ok && dist.write(QStringLiteral("setup.ini"), shippedFile(QStringLiteral("setup.ini")));
    ok = ok && dist.write(QStringLiteral("meter.txt"), shippedFile(QStringLiteral("meter.txt")));
    ok = ok && dist.write(QStringLiteral("logo/vq2_366.jpg"), "picture vq2");
    if (withZrp)
        ok = ok && dist.write(QStringLiteral("logo/zrp_366.jpg"), "picture zrp");
    for (const QString &icon : Icons)
        ok = ok && dist.write(QStringLiteral("icons/") + icon, "icon " + icon.toLatin1());
    return ok;
}

// The menu entry and the icons below a data home.
QStringList menuAndIcons()
{
    QStringList entries{QStringLiteral("applications/"),
                        QStringLiteral("applications/") + MenuEntryName, QStringLiteral("icons/"),
                        QStringLiteral("icons/hicolor/")};
    for (const QString &icon : Icons) {
        const QString size = icon.section(u'/', 1, 1);
        entries << QStringLiteral("icons/hicolor/%1/").arg(size)
                << QStringLiteral("icons/hicolor/%1/apps/").arg(size)
                << QStringLiteral("icons/") + icon;
    }
    entries.sort();
    return entries;
}

// A machine of temporary folders. The batch file is not run; its start is
// recorded with what the root held at that moment.
struct FakeMachine
{
    TestFolder root;
    TestFolder desktop;
    TestFolder data;     // the data home with the menu and the icon theme
    QString desktopText; // what the desktop lookup answers
    QStringList calls;
    QStringList trusted;
    QStringList rootAtBatchStart;
    bool launcherAtBatchStart = false;

    FakeMachine() : desktopText(desktop.path()) {}

    InstallMachine machine(const QString &sourceDir)
    {
        InstallMachine m;
        m.sourceDir = sourceDir;
        m.root = root.path();
        m.desktopFolder = [this] {
            calls << QStringLiteral("desktop");
            return desktopText;
        };
        m.startBatch = [this](const QString &file, const QString &workingDir) {
            calls << QStringLiteral("batch %1 in %2").arg(file, workingDir);
            rootAtBatchStart = tree(root.path());
            launcherAtBatchStart = QFileInfo::exists(desktop.file(Launcher));
            return QString();
        };
        m.dataHome = data.path();
        m.trustLauncher = [this](const QString &launcher) { trusted << launcher; };
        return m;
    }
};

QStringList failedNumbers(const QList<StepReport> &reports)
{
    QStringList numbers;
    for (const StepReport &r : reports) {
        if (!r.ok)
            numbers << (r.number > 0 ? QString::number(r.number) : r.name);
    }
    return numbers;
}

// The launcher's lines.
QStringList launcherLines(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return QStringList();
    return QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool setAccessTime(const QString &path, const QDateTime &when)
{
    QFile f(path);
    return f.open(QIODevice::ReadWrite) && f.setFileTime(when, QFileDevice::FileAccessTime);
}

// Whether reading a file moves its access time on here (mounts may turn
// that off).
bool readUpdatesAccessTime(const QString &probe, const QDateTime &past)
{
    {
        QFile f(probe);
        if (!f.open(QIODevice::WriteOnly) || f.write("probe") != 5)
            return false;
    }
    if (!setAccessTime(probe, past))
        return false;
    fileBytes(probe);
    return QFileInfo(probe).lastRead() > past.addSecs(60);
}

// A started program has ended or stays only as an unreaped zombie.
bool processGone(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray text = stat.readAll();
    const int close = text.lastIndexOf(')');
    return close < 0 || text.mid(close + 2, 1) == "Z";
}

} // namespace

class TstInstaller : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { installFontSubstitutions(); }

    void installLaysOutOneFolder_data()
    {
        QTest::addColumn<QStringList>("madeBefore");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("logo");
        QTest::newRow("fresh root") << QStringList() << "Kelmar"
                                    << "LOGO";
        QTest::newRow("install folder made as KELMAR before") << QStringList{"KELMAR"} << "KELMAR"
                                                              << "LOGO";
        QTest::newRow("logo folder made as logo before") << QStringList{"Kelmar/logo"} << "Kelmar"
                                                         << "logo";
    }
    void installLaysOutOneFolder()
    {
        QFETCH(QStringList, madeBefore);
        QFETCH(QString, folder);
        QFETCH(QString, logo);
        TestFolder dist;
        QVERIFY(makeDist(dist));
        FakeMachine fake;
        for (const QString &d : madeBefore)
            QVERIFY(QDir().mkpath(fake.root.file(d)));
        // A distribution on read-only media.
        QVERIFY(QFile::setPermissions(dist.file("setup.ini"), QFile::ReadOwner | QFile::ReadOther));
        Installer installer(fake.machine(dist.path()));
        const QList<StepReport> reports = installer.run();

        QCOMPARE(failureLines(reports), QStringList());
        // "C:\Kelmar" and "C:\KELMAR", "LOGO" and "logo": one folder each.
        QCOMPARE(tree(fake.root.path()), layout(folder, logo));
        const QString installed = fake.root.file(folder);
        QCOMPARE(installer.programPath(), installed + u'/' + programName());
        const QStringList copies{programName(),         "TYPE.bat",
                                 "setup.ini",           "meter.txt",
                                 logo + "/vq2_366.jpg", logo + "/zrp_366.jpg"};
        const QStringList sources{programName(), "TYPE.BAT",         "setup.ini",
                                  "meter.txt",   "logo/vq2_366.jpg", "logo/zrp_366.jpg"};
        for (int i = 0; i < copies.size(); ++i)
            QCOMPARE(fake.root.read(folder + u'/' + copies[i]), dist.read(sources[i]));
        QCOMPARE(fake.root.read("TYPE.BAT"), dist.read("TYPE.BAT"));
        QVERIFY(QFileInfo(installer.programPath()).isExecutable());
        // The program saves its settings there (root may write anything, so
        // only a run as another user can catch a read-only copy).
        QVERIFY(QFileInfo(installed + "/setup.ini").permissions() & QFile::WriteOwner);
        // The monitoring program finds its pictures under the names it uses.
        QCOMPARE(findPathIgnoringCase(installed, modelPicture(SlotAction::ModelA)),
                 installed + u'/' + logo + "/vq2_366.jpg");
        QCOMPARE(findPathIgnoringCase(installed, modelPicture(SlotAction::ModelB)),
                 installed + u'/' + logo + "/zrp_366.jpg");

        // The launcher starts the installed program in its folder.
        QCOMPARE(tree(fake.desktop.path()), QStringList{Launcher});
        const QString launcher = fake.desktop.file(Launcher);
        QCOMPARE(installer.shortcutFile(), launcher);
        const QStringList lines = launcherLines(launcher);
        QCOMPARE(lines.value(0), QStringLiteral("[Desktop Entry]"));
        QVERIFY(lines.contains(QStringLiteral("Name=Kelmar_T")));
        QVERIFY(lines.contains(QStringLiteral("Icon=") + IconName));
        QVERIFY(lines.contains(QStringLiteral("Exec=\"%1\"").arg(installer.programPath())));
        QVERIFY(lines.contains(QStringLiteral("Path=") + installed));
        QVERIFY(QFileInfo(launcher).isExecutable());
        QCOMPARE(fake.trusted, QStringList{launcher});
        // The menu entry says the same; the icon is in the user's theme.
        QCOMPARE(tree(fake.data.path()), menuAndIcons());
        const QString entry = fake.data.file("applications/" + MenuEntryName);
        QCOMPARE(installer.menuEntryFile(), entry);
        QCOMPARE(fileBytes(entry), fileBytes(launcher));
        for (const QString &icon : Icons)
            QCOMPARE(fake.data.read("icons/" + icon), dist.read("icons/" + icon));
        QCOMPARE(desktopFileProblems(launcher), QString());
        QCOMPARE(desktopFileProblems(entry), QString());
    }

    void stepsRunInOrder()
    {
        TestFolder dist;
        QVERIFY(makeDist(dist));
        FakeMachine fake;
        Installer installer(fake.machine(dist.path()));
        const QList<StepReport> reports = installer.run();

        // The listed steps, then the icons, the menu entry and the uninstall
        // script, which the listing does not have.
        QCOMPARE(reports.size(), 20);
        QStringList names;
        for (int i = 0; i < reports.size(); ++i) {
            QCOMPARE(reports[i].number, i < 17 ? i + 1 : 0);
            names << reports[i].name;
        }
        QCOMPARE(names, installer.stepNames());
        QCOMPARE(names.value(0), QStringLiteral(R"(Copy "\MSCOMM32.OCX" to "C:\MSCOMM32.OCX")"));
        QCOMPARE(names.value(10),
                 QStringLiteral(R"(Copy "\logo\zrp_366.jpg" to "C:\KELMAR\LOGO\zrp_366.jpg")"));
        QCOMPARE(names.value(11), QStringLiteral(R"(Start "C:\TYPE.BAT")"));
        // The batch file starts from the root once everything is copied and
        // before the desktop is looked up and the launcher made.
        QCOMPARE(
            fake.calls,
            QStringList(
                {QStringLiteral("batch %1 in %2").arg(fake.root.file("TYPE.BAT"), fake.root.path()),
                 "desktop"}));
        QStringList copied = layout();
        copied.removeAll("Kelmar/" + UninstallScriptName); // written last
        QCOMPARE(fake.rootAtBatchStart, copied);
        QVERIFY(!fake.launcherAtBatchStart);
        QVERIFY(QFileInfo::exists(fake.desktop.file(Launcher)));
    }

    void secondInstallKeepsSettingsAndReplacesTheRest()
    {
        TestFolder dist;
        QVERIFY(makeDist(dist));
        FakeMachine fake;
        QCOMPARE(failureLines(Installer(fake.machine(dist.path())).run()), QStringList());

        // The operator saved settings; the meter table was lost. "主機" and
        // "電錶" in code page 950.
        const QByteArray saved = "2\r\n19200\r\nE,8,1\r\n/data/\r\n1024X768\r\n 500 \r\n"
                                 "Reserved\r\ncsv\r\nKelmar_T \xa5\x44\xbe\xf7\r\n5\r\n";
        QVERIFY(fake.root.write("Kelmar/setup.ini", saved));
        QVERIFY(QFile::remove(fake.root.file("Kelmar/meter.txt")));
        // A new release of everything else.
        QVERIFY(writeExecutable(dist, programName(), "program 2"));
        QVERIFY(dist.write("logo/vq2_366.jpg", "picture vq2, new"));
        QVERIFY(dist.write("TYPE.BAT", ":; exit 0 #\r\n"));
        QVERIFY(dist.write("setup.ini", "1\r\n"));
        const QByteArray meters = "VQ2-V \xb9\x71\xc0\xa3\r\n";
        QVERIFY(dist.write("meter.txt", meters));

        Installer again(fake.machine(dist.path()));
        const QList<StepReport> reports = again.run();
        QCOMPARE(failureLines(reports), QStringList());
        QCOMPARE(tree(fake.root.path()), layout());
        QCOMPARE(fake.root.read("Kelmar/setup.ini"), saved);
        QVERIFY(reports[7].detail.startsWith(QStringLiteral("kept the existing")));
        QCOMPARE(fake.root.read("Kelmar/meter.txt"), meters);
        QCOMPARE(fake.root.read("Kelmar/" + programName()), QByteArray("program 2"));
        QVERIFY(QFileInfo(again.programPath()).isExecutable());
        QCOMPARE(fake.root.read("Kelmar/LOGO/vq2_366.jpg"), QByteArray("picture vq2, new"));
        QCOMPARE(fake.root.read("TYPE.BAT"), QByteArray(":; exit 0 #\r\n"));
        QCOMPARE(fake.root.read("Kelmar/TYPE.bat"), QByteArray(":; exit 0 #\r\n"));
        QCOMPARE(tree(fake.desktop.path()), QStringList{Launcher});
    }

    void missingPictureIsTheOnlyFailure()
    {
        TestFolder dist;
        QVERIFY(makeDist(dist, false));
        FakeMachine fake;
        const QList<StepReport> reports = Installer(fake.machine(dist.path())).run();

        // The message names the real paths and the reason; the listed step
        // follows in brackets.
        QCOMPARE(failureLines(reports),
                 QStringList(QStringLiteral("Copy %1 to %2: the file to copy is missing "
                                            R"([11. Copy "\logo\zrp_366.jpg" to )"
                                            R"("C:\KELMAR\LOGO\zrp_366.jpg"])")
                                 .arg(dist.file("logo/zrp_366.jpg"),
                                      fake.root.file("Kelmar/LOGO/zrp_366.jpg"))));
        QStringList expected = layout();
        expected.removeAll(QStringLiteral("Kelmar/LOGO/zrp_366.jpg"));
        QCOMPARE(tree(fake.root.path()), expected);
        QCOMPARE(tree(fake.desktop.path()), QStringList{Launcher});
    }

    void copyIsNotWrittenThroughALink()
    {
        // A link planted where a copy goes: the step fails naming the
        // link, the file it points at keeps its bytes, the rest goes on.
        TestFolder dist;
        QVERIFY(makeDist(dist));
        FakeMachine fake;
        QVERIFY(QDir().mkpath(fake.root.file("Kelmar")));
        QVERIFY(fake.root.write("victim.txt", "keep me"));
        QVERIFY(QFile::link(fake.root.file("victim.txt"), fake.root.file("Kelmar/TYPE.bat")));
        const QList<StepReport> reports = Installer(fake.machine(dist.path())).run();
        QCOMPARE(failedNumbers(reports), QStringList{"5"});
        QVERIFY2(failureLines(reports)[0].contains(fake.root.file("Kelmar/TYPE.bat")) &&
                     failureLines(reports)[0].contains(QStringLiteral("symbolic link")),
                 qPrintable(failureLines(reports)[0]));
        QCOMPARE(fake.root.read("victim.txt"), QByteArray("keep me"));
        QVERIFY(QFileInfo(fake.root.file("Kelmar/TYPE.bat")).isSymLink());
    }

    void failedStepDoesNotStopTheNext()
    {
        // A file where the install folder belongs: every step into it fails,
        // the batch file and the launcher are still done.
        TestFolder dist;
        QVERIFY(makeDist(dist));
        FakeMachine fake;
        QVERIFY(fake.root.write("KELMAR", "in the way"));
        const QList<StepReport> reports = Installer(fake.machine(dist.path())).run();
        QCOMPARE(failedNumbers(reports), QStringList({"3", "4", "5", "7", "8", "9", "10", "11",
                                                      "Write the uninstall script"}));
        QVERIFY2(failureLines(reports)[0].startsWith(
                     QStringLiteral("Make the folder %1: a file of that name is in the way [3. ")
                         .arg(fake.root.file("KELMAR"))),
                 qPrintable(failureLines(reports)[0]));
        QCOMPARE(tree(fake.root.path()), QStringList({"KELMAR", "TYPE.BAT"}));
        QCOMPARE(fake.calls.size(), 2);
        QCOMPARE(tree(fake.desktop.path()), QStringList{Launcher});
    }

    void desktopFolder_data()
    {
        QTest::addColumn<QString>("answer"); // relative to the desktop test folder
        QTest::addColumn<bool>("known");
        QTest::addColumn<bool>("withMenu"); // the machine has a data home
        QTest::addColumn<QString>("launcher");
        QTest::addColumn<QStringList>("failed");
        QTest::newRow("folder without trailing separator")
            << "desk" << true << true << "desk/" + Launcher << QStringList();
        QTest::newRow("folder with trailing separator")
            << "desk/" << true << true << "desk/" + Launcher << QStringList();
        // Without a desktop the menu entry is the shortcut: a complete install.
        QTest::newRow("folder that does not exist, menu entry instead")
            << "gone" << true << true << "" << QStringList();
        QTest::newRow("desktop unknown, menu entry instead")
            << "" << false << true << "" << QStringList();
        // Where the desktop shortcut is the only launcher, its lack fails.
        QTest::newRow("folder that does not exist, no menu")
            << "gone" << true << false << "" << QStringList{"17"};
        QTest::newRow("desktop unknown, no menu")
            << "" << false << false << "" << QStringList({"14", "17"});
    }
    void desktopFolder()
    {
        QFETCH(QString, answer);
        QFETCH(bool, known);
        QFETCH(bool, withMenu);
        QFETCH(QString, launcher);
        QFETCH(QStringList, failed);
        TestFolder dist;
        QVERIFY(makeDist(dist));
        FakeMachine fake;
        QVERIFY(QDir().mkpath(fake.desktop.file("desk")));
        fake.desktopText = known ? fake.desktop.path() + u'/' + answer : QString();
        const QString strayLauncher = QDir::current().filePath(Launcher);
        const bool strayBefore = QFileInfo::exists(strayLauncher);

        InstallMachine m = fake.machine(dist.path());
        if (!withMenu)
            m.dataHome.clear();
        Installer installer(m);
        const QList<StepReport> reports = installer.run();
        QCOMPARE(failedNumbers(reports), failed);
        QStringList expected = layout();
        if (!withMenu)
            expected.removeAll("Kelmar/" + UninstallScriptName);
        QCOMPARE(tree(fake.root.path()), expected);
        QStringList desktop{"desk/"};
        if (!launcher.isEmpty()) {
            desktop << launcher;
            QCOMPARE(installer.shortcutFile(), fake.desktop.file(launcher));
            QCOMPARE(fake.trusted, QStringList{fake.desktop.file(launcher)});
        } else {
            QCOMPARE(fake.trusted, QStringList());
        }
        QCOMPARE(tree(fake.desktop.path()), desktop);
        QCOMPARE(tree(fake.data.path()), withMenu ? menuAndIcons() : QStringList());
        // Without a desktop folder the bare name is not written where the
        // installer happens to run.
        QCOMPARE(QFileInfo::exists(strayLauncher), strayBefore);
    }

    void uninstallKeepsSettingsAndRecords_data()
    {
        QTest::addColumn<QString>("rootName"); // the folder that stands for "C:\"
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("kept"); // below the root
        const QStringList operators{"Kelmar/",          "Kelmar/setup.ini",
                                    "Kelmar/meter.txt", "Kelmar/2025-03-06-1405.txt",
                                    "Kelmar/rec/",      "Kelmar/rec/2025-03-06-1500.csv"};
        QTest::newRow("settings, meter table and records stay")
            << "root" << QStringList() << operators;
        QTest::newRow("quote and space in the folder name")
            << "it's a root" << QStringList() << operators;
        QTest::newRow("--all removes the install folder whole")
            << "root" << QStringList{"--all"} << QStringList();
    }
    void uninstallKeepsSettingsAndRecords()
    {
        QFETCH(QString, rootName);
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, kept);
        TestFolder dist;
        QVERIFY(makeDist(dist));
        FakeMachine fake;
        InstallMachine m = fake.machine(dist.path());
        m.root = fake.root.file(rootName);
        Installer installer(m);
        QCOMPARE(failureLines(installer.run()), QStringList());
        // What the batch file and the operator add: the install record,
        // records beside the program and in a folder of their own; another
        // program's menu entry.
        QVERIFY(fake.root.write(rootName + "/Kelmar/INSTALL.TXT", "listing"));
        QVERIFY(fake.root.write(rootName + "/Kelmar/2025-03-06-1405.txt", "record"));
        QVERIFY(fake.root.write(rootName + "/Kelmar/rec/2025-03-06-1500.csv", "record"));
        QVERIFY(fake.data.write("applications/other.desktop", "[Desktop Entry]\n"));
        QVERIFY(fake.root.write(rootName + "/Kelmar/setup.ini", "saved"));

        QProcess script;
        script.setProcessChannelMode(QProcess::ForwardedChannels);
        script.setWorkingDirectory(fake.desktop.path());
        script.start(installer.uninstallScriptFile(), arguments);
        QVERIFY(script.waitForFinished(60000));
        QCOMPARE(script.exitStatus(), QProcess::NormalExit);
        QCOMPARE(script.exitCode(), 0);

        QStringList left;
        for (const QString &k : kept)
            left << rootName + u'/' + k;
        if (!left.isEmpty())
            left.prepend(rootName + u'/');
        left.sort();
        QCOMPARE(tree(fake.root.path()), left);
        if (!kept.isEmpty())
            QCOMPARE(fake.root.read(rootName + "/Kelmar/setup.ini"), QByteArray("saved"));
        QCOMPARE(tree(fake.desktop.path()), QStringList());
        // Only the icon files go: the theme's folders are shared.
        QStringList data;
        for (const QString &entry : menuAndIcons()) {
            if (entry.endsWith(u'/'))
                data << entry;
        }
        data << "applications/other.desktop";
        data.sort();
        QCOMPARE(tree(fake.data.path()), data);
    }

    void launcherTrust_data()
    {
        // A stand-in for gio: records its arguments, then behaves as the row says.
        QTest::addColumn<QString>("behaviour"); // empty: there is no gio
        QTest::addColumn<bool>("trusted");
        QTest::newRow("no gio") << "" << false;
        QTest::newRow("gio sets it") << "exit 0" << true;
        QTest::newRow("gio refuses") << "exit 1" << false;
        QTest::newRow("gio never ends, so it is stopped") << "exec sleep 600" << false;
    }
    void launcherTrust()
    {
        QFETCH(QString, behaviour);
        QFETCH(bool, trusted);
        TestFolder dir;
        const QString gio = dir.file("gio");
        if (!behaviour.isEmpty()) {
            QVERIFY(writeExecutable(dir, "gio",
                                    QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$@\" >\"%1\"\n%2\n")
                                        .arg(dir.file("args"), behaviour)
                                        .toUtf8()));
        }
        const QString launcher = dir.file("a b/" + Launcher);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(markLauncherTrusted(launcher, gio, 2000), trusted);
        QVERIFY(clock.elapsed() < 20000);
        if (!behaviour.isEmpty()) {
            QTRY_COMPARE_WITH_TIMEOUT(dir.read("args"),
                                      ("set\n" + launcher + "\nmetadata::trusted\ntrue\n").toUtf8(),
                                      20000);
        }
    }

    void batchFileRunsOnItsOwn()
    {
        // The shipped TYPE.BAT, started from the root as the installer does,
        // records the install folder and ends by itself.
        TestFolder root;
        QVERIFY(root.write("TYPE.BAT", shippedFile("TYPE.BAT")));
        QVERIFY(root.write("Kelmar/setup.ini", shippedFile("setup.ini")));
        qint64 pid = 0;
        QCOMPARE(startBatchDetached(root.file("TYPE.BAT"), root.path(), &pid), QString());
        QVERIFY(pid > 0);
        QTRY_VERIFY_WITH_TIMEOUT(processGone(pid), 20000);
        const QString record = QString::fromLocal8Bit(root.read("Kelmar/INSTALL.TXT"));
        QVERIFY2(record.startsWith(
                     QStringLiteral("Kelmar_T installed in %1\n").arg(root.file("Kelmar"))),
                 qPrintable(record));
        QVERIFY2(record.contains(QStringLiteral("setup.ini")), qPrintable(record));
    }

    void realDistributionInstallsAndStarts()
    {
        if (!QFileInfo::exists(RealDist + "/install_Kelmar_T"))
            QSKIP("the distribution folder is not built");
        QStringList shipped{
            programName(), "kelmar-t-service", "install_Kelmar_T", "TYPE.BAT", "setup.ini", "meter.txt",
            "logo/",       "logo/vq2_366.jpg", "logo/zrp_366.jpg", "icons/",    "icons/hicolor/"};
        for (const QString &icon : Icons) {
            const QString size = icon.section(u'/', 1, 1);
            shipped << "icons/" + icon << "icons/hicolor/" + size + "/"
                    << "icons/hicolor/" + size + "/apps/";
            // Drawn at its size, not a stand-in.
            const QImage image(RealDist + "/icons/" + icon);
            QCOMPARE(QStringLiteral("%1x%2").arg(image.width()).arg(image.height()), size);
            QVERIFY(image.hasAlphaChannel());
        }
        shipped.sort();
        QCOMPARE(tree(RealDist), shipped);

        // The batch file runs as it would, but owned by the test.
        FakeMachine fake;
        InstallMachine m = fake.machine(RealDist);
        QProcess batch;
        m.startBatch = [&batch](const QString &file, const QString &workingDir) {
            batch.setWorkingDirectory(workingDir);
            batch.start(QStringLiteral("sh"), {file});
            return QString();
        };
        Installer installer(m);
        QCOMPARE(failureLines(installer.run()), QStringList());
        QVERIFY(batch.waitForFinished(20000));
        QCOMPARE(batch.exitCode(), 0);
        QStringList expected = layout();
        expected << "Kelmar/INSTALL.TXT";
        expected.sort();
        QCOMPARE(tree(fake.root.path()), expected);
        QCOMPARE(fileBytes(installer.programPath()), fileBytes(RealDist + u'/' + programName()));
        QCOMPARE(tree(fake.data.path()), menuAndIcons());
        QCOMPARE(desktopFileProblems(installer.menuEntryFile()), QString());
        QVERIFY(QFileInfo(installer.programPath()).isExecutable());

        // The installed program, started as the launcher starts it (no
        // arguments, from elsewhere), reads the installed setup.ini: its
        // access time moves on from a day long past.
        const QString ini = fake.root.file("Kelmar/setup.ini");
        const QDateTime past = QDateTime::currentDateTime().addDays(-2);
        QVERIFY(setAccessTime(ini, past));
        const bool accessTimesKept = readUpdatesAccessTime(fake.desktop.file("probe"), past);
        QProcess program;
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        program.setProcessEnvironment(env);
        program.setWorkingDirectory(fake.desktop.path());
        program.start(installer.programPath(), QStringList());
        QVERIFY(program.waitForStarted(20000));
        QSignalSpy ended(&program, &QProcess::finished);
        const auto iniRead = [&] { return QFileInfo(ini).lastRead() > past.addSecs(60); };
        if (accessTimesKept) {
            QTRY_VERIFY_WITH_TIMEOUT(iniRead() || program.state() == QProcess::NotRunning, 30000);
            QVERIFY(iniRead());
        }
        // Its first clock tick, a second after start-up, makes the display
        // window; the program is still there after that.
        QVERIFY2(program.state() == QProcess::Running && !ended.wait(2500),
                 "the installed Kelmar_T ended by itself");
        program.kill();
        QVERIFY(program.waitForFinished(20000));
        if (!accessTimesKept)
            QSKIP("this file system does not keep access times: only the start was checked");
    }

    void windowMatchesItsDesign()
    {
        TestFolder dist;
        FakeMachine fake;
        Installer installer(fake.machine(dist.path()));
        InstallWindow w(installer);
        QCOMPARE(w.windowTitle(), QStringLiteral("INSTALL(安裝)"));
        QCOMPARE(w.size(), QSize(235, 129));
        QCOMPARE(w.Command1->geometry(), QRect(16, 24, 193, 65));
        QCOMPARE(w.Command1->text(), QStringLiteral("安裝"));
        QCOMPARE(w.Command1->font().family(), FontKai);
        QCOMPARE(w.Command1->font().pointSizeF(), 24.0);
        QVERIFY(w.Command1->font().bold());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QImage face = w.Command1->grab().toImage();
        QCOMPARE(face.pixelColor(8, 8), QColor(0, 192, 0));
        QCOMPARE(face.pixelColor(face.width() - 8, face.height() - 8), QColor(0, 192, 0));
        // Pressing the button is all the operator does: nothing ran before.
        QVERIFY(fake.calls.isEmpty());
        QCOMPARE(tree(fake.root.path()), QStringList());
    }

    void cleanInstallEndsAtOnce()
    {
        TestFolder dist;
        QVERIFY(makeDist(dist));
        FakeMachine fake;
        Installer installer(fake.machine(dist.path()));
        InstallWindow w(installer);
        QSignalSpy ended(&w, &InstallWindow::ended);
        w.show();
        w.Command1->click();
        QCOMPARE(ended.count(), 1);
        QVERIFY(!w.failureBox());
        QVERIFY(!w.Command1->isEnabled());
        QCOMPARE(tree(fake.root.path()), layout());
    }

    void failedInstallShowsOneMessageThenEnds()
    {
        TestFolder dist;
        QVERIFY(makeDist(dist, false));
        FakeMachine fake;
        Installer installer(fake.machine(dist.path()));
        InstallWindow w(installer);
        QSignalSpy ended(&w, &InstallWindow::ended);
        w.show();
        w.Command1->click();
        QCOMPARE(ended.count(), 0);
        QMessageBox *box = w.failureBox();
        QVERIFY(box);
        QTRY_VERIFY(box->isVisible());
        const QStringList steps =
            box->text().split(u'\n').filter(QRegularExpression(QStringLiteral(" \\[\\d+\\. ")));
        QCOMPARE(steps.size(), 1);
        QVERIFY2(
            steps[0].startsWith(QStringLiteral("Copy %1 to ").arg(dist.file("logo/zrp_366.jpg"))),
            qPrintable(steps[0]));
        // Everything else was installed before the message.
        QVERIFY(QFileInfo::exists(fake.desktop.file(Launcher)));
        box->button(QMessageBox::Ok)->click();
        QTRY_COMPARE(ended.count(), 1);
        QVERIFY(!w.failureBox());
    }
};

QTEST_MAIN(TstInstaller)
#include "tst_installer.moc"
