#include "uninstallscript.h"

namespace kelmar {

namespace {

QString wordList(const QStringList &paths)
{
    QString out;
    for (const QString &p : paths)
        out += QStringLiteral(" \\\n  ") + shellQuoted(p);
    return out;
}

} // namespace

QString shellQuoted(const QString &text)
{
    QString out = QStringLiteral("'");
    for (const QChar c : text) {
        if (c == u'\'')
            out += QStringLiteral("'\\''");
        else
            out += c;
    }
    return out + u'\'';
}

QByteArray uninstallScript(const QString &installFolder, const QStringList &files,
                           const QStringList &emptyFolders)
{
    QString s;
    s += QStringLiteral(
        "#!/bin/sh\n"
        "# Removes Kelmar_T as install_Kelmar_T put it in place: the program, the\n"
        "# pictures, the batch files, the desktop launcher, the menu entry and the\n"
        "# icons. setup.ini, meter.txt and record files stay in the install folder;\n"
        "# with --all the install folder goes with everything in it. Record files\n"
        "# outside the install folder are never touched.\n"
        "#   uninstall_Kelmar_T [--all]\n"
        "all=no\n"
        "case $# in\n"
        "0) ;;\n"
        "1) [ \"$1\" = --all ] && all=yes ;;\n"
        "esac\n"
        "if [ $# -gt 1 ] || { [ $# -eq 1 ] && [ $all = no ]; }; then\n"
        "  echo \"usage: $0 [--all]\" >&2\n"
        "  exit 2\n"
        "fi\n");
    s += QStringLiteral("folder=") + shellQuoted(installFolder) + u'\n';
    s += QStringLiteral("status=0\n"
                        "for file in") +
         wordList(files) +
         QStringLiteral("\n"
                        "do\n"
                        "  if [ -e \"$file\" ] || [ -L \"$file\" ]; then\n"
                        "    rm -f -- \"$file\" || status=1\n"
                        "  fi\n"
                        "done\n"
                        "if [ $all = yes ] && [ -d \"$folder\" ]; then\n"
                        "  rm -rf -- \"$folder\" || status=1\n"
                        "fi\n"
                        "# Folders go only when nothing of the operator's is left in them.\n"
                        "for dir in") +
         wordList(emptyFolders) +
         QStringLiteral("\n"
                        "do\n"
                        "  [ -d \"$dir\" ] && rmdir -- \"$dir\" 2>/dev/null\n"
                        "done\n"
                        "if [ -d \"$folder\" ]; then\n"
                        "  echo \"Kelmar_T is removed. Kept in $folder:\"\n"
                        "  ls -A \"$folder\"\n"
                        "  echo \"Remove them too with: rm -r \\\"$folder\\\"\"\n"
                        "elif [ $status -eq 0 ]; then\n"
                        "  echo \"Kelmar_T is removed.\"\n"
                        "fi\n"
                        "[ $status -eq 0 ] || echo \"Some files could not be removed.\" >&2\n"
                        "exit $status\n");
    return s.toUtf8();
}

} // namespace kelmar
