#include "safefile.h"
#include "testfolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#ifndef Q_OS_WIN
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif

using namespace kelmar;
using kelmar::test::TestFolder;

namespace {

enum class Write { Replace, ReplaceFollowing, Append };

enum class Kind { None, Regular, Folder, Link, Other };

// What stands at the path itself, a link not followed.
Kind kindAt(const QString &path)
{
    const QFileInfo at(path);
    if (at.isSymLink())
        return Kind::Link;
    if (!at.exists())
        return Kind::None;
    return at.isDir() ? Kind::Folder : at.isFile() ? Kind::Regular : Kind::Other;
}

FileResult write(Write how, const QString &path, const QByteArray &bytes)
{
    switch (how) {
    case Write::Replace:
        return replaceFile(path, bytes);
    case Write::ReplaceFollowing:
        return replaceFile(path, bytes, LinkPolicy::FollowToRegular);
    case Write::Append:
        break;
    }
    return appendToFile(path, bytes);
}

} // namespace

Q_DECLARE_METATYPE(Write)

class TstSafeFile : public QObject
{
    Q_OBJECT
private slots:
    // What stands in the file's place, how it is written, and whether the
    // write goes through. A refusal names the path and the reason, and
    // leaves what stood there as it was.
    void onlyRegularFiles_data()
    {
        QTest::addColumn<QString>("planted");
        QTest::addColumn<Write>("how");
        QTest::addColumn<QString>("refusal"); // empty: written
        const QString link = QStringLiteral("symbolic link"), odd = QStringLiteral("not a regular");
#ifdef Q_OS_WIN
        // Windows has no FIFOs or device nodes, and a link needs rights a
        // test does not have: nothing, a file and a folder stand there.
        const bool posix = false;
#else
        const bool posix = true;
#endif
        for (const auto &[how, name] :
             {std::pair{Write::Replace, "replaced"},
              std::pair{Write::ReplaceFollowing, "replaced, links followed"},
              std::pair{Write::Append, "appended"}}) {
            const bool follows = how == Write::ReplaceFollowing;
            QTest::addRow("nothing there, %s", name) << "none" << how << QString();
            QTest::addRow("regular file, %s", name) << "regular" << how << QString();
            QTest::addRow("folder, %s", name) << "folder" << how << odd;
            if (!posix)
                continue;
            QTest::addRow("FIFO, %s", name) << "fifo" << how << odd;
            QTest::addRow("link to a folder, %s", name)
                << "linkToFolder" << how << (follows ? odd : link);
            QTest::addRow("link to a file the test owns, %s", name)
                << "linkToOwnFile" << how << (follows ? QString() : link);
            QTest::addRow("link into a folder no one can write, %s", name)
                << "linkIntoUnwritable" << how << (follows ? QStringLiteral("cannot write") : link);
            QTest::addRow("character device, %s", name) << "device" << how << odd;
        }
    }
    void onlyRegularFiles()
    {
        QFETCH(QString, planted);
        QFETCH(Write, how);
        QFETCH(QString, refusal);
        TestFolder dir;
        const QString path = dir.file(QStringLiteral("f.txt"));
        const QString own = dir.file(QStringLiteral("own.txt"));
        QVERIFY(dir.write(QStringLiteral("own.txt"), "old\r\n"));
        const QByteArray fresh = "new\r\n";
        QString target; // what a link points at
        Kind before = Kind::None;
        if (planted == "regular") {
            QVERIFY(dir.write(QStringLiteral("f.txt"), "old\r\n"));
        } else if (planted == "folder") {
            QVERIFY(QDir().mkdir(path));
#ifndef Q_OS_WIN
        } else if (planted == "fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (planted == "device") {
            if (::geteuid() != 0)
                QSKIP("only root makes device nodes");
            QCOMPARE(::mknod(QFile::encodeName(path).constData(), S_IFCHR | 0666, makedev(1, 3)), 0);
#endif
        } else if (planted != "none") {
            target = planted == "linkToFolder"    ? dir.path()
                     : planted == "linkToOwnFile" ? own
                                                  : QStringLiteral("/proc/version");
            if (!QFileInfo(target).exists())
                QSKIP("no /proc here");
            QVERIFY(QFile::link(target, path));
        }
        before = kindAt(path);
        const QByteArray targetBefore = target.isEmpty() || !QFileInfo(target).isFile()
                                            ? QByteArray()
                                            : dir.read(QStringLiteral("own.txt"));

        const FileResult r = write(how, path, fresh);
        if (!refusal.isEmpty()) {
            QVERIFY(!r.ok);
            QVERIFY2(r.error.contains(QDir::toNativeSeparators(path)) && r.error.contains(refusal), qPrintable(r.error));
            QCOMPARE(kindAt(path), before);
            if (planted == "linkToOwnFile")
                QCOMPARE(dir.read(QStringLiteral("own.txt")), targetBefore);
            return;
        }
        QVERIFY2(r.ok, qPrintable(r.error));
        if (planted == "linkToOwnFile") {
            // The link stays and its target took the bytes.
            QCOMPARE(kindAt(path), Kind::Link);
            QCOMPARE(dir.read(QStringLiteral("own.txt")), fresh);
            return;
        }
        QCOMPARE(kindAt(path), Kind::Regular);
        const bool appended = how == Write::Append && planted == "regular";
        QCOMPARE(dir.read(QStringLiteral("f.txt")), appended ? "old\r\n" + fresh : fresh);
    }

