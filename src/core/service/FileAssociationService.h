#pragma once

#include "core/history/AssociationChangeHistoryStore.h"
#include "core/model/ExtensionCatalog.h"
#include "core/model/Models.h"
#include "core/model/Timestamp.h"
#include "core/service/ChangeGuard.h"
#include "core/service/FileAssociationManaging.h"
#include "core/system/FileAssociationSystemClient.h"

#include <QCoroTask>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace halvora {

// Loads associations through the system client, changes defaults, checks every change by
// asking the system again and records the outcome in the change history. Holds no mutable
// state: any number of operations may run at once.
class FileAssociationService : public FileAssociationManaging {
public:
    // The message of a change the system accepted but that a second look does not confirm.
    static inline const QString verificationMismatchMessage =
        QStringLiteral("시스템 API 호출은 완료됐지만 기본 앱 재확인 결과가 일치하지 않습니다.");

    FileAssociationService(std::unique_ptr<FileAssociationSystemClient> client,
                           std::shared_ptr<AssociationChangeHistoryStore> changeHistoryStore,
                           ExtensionCatalog extensionCatalog,
                           std::function<Timestamp()> clock = Timestamp::now,
                           std::shared_ptr<ChangeGuard> changeGuard = makeUnguardedChanges());

    QCoro::Task<QList<FileAssociation>> loadRegisteredAssociations() override;
    QCoro::Task<FileAssociation> loadAssociation(QString extension) override;
    QCoro::Task<AssociationChangeRecord> applyDefaultApplication(AssociatedApp app,
                                                                 FileAssociation association) override;
    QList<AssociationChangeRecord> loadChangeHistory() override;
    QCoro::Task<AssociationChangeRecord> undoChange(AssociationChangeRecord record) override;

    // Stores the record of a change that a killed run left unrecorded, with the status the
    // system now confirms, and returns it; nothing when no change was left. Every change
    // does this first too.
    QCoro::Task<std::optional<AssociationChangeRecord>> recoverInterruptedChange();

private:
    // The blocking halves of the operations, run on the pool.
    QList<FileAssociation> loadAllBlocking() const;
    FileAssociation loadOneBlocking(const QString &extension) const;
    AssociationChangeRecord recordApplyBlocking(const AssociationChangeRecord &planned,
                                                const std::optional<QString> &requestFailure,
                                                const std::shared_ptr<ChangeSession> &session) const;
    AssociationChangeRecord recordUndoBlocking(const AssociationChangeRecord &record,
                                               const std::optional<QString> &requestFailure,
                                               const std::shared_ptr<ChangeSession> &session) const;
    // Settles what a killed run left, then stores this change's intent.
    std::optional<AssociationChangeRecord> openBlocking(const std::shared_ptr<ChangeSession> &session,
                                                        const std::optional<ChangeIntent> &intent) const;

    // The client's failure description, or nothing when the request succeeded.
    QCoro::Task<std::optional<QString>> requestDefault(AssociatedApp app,
                                                       QString contentTypeIdentifier) const;
    struct Outcome {
        AssociationVerificationStatus status;
        std::optional<QString> message;
    };
    // Blocking. A refused request keeps its description; an accepted one is confirmed when the
    // system now reports an application with the expected identifier for the extension.
    Outcome outcome(const std::optional<QString> &requestFailure, const AssociationChangeRecord &record,
                    const AssociatedApp &expected, AssociationVerificationStatus refused,
                    AssociationVerificationStatus confirmed, AssociationVerificationStatus unconfirmed) const;

    std::unique_ptr<const FileAssociationSystemClient> client_;
    std::shared_ptr<AssociationChangeHistoryStore> changeHistoryStore_;
    ExtensionCatalog extensionCatalog_;
    std::function<Timestamp()> clock_;
    std::shared_ptr<ChangeGuard> changeGuard_;
};

} // namespace halvora
