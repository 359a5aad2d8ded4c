#pragma once

#include <QByteArray>
#include <QString>

// Every file the program writes goes through here, so that a link, a pipe,
// a device or a folder planted in a file's place is refused in one way:
// nothing is written and nothing is replaced.
namespace kelmar {

struct FileResult
{
    bool ok = true;
    QString error; // for the operator, bilingual, naming the path; empty when ok
};

// What a symbolic link in the file's place means.
enum class LinkPolicy {
    // Refused: files in folders other users can write (records, exports).
    Refuse,
    // A link the operator made on purpose to a regular file elsewhere: that
    // file is replaced in its own folder and the link stays.
    FollowToRegular,
};

// Replaces the whole file in one step: the bytes go to a new temporary file
// beside it (beside the link's target when a link is followed), forced to
// the disk, which is renamed over the old one, so a reader never sees half a
// file; the folder is then synced too (on Windows the rename is written
// through), so the replacement outlives a power cut. Temporary files of this
// path that killed saves left behind (named "<file>.<8 hex digits>") are
// removed first; one a save still writes is not. Only a regular file (or a
// missing one) is replaced. ownerOnly makes the new file readable by its
// owner alone (it holds a password).
FileResult replaceFile(const QString &path, const QByteArray &bytes,
                       LinkPolicy links = LinkPolicy::Refuse, bool ownerOnly = false);

// Appends the bytes to a regular file, creating it when missing, whole or
// not at all: a write cut short (a full disk) is taken back. Never through a
// link, never into a device, a pipe or a folder. With `sync` the bytes are
// forced to the disk before it returns, so a power cut cannot take them.
// No bytes just make sure the file is there.
FileResult appendToFile(const QString &path, const QByteArray &bytes, bool sync = true);

// The bilingual notice for a file that is refused: "無法寫入 <path>: <why>".
FileResult refusedFile(const QString &path, const QString &why);

} // namespace kelmar
