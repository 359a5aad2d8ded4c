#include "desktopfilecheck.h"
#include "installpaths.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace kelmar;

class TstInstallPaths : public QObject
{
    Q_OBJECT
private slots:
    void listedComponents_data()
    {
        QTest::addColumn<QString>("listed");
        QTest::addColumn<QStringList>("parts");
        QTest::newRow("install folder") << R"(C:\Kelmar)" << QStringList{"Kelmar"};
        QTest::newRow("logo folder") << R"(C:\KELMAR\LOGO)" << QStringList{"KELMAR", "LOGO"};
        QTest::newRow("source picture")
            << R"(\logo\zrp_366.jpg)" << QStringList{"logo", "zrp_366.jpg"};
        QTest::newRow("batch file keeps its name")
            << R"(C:\Kelmar\TYPE.bat)" << QStringList{"Kelmar", "TYPE.bat"};
#ifdef Q_OS_WIN
        QTest::newRow("program file")
            << R"(C:\Kelmar\KELMAR_T.EXE)" << QStringList{"Kelmar", "KELMAR_T.EXE"};
#else
        QTest::newRow("program file without .EXE")
            << R"(C:\Kelmar\KELMAR_T.EXE)" << QStringList{"Kelmar", "Kelmar_T"};
#endif
        QTest::newRow("serial component has no file")
            << R"(C:\Kelmar\MSCOMM32.OCX)" << QStringList();
        QTest::newRow("drive root") << R"(C:\)" << QStringList();
    }
    void listedComponents()
    {
        QFETCH(QString, listed);
        QFETCH(QStringList, parts);
        QCOMPARE(kelmar::listedComponents(listed), parts);
    }

    void resolvePath_data()
    {
        // Entries made before the lookup; a trailing "/" makes a folder.
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QStringList>("parts");
        QTest::addColumn<QString>("resolved");
        QTest::newRow("nothing there keeps the given spelling")
            << QStringList() << QStringList{"KELMAR", "LOGO"} << "KELMAR/LOGO";
        QTest::newRow("Kelmar made first is found as KELMAR")
            << QStringList{"Kelmar/"} << QStringList{"KELMAR", "LOGO"} << "Kelmar/LOGO";
        QTest::newRow("KELMAR made first is found as Kelmar")
            << QStringList{"KELMAR/LOGO/"} << QStringList{"Kelmar", "logo"} << "KELMAR/LOGO";
        QTest::newRow("exact spelling wins over another case")
            << QStringList{"Kelmar/", "KELMAR/"} << QStringList{"KELMAR"} << "KELMAR";
        QTest::newRow("of two other spellings the first in name order")
            << QStringList{"kelmar/", "KELMAr/"} << QStringList{"Kelmar"} << "KELMAr";
        QTest::newRow("file found in any case")
            << QStringList{"Kelmar/LOGO/ZRP_366.jpg"}
            << QStringList{"KELMAR", "logo", "zrp_366.jpg"} << "Kelmar/LOGO/ZRP_366.jpg";
        QTest::newRow("a file is no folder to look into")
            << QStringList{"Kelmar"} << QStringList{"KELMAR", "LOGO"} << "Kelmar/LOGO";
        QTest::newRow("below a missing folder nothing is looked up")
            << QStringList{"logo/"} << QStringList{"Kelmar", "LOGO"} << "Kelmar/LOGO";
    }
    void resolvePath()
    {
        QFETCH(QStringList, existing);
        QFETCH(QStringList, parts);
        QFETCH(QString, resolved);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        for (const QString &e : existing) {
            if (e.endsWith(u'/')) {
                QVERIFY(QDir().mkpath(dir.filePath(e)));
            } else {
                QDir().mkpath(QFileInfo(dir.filePath(e)).absolutePath());
                QFile f(dir.filePath(e));
                QVERIFY(f.open(QIODevice::WriteOnly));
            }
        }
#ifdef Q_OS_WIN
        // Windows finds a name in any spelling: the path names the same file.
        QCOMPARE(kelmar::resolvePath(dir.path(), parts).toLower(),
                 (dir.path() + u'/' + resolved).toLower());
        QCOMPARE(kelmar::resolvePath(dir.path() + u'/', parts).toLower(),
                 (dir.path() + u'/' + resolved).toLower());
#else
        QCOMPARE(kelmar::resolvePath(dir.path(), parts), dir.path() + u'/' + resolved);
        QCOMPARE(kelmar::resolvePath(dir.path() + u'/', parts), dir.path() + u'/' + resolved);
#endif
    }

