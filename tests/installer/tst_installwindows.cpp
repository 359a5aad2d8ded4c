// install_Kelmar_T on Windows itself (under Wine's scratch prefix of the
// build): the folders on drive C:, the copied files and runtime, the desktop
// shortcut KELMAR_T.lnk, the settings kept by a second install, the message
// that lists the failed steps.
#include "installer.h"
#include "installwindow.h"
#include "testfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <windows.h>

using namespace kelmar;
using kelmar::test::TestFolder;

namespace {

bool underWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll"), "wine_get_version") != nullptr;
}

QByteArray shipped(const QString &name)
{
    QFile f(QStringLiteral(KELMAR_SOURCE_DIR "/dist/") + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// What the distribution holds, name and bytes; stand-ins for the program,
// the pictures and the runtime.
QList<QPair<QString, QByteArray>> distFiles(const QByteArray &program, bool withZrp)
{
    QList<QPair<QString, QByteArray>> files{
        {"TYPE.BAT", shipped("TYPE.BAT")},      {"Kelmar_T.exe", program},
        {"setup.ini", shipped("setup-windows.ini")}, {"meter.txt", shipped("meter.txt")},
        {"logo/vq2_366.jpg", "picture vq2"},    {"Qt6Core.dll", "runtime"},
        {"platforms/qwindows.dll", "plugin"}};
    if (withZrp)
        files.append(qMakePair(QStringLiteral("logo/zrp_366.jpg"), QByteArray("picture zrp")));
    return files;
}

QByteArray read(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TstInstallWindows : public QObject
{
    Q_OBJECT
private slots:
    void installsOnDriveC_data()
    {
        QTest::addColumn<bool>("installedBefore"); // the operator edited the first install's files
        QTest::addColumn<bool>("withZrp");
        QTest::addColumn<QStringList>("failedSteps");
        QTest::newRow("first install") << false << true << QStringList();
        QTest::newRow("second install keeps setup.ini and meter.txt")
            << true << true << QStringList();
        QTest::newRow("missing picture: the message lists its step")
            << false << false << QStringList{"11"};
    }
    void installsOnDriveC()
    {
        QFETCH(bool, installedBefore);
        QFETCH(bool, withZrp);
        QFETCH(QStringList, failedSteps);
        if (!underWine())
            QSKIP("it installs into C:\\ and the desktop: only in Wine's scratch prefix of the build");
        // Windows's own places: drive C: and the desktop the shell names.
        InstallMachine m = systemMachine(QString());
        const QString desktop = QDir::fromNativeSeparators(m.desktopFolder());
        QVERIFY2(QFileInfo(desktop).isDir(), qPrintable(desktop));
        const QString shortcut = desktop + QStringLiteral("/KELMAR_T.lnk");
        QCOMPARE(m.root, QStringLiteral("C:/"));
        QDir(QStringLiteral("C:/Kelmar")).removeRecursively();
        QFile::remove(QStringLiteral("C:/TYPE.BAT"));
        QFile::remove(shortcut);
        QStringList batches;
        m.startBatch = [&](const QString &file, const QString &dir) {
            batches << QDir::fromNativeSeparators(file) + " in " + QDir::fromNativeSeparators(dir);
            return QString();
        };

        TestFolder dist;
        m.sourceDir = dist.path();
        if (installedBefore) {
            for (const auto &[name, bytes] : distFiles("program 1", true))
                QVERIFY(dist.write(name, bytes));
            QCOMPARE(failureLines(Installer(m).run()), QStringList());
            QFile ini(QStringLiteral("C:/Kelmar/setup.ini"));
            QVERIFY(ini.open(QIODevice::WriteOnly) && ini.write("edited\r\n") == 8);
            ini.close();
            QFile meters(QStringLiteral("C:/Kelmar/meter.txt"));
            QVERIFY(meters.open(QIODevice::WriteOnly) && meters.write("mine\r\n") == 6);
            meters.close();
            batches.clear();
        }
        const auto files = distFiles("program 2", withZrp);
        for (const auto &[name, bytes] : files)
            QVERIFY(dist.write(name, bytes));

        Installer installer(m);
        InstallWindow w(installer);
        QSignalSpy ended(&w, &InstallWindow::ended);
        w.show();
        w.Command1->click();

        // The folders on drive C:, one for "C:\Kelmar" and "C:\KELMAR".
        QCOMPARE(QDir(QStringLiteral("C:/")).entryList({"Kelmar", "KELMAR"}, QDir::Dirs),
                 QStringList{"Kelmar"});
        QCOMPARE(installer.programPath().toUpper(), QStringLiteral("C:/KELMAR/KELMAR_T.EXE"));
        const QList<QPair<QString, QString>> copies{
            {"Kelmar_T.exe", "C:/Kelmar/KELMAR_T.EXE"}, {"TYPE.BAT", "C:/TYPE.BAT"},
            {"TYPE.BAT", "C:/Kelmar/TYPE.bat"},         {"logo/vq2_366.jpg", "C:/Kelmar/LOGO/vq2_366.jpg"},
            {"Qt6Core.dll", "C:/Kelmar/Qt6Core.dll"},   {"platforms/qwindows.dll", "C:/Kelmar/platforms/qwindows.dll"},
            {"logo/zrp_366.jpg", "C:/Kelmar/LOGO/zrp_366.jpg"}};
        for (const auto &[from, to] : copies) {
            if (!withZrp && from.contains("zrp"))
                QVERIFY(!QFileInfo::exists(to));
            else
                QVERIFY2(read(to) == dist.read(from), qPrintable(to));
        }
        QCOMPARE(read(QStringLiteral("C:/Kelmar/setup.ini")),
                 installedBefore ? QByteArray("edited\r\n") : dist.read("setup.ini"));
        QCOMPARE(read(QStringLiteral("C:/Kelmar/meter.txt")),
                 installedBefore ? QByteArray("mine\r\n") : dist.read("meter.txt"));
        QCOMPARE(batches, QStringList{"C:/TYPE.BAT in C:/"});
        // The desktop shortcut starts the installed program.
        QCOMPARE(QDir::fromNativeSeparators(installer.shortcutFile()), shortcut);
        QCOMPARE(QFileInfo(shortcut).symLinkTarget().toUpper(), QStringLiteral("C:/KELMAR/KELMAR_T.EXE"));

        // A clean install ends at once; a failed one says which steps failed.
        if (failedSteps.isEmpty()) {
            QCOMPARE(ended.count(), 1);
            QVERIFY(!w.failureBox());
        } else {
            QCOMPARE(ended.count(), 0);
            QMessageBox *box = w.failureBox();
            QVERIFY(box);
            QTRY_VERIFY(box->isVisible());
            QStringList listed;
            for (const QString &line : box->text().split(u'\n')) {
                const int at = line.lastIndexOf(QStringLiteral(" ["));
                if (at >= 0)
                    listed << line.mid(at + 2).section(u'.', 0, 0);
            }
            QCOMPARE(listed, failedSteps);
            box->button(QMessageBox::Ok)->click();
            QTRY_COMPARE(ended.count(), 1);
        }
        QDir(QStringLiteral("C:/Kelmar")).removeRecursively();
        QFile::remove(QStringLiteral("C:/TYPE.BAT"));
        QFile::remove(shortcut);
    }
};

QTEST_MAIN(TstInstallWindows)
#include "tst_installwindows.moc"
