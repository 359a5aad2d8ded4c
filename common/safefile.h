#pragma once

#include <QByteArray>
#include <QString>

// Every file the program writes goes through here, so that a link, a pipe,
// a device or a folder planted in a file's place is refused in one way.
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
    // file is updated in place and the link stays.
    FollowToRegular,
};

// Replaces the whole file in one step: the bytes go to a temporary file
// beside it, which is renamed over the old one, so a reader never sees half
// a file. Only a regular file (or a missing one) is replaced. ownerOnly
// makes the new file readable by its owner alone (it holds a password).
FileResult replaceFile(const QString &path, const QByteArray &bytes,
                       LinkPolicy links = LinkPolicy::Refuse, bool ownerOnly = false);

// The bilingual notice for a file that is refused: "無法寫入 <path>: <why>".
FileResult refusedFile(const QString &path, const QString &why);

} // namespace kelmar
