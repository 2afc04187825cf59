#pragma once

#include "core/model/LocalizedError.h"

#include <QString>

namespace halvora {

// The one error type of the association logic; its description is what the user sees.
class FileAssociationError : public LocalizedError {
public:
    enum class Kind {
        invalidExtension,
        contentTypeUnavailable,
        appMissingBundleIdentifier,
        noPreviousApplication,
        systemFailure,
        noRecentChange,
    };

    static FileAssociationError invalidExtension(QString rejectedText);
    static FileAssociationError contentTypeUnavailable(QString extensionOrIdentifier);
    static FileAssociationError appMissingBundleIdentifier(QString path);
    static FileAssociationError noPreviousApplication(QString fileExtension);
    static FileAssociationError systemFailure(QString message);
    static FileAssociationError noRecentChange();

    Kind kind() const { return kind_; }
    // Empty for noRecentChange.
    const QString &payload() const { return payload_; }
    const QString &errorDescription() const { return localizedDescription(); }

    bool operator==(const FileAssociationError &other) const
    {
        return kind_ == other.kind_ && payload_ == other.payload_;
    }

    HALVORA_LOCALIZED_ERROR_CLONE(FileAssociationError)

private:
    FileAssociationError(Kind kind, QString payload);

    Kind kind_;
    QString payload_;
};

} // namespace halvora
