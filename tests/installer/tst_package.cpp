#include "desktopfilecheck.h"
#include "installer.h"
#include "installpaths.h"
#include "testfolder.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

using namespace kelmar;
using kelmar::test::desktopFileProblems;
using kelmar::test::TestFolder;

namespace {

// The package is made from a build of its own: the build under test uses the
// sanitizers, whose runtime no user's machine should need.
const QString PackageBuild = QStringLiteral(KELMAR_BINARY_DIR "/package-build");
const QString PackagedFolder = QStringLiteral("usr/lib/kelmar-t");

struct Run
{
    bool ok = false;
    QString output;
};

// Runs a tool to its end (a package build takes minutes on a busy machine).
Run run(const QString &program, const QStringList &args, int timeoutMs = 60000)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    Run r;
    if (!p.waitForStarted(timeoutMs)) {
        r.output = program + QStringLiteral(" did not start");
        return r;
    }
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        r.output = program + QStringLiteral(" did not end");
        return r;
    }
    r.output = QString::fromUtf8(p.readAll());
    r.ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    return r;
}

QString lastLines(const QString &text, int count = 30)
{
    return text.split(u'\n').mid(qMax(0, int(text.count(u'\n')) - count)).join(u'\n');
}

} // namespace

class TstPackage : public QObject
{
    Q_OBJECT
    QString m_deb;
    QString m_info;
    QString m_contents;

private slots:
    void initTestCase()
    {
        for (const char *tool : {"dpkg-deb", "dpkg-shlibdeps", "lintian"})
            QVERIFY2(!QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty(),
                     qPrintable(QStringLiteral("%1 is missing: tools/deps.sh lists its package")
                                    .arg(QString::fromLatin1(tool))));
        const Run configure = run(QStringLiteral(KELMAR_CMAKE),
                                  {"-S", KELMAR_SOURCE_DIR, "-B", PackageBuild, "-G", "Ninja",
                                   "-DCMAKE_BUILD_TYPE=Release", "-DKELMAR_SANITIZE=OFF",
                                   "-DKELMAR_TESTS=OFF", "-Wno-dev"});
        QVERIFY2(configure.ok, qPrintable(lastLines(configure.output)));
        constexpr int BuildTimeoutMs = 40 * 60 * 1000;
        const Run build =
            run(QStringLiteral(KELMAR_CMAKE),
                {"--build", PackageBuild, "--target", "package", "-j2"}, BuildTimeoutMs);
        QVERIFY2(build.ok, qPrintable(lastLines(build.output)));
        const QStringList debs =
            QDir(PackageBuild).entryList({QStringLiteral("kelmar-t_*.deb")}, QDir::Files);
        QCOMPARE(debs.size(), 1);
        m_deb = QDir(PackageBuild).filePath(debs.first());
        const Run info = run(QStringLiteral("dpkg-deb"), {"--info", m_deb});
        QVERIFY2(info.ok, qPrintable(info.output));
        m_info = info.output;
        const Run contents = run(QStringLiteral("dpkg-deb"), {"--contents", m_deb});
        QVERIFY2(contents.ok, qPrintable(contents.output));
        m_contents = contents.output;
    }

    void depends_data()
    {
        // Libraries come with the version dpkg-shlibdeps found in the
        // programs; the fonts are named, without a version.
        QTest::addColumn<QString>("package");
        QTest::addColumn<bool>("computed");
        QTest::newRow("Qt widgets, found in the programs") << "libqt6widgets6" << true;
        QTest::newRow("Qt serial port, found in the program") << "libqt6serialport6" << true;
        QTest::newRow("Qt core") << "libqt6core6" << true;
        QTest::newRow("C++ runtime") << "libstdc++6" << true;
        QTest::newRow("regular script font") << "fonts-arphic-ukai" << false;
        QTest::newRow("Ming font") << "fonts-arphic-uming" << false;
        QTest::newRow("Arial's stand-in") << "fonts-liberation2" << false;
    }
    void depends()
    {
        QFETCH(QString, package);
        QFETCH(bool, computed);
        const QRegularExpression line(QStringLiteral("^ Depends: (.*)$"),
                                      QRegularExpression::MultilineOption);
        const QString depends = line.match(m_info).captured(1);
        QVERIFY2(!depends.isEmpty(), qPrintable(m_info));
        const QStringList entries = depends.split(QStringLiteral(", "));
        const QRegularExpression entry(
            QStringLiteral("^%1( \\(>= [^)]+\\))?$").arg(QRegularExpression::escape(package)));
        const QStringList found = entries.filter(entry);
        QVERIFY2(found.size() == 1, qPrintable(depends));
        QCOMPARE(found.first().contains(QStringLiteral("(>=")), computed);
        // Nothing that only a sanitized build needs.
        QVERIFY2(!depends.contains(QStringLiteral("libasan")) &&
                     !depends.contains(QStringLiteral("libubsan")),
                 qPrintable(depends));
    }

