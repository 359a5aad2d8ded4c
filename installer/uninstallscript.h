#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace kelmar {

// The file name of the uninstall script in the install folder.
inline const QString UninstallScriptName = QStringLiteral("uninstall_Kelmar_T");

// A shell word that stands for text exactly: in single quotes, a quote
// inside written as '\''.
QString shellQuoted(const QString &text);

// The sh script that undoes an installation: it removes the files the
// installer made (files, the script itself among them), then the folders
// in emptyFolders that are left empty, innermost first. Everything else in
// the install folder (setup.ini, meter.txt, record files) stays unless the
// script is run with --all, which removes installFolder whole.
QByteArray uninstallScript(const QString &installFolder, const QStringList &files,
                           const QStringList &emptyFolders);

} // namespace kelmar
