#pragma once

#include "core/model/LocalizedError.h"

#include <QByteArray>
#include <QMap>
#include <QString>

namespace halvora::cli {

// A profile that cannot be read or written; its description names the file or entry.
class ProfileError : public LocalizedError {
public:
    enum class Problem {
        fileNotFound,
        unreadable,
        tooLarge,
        notJson,
        notAProfile,
        unsupportedVersion,
        invalidExtension,
        invalidApplication,
        duplicateExtension,
        sharedContentType,
        notARegularFile,
        writeFailed,
    };

    ProfileError(Problem problem, QString description);

    Problem problem() const { return problem_; }

    HALVORA_LOCALIZED_ERROR_CLONE(ProfileError)

private:
    Problem problem_;
};

// The defaults a user carries to another machine: normalised extension -> desktop-file ID.
// On disk a small JSON object {"format": "halvora-profile", "version": 1, "defaults": {...}};
// readers ignore keys they do not know, so later versions can add some.
struct AssociationProfile {
    static constexpr int currentVersion = 1;
    static constexpr qsizetype maxFileSize = 8 * 1024 * 1024;

    QMap<QString, QString> defaults;

    bool operator==(const AssociationProfile &) const = default;
};

// A desktop-file ID as mimeapps.list names applications: ends in ".desktop", no "/".
bool isValidDesktopFileId(const QString &id);

// Throws ProfileError. Keys are normalised like typed extensions; two keys that normalise
// to the same extension must name the same application.
AssociationProfile parseProfile(const QByteArray &json);
AssociationProfile readProfileFile(const QString &path);

QByteArray serializeProfile(const AssociationProfile &profile);
// Replaces the file as a whole (written beside it, then renamed), through a symlink to its
// target; refuses anything at the path that is not a regular file. Throws ProfileError.
void writeProfileFile(const QString &path, const AssociationProfile &profile);

} // namespace halvora::cli