    void shortcutPath_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("path");
        QTest::newRow("folder without trailing separator") << "/home/op/Desktop"
                                                           << "/home/op/Desktop/KELMAR_T.desktop";
        QTest::newRow("folder with trailing separator") << "/home/op/Desktop/"
                                                        << "/home/op/Desktop/KELMAR_T.desktop";
        QTest::newRow("root folder") << "/"
                                     << "/KELMAR_T.desktop";
        QTest::newRow("empty folder gives the bare name") << ""
                                                          << "KELMAR_T.desktop";
#ifdef Q_OS_WIN
        QTest::newRow("registry folder without trailing separator")
            << R"(C:\Users\op\Desktop)"
            << "C:/Users/op/Desktop/KELMAR_T.desktop";
        QTest::newRow("registry folder with trailing separator")
            << R"(C:\Users\op\Desktop\)"
            << "C:/Users/op/Desktop/KELMAR_T.desktop";
#endif
    }
    void shortcutPath()
    {
        QFETCH(QString, folder);
        QFETCH(QString, path);
        QCOMPARE(kelmar::shortcutPath(folder, QStringLiteral("KELMAR_T.desktop")), path);
    }

    void desktopFromUserDirs_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("folder");
        // As xdg-user-dirs-update writes the file.
        const QByteArray written = "# This file is written by xdg-user-dirs-update\n"
                                   "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                                   "XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n";
        QTest::newRow("below home") << written << "/home/op/Desktop";
        QTest::newRow("name in Chinese")
            << QByteArray("XDG_DESKTOP_DIR=\"$HOME/桌面\"\n") << "/home/op/桌面";
        QTest::newRow("absolute folder")
            << QByteArray("XDG_DESKTOP_DIR=\"/srv/desk\"\n") << "/srv/desk";
        QTest::newRow("home itself") << QByteArray("XDG_DESKTOP_DIR=\"$HOME/\"\n") << "/home/op/";
        QTest::newRow("escaped quote")
            << QByteArray("XDG_DESKTOP_DIR=\"$HOME/My \\\"Desk\\\"\"\n") << "/home/op/My \"Desk\"";
        QTest::newRow("CR LF line ends")
            << QByteArray("XDG_DESKTOP_DIR=\"$HOME/D\"\r\n") << "/home/op/D";
        QTest::newRow("commented out") << QByteArray("# XDG_DESKTOP_DIR=\"$HOME/x\"\n") << "";
        QTest::newRow("relative folder refused")
            << QByteArray("XDG_DESKTOP_DIR=\"Desktop\"\n") << "";
        QTest::newRow("other variable not expanded")
            << QByteArray("XDG_DESKTOP_DIR=\"$HOMEX/d\"\n") << "";
        QTest::newRow("no desktop entry") << QByteArray("XDG_MUSIC_DIR=\"$HOME/Music\"\n") << "";
        QTest::newRow("empty file") << QByteArray() << "";
    }
    void desktopFromUserDirs()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, folder);
        QCOMPARE(kelmar::desktopFromUserDirs(text, QStringLiteral("/home/op")), folder);
    }

    void desktopEntry_data()
    {
        // Exec arguments are double-quoted with `"`, '`', '$' and '\' escaped
        // by a backslash; then the string escapes double every backslash and
        // '%' is doubled (the launcher format's rules).
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("exec");
        QTest::addColumn<QString>("path");
        QTest::newRow("plain path") << "/opt/k/Kelmar/Kelmar_T"
                                    << "Exec=\"/opt/k/Kelmar/Kelmar_T\""
                                    << "Path=/opt/k/Kelmar";
        QTest::newRow("space in the folder") << "/home/a b/Kelmar/Kelmar_T"
                                             << "Exec=\"/home/a b/Kelmar/Kelmar_T\""
                                             << "Path=/home/a b/Kelmar";
        QTest::newRow("dollar, quote, backquote, percent")
            << "/h/$x\"`%/Kelmar/Kelmar_T"
            << "Exec=\"/h/\\\\$x\\\\\"\\\\`%%/Kelmar/Kelmar_T\""
            << "Path=/h/$x\"`%/Kelmar";
        QTest::newRow("backslash") << "/h/a\\b/Kelmar/Kelmar_T"
                                   << "Exec=\"/h/a\\\\\\\\b/Kelmar/Kelmar_T\""
                                   << "Path=/h/a\\\\b/Kelmar";
    }
    void desktopEntry()
    {
#ifdef Q_OS_WIN
        QSKIP("the launcher file is made on Linux only; Windows gets a shortcut");
#endif
        QFETCH(QString, program);
        QFETCH(QString, exec);
        QFETCH(QString, path);
        const QByteArray bytes = kelmar::desktopEntry(program, QFileInfo(program).path());
        const QString text = QString::fromUtf8(bytes);
        const QStringList lines = text.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.value(0), QStringLiteral("[Desktop Entry]"));
        QVERIFY2(lines.contains(exec), qPrintable(text));
        QVERIFY2(lines.contains(path), qPrintable(text));
        for (const char *key : {"Name=Kelmar_T", "Icon=kelmar-t", "Type=Application"})
            QVERIFY2(lines.contains(QString::fromLatin1(key)), key);
        for (const char *key : {"Name[zh_TW]=", "Comment=", "Categories="})
            QVERIFY2(!lines
                          .filter(QRegularExpression(QStringLiteral("^") +
                                                     QRegularExpression::escape(key)))
                          .isEmpty(),
                     key);
        // The reference checker accepts the escaped text as it is.
        QTemporaryDir dir;
        QFile file(dir.filePath(MenuEntryName));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();
        QCOMPARE(test::desktopFileProblems(file.fileName()), QString());
    }
};

QTEST_GUILESS_MAIN(TstInstallPaths)
#include "tst_installpaths.moc"
