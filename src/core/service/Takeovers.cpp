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
        if (record.fileExtension() != association.fileExtension())
            continue;
        // Only the newest record counts: a failed or unconfirmed one means the user's last
        // word was never in force.
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
        return Takeover{association, record, proposed, std::nullopt};
    }
    return std::nullopt;
}

QList<Takeover> takeovers(const QList<FileAssociation> &associations,
                          const QList<AssociationChangeRecord> &history)
{
    const QList<AssociationChangeRecord> latest = latestRecordPerExtension(history);
    QList<Takeover> found;
    for (const FileAssociation &association : associations) {
        if (auto takeover = takeoverOf(association, latest))
            found.append(std::move(*takeover));
    }
    return found;
}

QList<AssociationChangeRecord> latestRecordPerExtension(const QList<AssociationChangeRecord> &history)
{
    QList<AssociationChangeRecord> latest;
    QSet<QString> seen;
    for (const AssociationChangeRecord &record : history) {
        if (!seen.contains(record.fileExtension())) {
            seen.insert(record.fileExtension());
            latest.append(record);
        }
    }
    return latest;
}

} // namespace halvora
