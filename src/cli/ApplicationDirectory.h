#pragma once

#include "core/model/Models.h"

#include <QString>

#include <optional>

namespace halvora::cli {

// Finds the applications a user names on the command line.
class ApplicationDirectory {
public:
    virtual ~ApplicationDirectory() = default;

    // The installed application with this desktop-file ID, if there is one.
    virtual std::optional<AssociatedApp> applicationWithId(const QString &desktopFileId) const = 0;
    // Describes the desktop entry at an absolute path; throws FileAssociationError
    // (appMissingBundleIdentifier) when it cannot be used as an application.
    virtual AssociatedApp applicationAt(const QString &absolutePath) const = 0;
};

struct ResolvedApplication {
    AssociatedApp app;
    // Named by its file rather than its ID: treated like an application picked on disk.
    bool pickedFromDisk;
};

// An argument with a "/" is the path of a desktop entry (relative to the working
// directory); anything else is a desktop-file ID, ".desktop" added when missing. Unknown
// applications and unusable files are bad input (CliError).
ResolvedApplication resolveApplication(const ApplicationDirectory &directory, const QString &argument);

} // namespace halvora::cli
