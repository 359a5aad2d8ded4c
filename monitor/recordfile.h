#pragma once

#include "safefile.h"

#include <QString>

// The file side of recording. Every call opens, uses and closes its file;
// nothing stays open between lines.
namespace kelmar {

// Creates the record folder (one level) when nothing of that name exists.
// An empty folder text names the working folder and needs nothing.
FileResult ensureRecordFolder(const QString &folderText);

// Makes sure the record file exists, as a regular file and not a link. A file that is already there
// keeps its lines: switching recording off and on within one minute names the same file again, and
// that minute's lines must not be lost.
FileResult createRecordFile(const QString &path);

// Appends the line and CR LF in code page 950, whole or not at all: a write
// cut short (a full disk) is taken back, so the file never holds half a line.
// The line is on the disk when this returns. Never through a link.
FileResult appendRecordLine(const QString &path, const QString &line);

} // namespace kelmar
