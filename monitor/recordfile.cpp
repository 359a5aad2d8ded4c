#include "recordfile.h"

#include "recordformat.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace kelmar {

FileResult ensureRecordFolder(const QString &folderText)
{
    if (folderText.isEmpty())
        return {};
    const QFileInfo info(folderText);
    if (info.exists())
        return {};
    if (!QDir().mkdir(folderText)) {
        const QString why =
            QFileInfo(info.absolutePath()).exists()
                ? QCoreApplication::translate("kelmar::RecordFile", "權限不足 (not allowed)")
                : QCoreApplication::translate("kelmar::RecordFile",
                                              "上層資料夾不存在 (its parent is missing)");
        return {false,
                QCoreApplication::translate(
                    "kelmar::RecordFile", "無法建立記錄資料夾 (cannot create record folder) %1: %2")
                    .arg(QDir::toNativeSeparators(folderText), why)};
    }
    return {};
}

// The record folder is often one every user may write (/var/tmp), and the
// file names are easy to guess: a link planted under the next file's name
// must not take the records anywhere else, and a pipe, a device or a folder
// in the file's place is not written. safefile refuses all of them.

FileResult createRecordFile(const QString &path)
{
    return appendToFile(path, QByteArray(), false);
}

FileResult appendRecordLine(const QString &path, const QString &line)
{
    // Forced to the disk line by line: a power cut must not take the last
    // minutes of records with it.
    return appendToFile(path, encodeRecordLine(line));
}

} // namespace kelmar
