#include "core/service/Takeovers.h"

#include <QSet>

namespace halvora {

std::optional<AssociatedApp> confirmedApp(const AssociationChangeRecord &record)
{
    switch (record.verificationStatus()) {
    case AssociationVerificationStatus::verified:
        return record.replacementApp();
    case AssociationVerificationStatus::undoVerified:
        return record.previousApp();
    case AssociationVerificationStatus::apiFailed:
    case AssociationVerificationStatus::verificationFailed:
    case AssociationVerificationStatus::undoFailed:
        break;
    }
    return std::nullopt;
}

std::optional<Takeover> takeoverOf(const FileAssociation &association,
                                   const QList<AssociationChangeRecord> &history)
{
    for (const AssociationChangeRecord &record : history) {
        if (record.fileExtension() != association.fileExtension() &&
            record.contentTypeIdentifier() != association.contentTypeIdentifier())
            continue;
        // Only the newest record counts: a failed or unconfirmed one means the user's last
        // word was never in force, and a later change of another extension of the same type
        // is the user's own.
        const std::optional<AssociatedApp> chosen = confirmedApp(record);
        if (!chosen)
            return std::nullopt;
        const std::optional<AssociatedApp> &current = association.currentApp();
        if (current && current->bundleIdentifier() == chosen->bundleIdentifier())
            return std::nullopt;
        AssociatedApp proposed = *chosen;
        for (const AssociatedApp &candidate : association.candidateApps()) {
            if (candidate.bundleIdentifier() == chosen->bundleIdentifier()) {
                proposed = candidate;
                break;
            }
        }
        std::optional<QString> decidedBy;
        if (association.origin())
            decidedBy = association.origin()->summary;
        return Takeover{association, record, proposed, decidedBy};
    }
    return std::nullopt;
}

QList<Takeover> takeovers(const QList<FileAssociation> &associations,
                          const QList<AssociationChangeRecord> &history)
{
    QList<Takeover> found;
    for (const FileAssociation &association : associations) {
        if (auto takeover = takeoverOf(association, history))
            found.append(std::move(*takeover));
    }
    return found;
}

QStringList recordedExtensions(const QList<AssociationChangeRecord> &history)
{
    QStringList extensions;
    QSet<QString> seen;
    for (const AssociationChangeRecord &record : history) {
        if (!seen.contains(record.fileExtension())) {
            seen.insert(record.fileExtension());
            extensions.append(record.fileExtension());
        }
    }
    return extensions;
}

} // namespace halvora