    void contents_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("mode");
        QTest::newRow("program") << PackagedFolder + "/Kelmar_T"
                                 << "-rwxr-xr-x";
        QTest::newRow("installer") << PackagedFolder + "/install_Kelmar_T"
                                   << "-rwxr-xr-x";
        QTest::newRow("service program") << PackagedFolder + "/kelmar-t-service"
                                         << "-rwxr-xr-x";
        QTest::newRow("batch file") << PackagedFolder + "/TYPE.BAT"
                                    << "-rw-r--r--";
        QTest::newRow("settings") << PackagedFolder + "/setup.ini"
                                  << "-rw-r--r--";
        QTest::newRow("meter table") << PackagedFolder + "/meter.txt"
                                     << "-rw-r--r--";
        QTest::newRow("model A picture") << PackagedFolder + "/logo/vq2_366.jpg"
                                         << "-rw-r--r--";
        QTest::newRow("model B picture") << PackagedFolder + "/logo/zrp_366.jpg"
                                         << "-rw-r--r--";
        QTest::newRow("icon for the installer to copy")
            << PackagedFolder + "/icons/hicolor/48x48/apps/kelmar-t.png"
            << "-rw-r--r--";
        QTest::newRow("icon of the system menu entry")
            << "usr/share/icons/hicolor/256x256/apps/kelmar-t.png"
            << "-rw-r--r--";
        QTest::newRow("system menu entry") << "usr/share/applications/kelmar-t-install.desktop"
                                           << "-rw-r--r--";
        QTest::newRow("copyright") << "usr/share/doc/kelmar-t/copyright"
                                   << "-rw-r--r--";
        QTest::newRow("changelog") << "usr/share/doc/kelmar-t/changelog.gz"
                                   << "-rw-r--r--";
        QTest::newRow("user's documentation") << "usr/share/doc/kelmar-t/README.md"
                                              << "-rw-r--r--";
        QTest::newRow("service unit, not enabled") << "usr/lib/systemd/system/kelmar-t@.service"
                                                   << "-rw-r--r--";
    }
    void contents()
    {
        QFETCH(QString, file);
        QFETCH(QString, mode);
        const QRegularExpression line(
            QStringLiteral("^(\\S+) root/root .* \\./%1$").arg(QRegularExpression::escape(file)),
            QRegularExpression::MultilineOption);
        const QRegularExpressionMatch m = line.match(m_contents);
        QVERIFY2(m.hasMatch(), qPrintable(m_contents));
        QCOMPARE(m.captured(1), mode);
    }

    // The service unit as systemd reads it, for an instance, with the
    // program it starts where this build has it.
    void serviceUnitVerifies()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("systemd-analyze")).isEmpty())
            QSKIP("no systemd-analyze on this machine");
        QTemporaryDir tmp;
        const Run extract = run(QStringLiteral("dpkg-deb"), {"-x", m_deb, tmp.path()});
        QVERIFY2(extract.ok, qPrintable(extract.output));
        QFile unit(tmp.filePath(QStringLiteral("usr/lib/systemd/system/kelmar-t@.service")));
        QVERIFY(unit.open(QIODevice::ReadOnly));
        QByteArray text = unit.readAll();
        const QByteArray program = "/" + PackagedFolder.toUtf8() + "/Kelmar_T";
        QVERIFY2(text.contains("ExecStart=" + program + " --service /%I"), text.constData());
        text.replace(program, tmp.filePath(PackagedFolder + QStringLiteral("/Kelmar_T")).toUtf8());
        const QString instance = tmp.filePath(QStringLiteral("kelmar-t@tmp.service"));
        QFile out(instance);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(text) == text.size());
        out.close();
        const Run verify = run(QStringLiteral("systemd-analyze"), {"verify", "--man=no", instance});
        QVERIFY2(verify.ok && verify.output.trimmed().isEmpty(), qPrintable(verify.output));
    }

    void lintianFindsNoError()
    {
        const Run lintian = run(QStringLiteral("lintian"), {m_deb}, 10 * 60 * 1000);
        // lintian's exit code counts warnings too; errors are what must not be.
        const QStringList errors =
            lintian.output.split(u'\n').filter(QRegularExpression(QStringLiteral("^E: ")));
        QVERIFY2(errors.isEmpty(), qPrintable(lintian.output));
        QVERIFY2(lintian.ok || lintian.output.contains(QStringLiteral("W: ")),
                 qPrintable(lintian.output));
    }

    void installsFromTheUnpackedPackage()
    {
        TestFolder unpacked;
        const Run extract = run(QStringLiteral("dpkg-deb"), {"-x", m_deb, unpacked.path()});
        QVERIFY2(extract.ok, qPrintable(extract.output));

        // The system menu entry starts the packaged installer.
        const QString entry = unpacked.file("usr/share/applications/kelmar-t-install.desktop");
        QCOMPARE(desktopFileProblems(entry), QString());
        const QStringList lines =
            QString::fromUtf8(unpacked.read("usr/share/applications/kelmar-t-install.desktop"))
                .split(u'\n');
        QVERIFY(lines.contains(QStringLiteral("Exec=/") + PackagedFolder + "/install_Kelmar_T"));
        QVERIFY(lines.contains(QStringLiteral("Name=安裝 Kelmar_T (install)")));

        // The installer, run from the packaged folder, installs for the user.
        TestFolder root, desktop, data;
        InstallMachine m;
        m.sourceDir = unpacked.file(PackagedFolder);
        m.root = root.path();
        m.desktopFolder = [&desktop] { return desktop.path(); };
        m.startBatch = [](const QString &, const QString &) { return QString(); };
        m.dataHome = data.path();
        Installer installer(m);
        QCOMPARE(failureLines(installer.run()), QStringList());
        QCOMPARE(desktopFileProblems(installer.menuEntryFile()), QString());
        QVERIFY(QFileInfo::exists(data.file("icons/hicolor/48x48/apps/kelmar-t.png")));

        // The installed program runs: its libraries are on this machine.
        QProcess program;
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.setWorkingDirectory(desktop.path());
        program.start(installer.programPath(), QStringList());
        QVERIFY(program.waitForStarted(20000));
        QSignalSpy ended(&program, &QProcess::finished);
        QVERIFY2(!ended.wait(3000), "the packaged Kelmar_T ended by itself");
        program.kill();
        QVERIFY(program.waitForFinished(20000));
    }
};

QTEST_GUILESS_MAIN(TstPackage)
#include "tst_package.moc"
