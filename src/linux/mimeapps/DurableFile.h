#pragma once

#include "core/model/LocalizedError.h"

#include <QByteArray>
#include <QString>

namespace halvora::mimeapps {

// A list file that cannot be read or replaced; the description names the file and says
// what happened, in Korean.
class ListFileError : public LocalizedError {
public:
    ListFileError(QString path, QString description);

    const QString &path() const { return path_; }

    HALVORA_LOCALIZED_ERROR_CLONE(ListFileError)

private:
    QString path_;
};

// A file as read before replacing it.
struct FileSnapshot {
    // The path as named, which may be a symbolic link.
    QString path;
    // Where the links lead: the file that is read and replaced.
    QString target;
    bool exists = false;
    QByteArray bytes;
    // Permission bits kept on replace; new files get 0600, as the desktop's own writer
    // gives them.
    unsigned mode = 0600;
};

// Reads a regular file, following links. Anything else there (a directory, FIFO, socket or
// device) is refused without being opened for reading in a way that could block; a missing
// file or dangling link reads as absent (exists false).
FileSnapshot readRegularFile(const QString &path);

// Replaces the snapshot's target with bytes, atomically and durably: a temporary file in the
// target's directory, written and synced, renamed over the target, the directory synced.
// Links stay links. Temporary files of earlier runs that were killed are removed first; on
// any failure nothing is left behind and the target is unchanged. Missing parent
// directories of a new file are created (0700).
void replaceDurably(const FileSnapshot &snapshot, const QByteArray &bytes);

// Removes the snapshot's target (a file this program created and now takes back).
void removeDurably(const FileSnapshot &snapshot);

// Removes what killed runs left of replacing path: this program's temporary files beside it.
void removeLeftovers(const QString &path);

// The name prefix of this program's temporary files beside fileName.
QString temporaryPrefix(const QString &fileName);

} // namespace halvora::mimeapps
