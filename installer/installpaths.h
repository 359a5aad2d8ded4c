#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// How the installer's fixed Windows paths land on this machine. The steps are
// written with the listed names ("C:\Kelmar\KELMAR_T.EXE"); these functions
// turn them into real paths below one root folder that stands for "C:\".
namespace kelmar {

// The folder that stands for "C:\": C:\ itself on Windows, elsewhere the
// per-user folder Kelmar_T in the data home (~/.local/share/Kelmar_T), so the
// operator installs without administrator rights, beside the per-user
// desktop launcher.
QString defaultInstallRoot();

// A listed distribution file name as this platform's build spells it. The
// program file "KELMAR_T.EXE" is "Kelmar_T" outside Windows. The serial
// component "MSCOMM32.OCX" is built into the program on every platform, so
// it has no file: the empty text. Other names are kept.
QString platformFileName(const QString &listedName);

// The listed shortcut name "KELMAR_T.lnk": the same on Windows, a desktop
// launcher "KELMAR_T.desktop" elsewhere.
QString platformShortcutName(const QString &listedName);

// The components of a listed path: "C:\KELMAR\LOGO" gives KELMAR, LOGO;
// "\logo\vq2_366.jpg" gives logo, vq2_366.jpg. The drive and empty
// components are dropped; the last component goes through platformFileName.
QStringList listedComponents(const QString &listedPath);

// base joined with the components, each matched against the entries that
// already exist: the exact spelling first, else an entry that differs only
// in case (the first in name order), else the given spelling. So on a file
// system that tells case apart, "C:\Kelmar" and "C:\KELMAR" name the one
// folder that was made first, as they do on the Windows file system.
QString resolvePath(const QString &base, const QStringList &components);

// The shortcut path from the desktop folder: a separator is added only when
// the folder does not end with one, so "D" and "D/" both give "D/name".
// An empty folder gives the bare name, which the caller must refuse.
QString shortcutPath(const QString &desktopFolder, const QString &name);

// The desktop folder named by XDG_DESKTOP_DIR in the text of a user-dirs.dirs
// file, with "$HOME" replaced by home. Empty when the entry is missing or is
// neither absolute nor below $HOME.
QString desktopFromUserDirs(const QByteArray &userDirs, const QString &home);

// The current user's desktop folder: the registry's Desktop shell folder on
// Windows; elsewhere XDG_DESKTOP_DIR from the user's user-dirs.dirs, else
// ~/Desktop.
QString systemDesktopFolder();

// The per-user data folder that holds the applications menu and the icon
// theme (~/.local/share); empty on Windows, where the desktop shortcut is
// the only launcher.
QString systemDataHome();

// The launcher's icon in the icon theme, and the menu entry's file name.
inline const QString IconName = QStringLiteral("kelmar-t");
inline const QString MenuEntryName = QStringLiteral("kelmar-t.desktop");

// The text of a freedesktop launcher for the installed program, the same
// for the desktop and the applications menu: names, comment, categories,
// icon, the program (quoted and escaped as the format wants) and its folder
// as the working folder.
QByteArray desktopEntry(const QString &program, const QString &folder);

} // namespace kelmar