    // What stands beside meters.ini when it is saved, and whether the save
    // removes it: only the temporary files of that file's killed saves.
    void leftoversRemoved_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("planted");
        QTest::addColumn<bool>("removed");
        const QString leftover = QStringLiteral("meters.ini.0a1b2c3d");
        QTest::newRow("left by a killed save") << leftover << "regular" << true;
        QTest::newRow("a save of setup.ini's") << "setup.ini.0a1b2c3d" << "regular" << false;
        QTest::newRow("operator's backup") << "meters.ini.bak" << "regular" << false;
        QTest::newRow("upper-case digits") << "meters.ini.0A1B2C3D" << "regular" << false;
        QTest::newRow("nine digits") << "meters.ini.0a1b2c3d0" << "regular" << false;
        QTest::newRow("folder of that name") << leftover << "folder" << false;
        QTest::newRow("link of that name") << leftover << "link" << false;
        QTest::newRow("held by a save still writing") << leftover << "held" << false;
    }
    void leftoversRemoved()
    {
        QFETCH(QString, name);
        QFETCH(QString, planted);
        QFETCH(bool, removed);
        TestFolder dir;
        const QString ini = QStringLiteral("meters.ini");
        QVERIFY(dir.write(ini, "old\r\n"));
        QFile held(dir.file(name));
        if (planted == "folder") {
            QVERIFY(QDir().mkdir(dir.file(name)));
        } else if (planted == "link") {
#ifdef Q_OS_WIN
            QSKIP("a Windows shortcut is a regular file");
#endif
            QVERIFY(QFile::link(dir.file(ini), dir.file(name)));
        } else {
            QVERIFY(dir.write(name, "half"));
        }
        if (planted == "held") {
            // Open is enough on Windows; elsewhere a save holds a lock.
            QVERIFY(held.open(QIODevice::ReadOnly));
#ifndef Q_OS_WIN
            QCOMPARE(::flock(held.handle(), LOCK_EX | LOCK_NB), 0);
#endif
        }
        const FileResult r = replaceFile(dir.file(ini), "new\r\n");
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(QFileInfo::exists(dir.file(name)), !removed);
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                     .size(), removed ? 1 : 2); // and the save left none of its own
    }

    // Every record line is forced to the disk; what that costs a line.
    void syncedLinesAreWholeAndTimed()
    {
        TestFolder dir;
        const QString path = dir.file(QStringLiteral("r.txt"));
        const QByteArray line = "12:00:00\t2201\t1234\t-52\t55.0\t0.946\r\n";
        constexpr int Lines = 50;
        QByteArray expected;
        qint64 ns[2] = {0, 0};
        for (const bool sync : {false, true}) {
            QElapsedTimer clock;
            clock.start();
            for (int i = 0; i < Lines; ++i)
                QVERIFY(appendToFile(path, line, sync).ok);
            ns[sync] = clock.nsecsElapsed();
            expected += line.repeated(Lines);
        }
        QCOMPARE(dir.read(QStringLiteral("r.txt")), expected);
        qInfo("record line appended: %.3f ms without sync, %.3f ms with fdatasync",
              double(ns[0]) / Lines / 1e6, double(ns[1]) / Lines / 1e6);
    }
};

QTEST_GUILESS_MAIN(TstSafeFile)
#include "tst_safefile.moc"
