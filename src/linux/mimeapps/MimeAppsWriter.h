#pragma once

#include "linux/mimeapps/MimeAppsResolver.h"

#include <QString>

#include <memory>
#include <optional>

namespace halvora::mimeapps {

// Changes the user's default application for a MIME type in the user's own lists, the way
// the desktop reads them: $XDG_CONFIG_HOME/mimeapps.list always, and each
// $XDG_CONFIG_HOME/$desktop-mimeapps.list of the session that names a default for the type,
// since that one is read first. Only the type's lines change (ListEditor); files are
// replaced atomically (DurableFile). Runs under the change lock: inside the process's active
// change when there is one (whose intent then records what the lists held before, and
// whose undo puts that back), under a lock of its own otherwise.
class MimeAppsWriter {
public:
    explicit MimeAppsWriter(std::shared_ptr<const MimeAppsResolver> resolver, QString lockPath = QString());

    // Blocking. Makes the application whose desktop entry is at desktopEntryPath the default
    // for type. Throws FileAssociationError::systemFailure with a Korean message naming the
    // file (and line) when the entry is not installed or a list cannot be parsed or written;
    // nothing is written then.
    void setDefault(const QString &desktopEntryPath, const QString &type) const;

    // Blocking. Absent when both this program's reading of the files and GIO, asked in a
    // separate process, name expectedId as the type's default; otherwise why not.
    std::optional<QString> disagreement(const QString &type, const QString &expectedId) const;

    // $XDG_CONFIG_HOME/mimeapps.list and the session's desktop-specific lists beside it.
    QString userList() const;
    QStringList desktopLists() const;

private:
    std::shared_ptr<const MimeAppsResolver> resolver_;
    QString lockPath_;
};

} // namespace halvora::mimeapps
