#include "core/service/FileAssociationService.h"

#include "core/model/FileAssociationError.h"
#include "core/model/FileExtensionNormalizer.h"
#include "core/model/LocalizedError.h"

#include <QCoroFuture>
#include <QSet>
#include <QtConcurrent/QtConcurrentRun>

#include <exception>
#include <utility>

namespace halvora {

FileAssociationService::FileAssociationService(
    std::unique_ptr<FileAssociationSystemClient> client,
    std::shared_ptr<AssociationChangeHistoryStore> changeHistoryStore, ExtensionCatalog extensionCatalog,
    std::function<Timestamp()> clock, std::shared_ptr<ChangeGuard> changeGuard)
    : client_(std::move(client)), changeHistoryStore_(std::move(changeHistoryStore)),
      extensionCatalog_(std::move(extensionCatalog)), clock_(std::move(clock)),
      changeGuard_(changeGuard ? std::move(changeGuard) : makeUnguardedChanges())
{}

// Each coroutine hands its blocking half to the pool as a member function with copied
// arguments and keeps every awaited object in a named variable: g++ 12 mishandles lambdas
// and temporaries that live inside a co_await expression.

QCoro::Task<QList<FileAssociation>> FileAssociationService::loadRegisteredAssociations()
{
    QFuture<QList<FileAssociation>> work = QtConcurrent::run(&FileAssociationService::loadAllBlocking, this);
    co_return co_await work;
}

QCoro::Task<FileAssociation> FileAssociationService::loadAssociation(QString extension)
{
    QFuture<FileAssociation> work =
        QtConcurrent::run(&FileAssociationService::loadOneBlocking, this, extension);
    co_return co_await work;
}

QCoro::Task<AssociationChangeRecord>
FileAssociationService::applyDefaultApplication(AssociatedApp app, FileAssociation association)
{
    // Taken before the request so that the record says when the user asked for the change.
    const Timestamp changedAt = clock_();
    // The record exists before the change, as the intent that a killed run leaves behind.
    const AssociationChangeRecord planned(newRecordIdentifier(), association.fileExtension(),
                                          association.contentTypeIdentifier(), association.currentApp(), app,
                                          changedAt, AssociationVerificationStatus::apiFailed, std::nullopt);
    QCoro::Task<std::shared_ptr<ChangeSession>> entering = changeGuard_->enter();
    const std::shared_ptr<ChangeSession> session = co_await entering;
    QFuture<std::optional<AssociationChangeRecord>> opening =
        QtConcurrent::run(&FileAssociationService::openBlocking, this, session,
                          std::optional<ChangeIntent>(ChangeIntent{ChangeIntent::Kind::apply, planned}));
    co_await opening;

    QCoro::Task<std::optional<QString>> request = requestDefault(app, association.contentTypeIdentifier());
    const std::optional<QString> requestFailure = co_await request;

    QFuture<AssociationChangeRecord> work = QtConcurrent::run(&FileAssociationService::recordApplyBlocking,
                                                              this, planned, requestFailure, session);
    co_return co_await work;
}

QList<AssociationChangeRecord> FileAssociationService::loadChangeHistory()
{
    return changeHistoryStore_->loadHistory();
}

QCoro::Task<AssociationChangeRecord> FileAssociationService::undoChange(AssociationChangeRecord record)
{
    if (!record.previousApp())
        throw FileAssociationError::noPreviousApplication(record.fileExtension());

    QCoro::Task<std::shared_ptr<ChangeSession>> entering = changeGuard_->enter();
    const std::shared_ptr<ChangeSession> session = co_await entering;
    QFuture<std::optional<AssociationChangeRecord>> opening =
        QtConcurrent::run(&FileAssociationService::openBlocking, this, session,
                          std::optional<ChangeIntent>(ChangeIntent{ChangeIntent::Kind::undo, record}));
    co_await opening;

    QCoro::Task<std::optional<QString>> request =
        requestDefault(*record.previousApp(), record.contentTypeIdentifier());
    const std::optional<QString> requestFailure = co_await request;

    QFuture<AssociationChangeRecord> work =
        QtConcurrent::run(&FileAssociationService::recordUndoBlocking, this, record, requestFailure, session);
    co_return co_await work;
}

QCoro::Task<std::optional<AssociationChangeRecord>> FileAssociationService::recoverInterruptedChange()
{
    QFuture<bool> looking = QtConcurrent::run(&ChangeGuard::mayHaveAbandoned, changeGuard_.get());
    if (!co_await looking)
        co_return std::nullopt;
    QCoro::Task<std::shared_ptr<ChangeSession>> entering = changeGuard_->enter();
    const std::shared_ptr<ChangeSession> session = co_await entering;
    QFuture<std::optional<AssociationChangeRecord>> settling = QtConcurrent::run(
        &FileAssociationService::openBlocking, this, session, std::optional<ChangeIntent>());
    co_return co_await settling;
}

std::optional<AssociationChangeRecord>
FileAssociationService::openBlocking(const std::shared_ptr<ChangeSession> &session,
                                     const std::optional<ChangeIntent> &intent) const
{
    // A change whose record could not be stored is not made: a history that cannot be read
    // fails here, before anything changes.
    if (intent)
        changeHistoryStore_->loadHistory();
    std::optional<AssociationChangeRecord> settled;
    if (const std::optional<ChangeIntent> left = session->abandoned()) {
        // The killed run may have changed the lists or not, and may have stored its record
        // or not: what the system says now is its true outcome, stored under its own id.
        const AssociationChangeRecord &record = left->record;
        if (left->kind == ChangeIntent::Kind::apply) {
            const auto [status, message] = outcome(
                std::nullopt, record, record.replacementApp(), AssociationVerificationStatus::apiFailed,
                AssociationVerificationStatus::verified, AssociationVerificationStatus::verificationFailed);
            settled = record.updating(status, message);
            changeHistoryStore_->save(*settled);
        } else if (record.previousApp()) {
            const auto [status, message] = outcome(
                std::nullopt, record, *record.previousApp(), AssociationVerificationStatus::undoFailed,
                AssociationVerificationStatus::undoVerified, AssociationVerificationStatus::undoFailed);
            settled = record.updating(status, message);
            changeHistoryStore_->update(*settled);
        }
        session->finish();
    }
    if (intent)
        session->begin(*intent);
    return settled;
}

QCoro::Task<std::optional<QString>>
FileAssociationService::requestDefault(AssociatedApp app, QString contentTypeIdentifier) const
{
    try {
        QCoro::Task<void> request = client_->setDefaultApplication(app, contentTypeIdentifier);
        co_await request;
    } catch (...) {
        // A refused change is an outcome to record, not a failure of the operation.
        co_return localizedDescription(std::current_exception());
    }
    co_return std::nullopt;
}

QList<FileAssociation> FileAssociationService::loadAllBlocking() const
{
    const QList<RegisteredContentType> registered = client_->loadRegisteredContentTypes();

    QSet<QString> seen;
    QList<FileAssociation> loaded;
    const auto load = [&](const QString &extension) {
        if (seen.contains(extension))
            return;
        seen.insert(extension);
        try {
            loaded.append(client_->loadAssociation(extension));
        } catch (...) {
            // One extension the system cannot describe must not hide all the others.
        }
    };
    client_->inOneReading([&] {
        for (const QString &extension : extensionCatalog_.commonExtensions())
            load(extension);
        for (const RegisteredContentType &type : registered)
            load(type.fileExtension());
    });
    return extensionCatalog_.sort(loaded);
}

FileAssociation FileAssociationService::loadOneBlocking(const QString &extension) const
{
    return client_->loadAssociation(FileExtensionNormalizer::normalize(extension));
}

AssociationChangeRecord
FileAssociationService::recordApplyBlocking(const AssociationChangeRecord &planned,
                                            const std::optional<QString> &requestFailure,
                                            const std::shared_ptr<ChangeSession> &session) const
{
    const auto [status, message] =
        outcome(requestFailure, planned, planned.replacementApp(), AssociationVerificationStatus::apiFailed,
                AssociationVerificationStatus::verified, AssociationVerificationStatus::verificationFailed);
    const AssociationChangeRecord record = planned.updating(status, message);
    changeHistoryStore_->save(record);
    // Only once the record is stored: a failed save leaves the intent for the next run.
    session->finish();
    return record;
}

AssociationChangeRecord
FileAssociationService::recordUndoBlocking(const AssociationChangeRecord &record,
                                           const std::optional<QString> &requestFailure,
                                           const std::shared_ptr<ChangeSession> &session) const
{
    const auto [status, message] =
        outcome(requestFailure, record, *record.previousApp(), AssociationVerificationStatus::undoFailed,
                AssociationVerificationStatus::undoVerified, AssociationVerificationStatus::undoFailed);
    // Same id and time: the entry of the original change now tells how its undo went.
    const AssociationChangeRecord updated = record.updating(status, message);
    changeHistoryStore_->update(updated);
    session->finish();
    return updated;
}

FileAssociationService::Outcome FileAssociationService::outcome(
    const std::optional<QString> &requestFailure, const AssociationChangeRecord &record,
    const AssociatedApp &expected, AssociationVerificationStatus refused,
    AssociationVerificationStatus confirmed, AssociationVerificationStatus unconfirmed) const
{
    if (requestFailure)
        return {refused, requestFailure};
    bool reloadConfirms = false;
    try {
        const FileAssociation reloaded = client_->loadAssociation(record.fileExtension());
        // Another copy of the same application elsewhere on disk still counts as confirmed.
        reloadConfirms =
            reloaded.currentApp() && reloaded.currentApp()->bundleIdentifier() == expected.bundleIdentifier();
    } catch (...) {
        // A reload that fails proves nothing; the change stays unconfirmed.
    }
    // The guard's own look can say why a change does not hold (who else decides).
    if (std::optional<QString> disagreement =
            changeGuard_->disagreement(record.contentTypeIdentifier(), expected))
        return {unconfirmed, std::move(disagreement)};
    if (reloadConfirms)
        return {confirmed, std::nullopt};
    return {unconfirmed, verificationMismatchMessage};
}

} // namespace halvora
