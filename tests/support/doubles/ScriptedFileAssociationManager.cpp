#include "support/doubles/ScriptedFileAssociationManager.h"

#include "core/model/FileAssociationError.h"
#include "core/model/FileExtensionNormalizer.h"

#include <algorithm>

namespace halvora::test {

namespace {

// Records get strictly increasing times so that the history order is predictable.
Timestamp nextRecordTime()
{
    static double seconds = 700'000'000.0;
    return Timestamp(seconds += 1.0);
}

void rethrowIfSet(const std::exception_ptr &failure)
{
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace

FileAssociation *ScriptedFileAssociationManager::find(const QString &extension)
{
    for (QList<FileAssociation> *list : {&registered_, &extra_}) {
        for (FileAssociation &existing : *list) {
            if (existing.fileExtension() == extension)
                return &existing;
        }
    }
    return nullptr;
}

void ScriptedFileAssociationManager::setAssociation(FileAssociation association)
{
    if (FileAssociation *existing = find(association.fileExtension()))
        *existing = std::move(association);
    else
        extra_.append(std::move(association));
}

void ScriptedFileAssociationManager::setDefaultForType(const QString &contentTypeIdentifier,
                                                       const std::optional<AssociatedApp> &app)
{
    for (QList<FileAssociation> *list : {&registered_, &extra_}) {
        for (FileAssociation &existing : *list) {
            if (existing.contentTypeIdentifier() == contentTypeIdentifier)
                existing = FileAssociation(existing.fileExtension(), contentTypeIdentifier, app,
                                           existing.candidateApps());
        }
    }
}

int ScriptedFileAssociationManager::heldCount() const
{
    int count = 0;
    for (const auto &gates : held_)
        count += int(gates.size());
    return count;
}

bool ScriptedFileAssociationManager::release(Operation operation, bool newest)
{
    auto &gates = held_[operation];
    if (gates.empty())
        return false;
    const std::shared_ptr<Gate> gate = newest ? gates.back() : gates.front();
    newest ? gates.pop_back() : gates.pop_front();
    gate->released = true;
    if (gate->waiter)
        gate->waiter.resume();
    return true;
}

void ScriptedFileAssociationManager::releaseAll()
{
    holding_.clear();
    // A released call may start new calls; they are not held any more, so this ends.
    while (heldCount() > 0) {
        for (auto operation : {Operation::loadRegisteredAssociations, Operation::loadAssociation,
                               Operation::applyDefaultApplication, Operation::undoChange})
            while (releaseNext(operation)) {
            }
    }
}

ScriptedFileAssociationManager::GateAwaiter ScriptedFileAssociationManager::enter(Operation operation,
                                                                                  QString argument)
{
    calls_.append(Call{operation, std::move(argument)});
    if (!holding_.value(operation))
        return GateAwaiter{};
    auto gate = std::make_shared<Gate>();
    held_[operation].push_back(gate);
    return GateAwaiter{gate};
}

int ScriptedFileAssociationManager::callCount(Operation operation) const
{
    return int(
        std::count_if(calls_.begin(), calls_.end(), [&](const Call &c) { return c.operation == operation; }));
}

QCoro::Task<QList<FileAssociation>> ScriptedFileAssociationManager::loadRegisteredAssociations()
{
    co_await enter(Operation::loadRegisteredAssociations, {});
    rethrowIfSet(registeredFailure_);
    // A copy: QCoro's co_return moves from any lvalue it is given, members included.
    co_return QList<FileAssociation>(registered_);
}

QCoro::Task<FileAssociation> ScriptedFileAssociationManager::loadAssociation(QString extension)
{
    co_await enter(Operation::loadAssociation, extension);
    const QString normalized = FileExtensionNormalizer::normalize(extension);
    rethrowIfSet(loadFailures_.value(normalized));
    const FileAssociation *found = find(normalized);
    if (!found)
        throw FileAssociationError::contentTypeUnavailable(normalized);
    co_return *found;
}

QCoro::Task<AssociationChangeRecord>
ScriptedFileAssociationManager::applyDefaultApplication(AssociatedApp app, FileAssociation association)
{
    const QString extension = association.fileExtension();
    co_await enter(Operation::applyDefaultApplication, extension);
    const Outcome outcome =
        applyOutcomes_.value(extension, Outcome{AssociationVerificationStatus::verified, {}});
    AssociationChangeRecord record(newRecordIdentifier(), extension, association.contentTypeIdentifier(),
                                   association.currentApp(), app, nextRecordTime(), outcome.status,
                                   outcome.message);
    if (!isFailure(outcome.status))
        setDefaultForType(association.contentTypeIdentifier(), app);
    rethrowIfSet(recordingFailure_);
    history_.prepend(record);
    co_return record;
}

QList<AssociationChangeRecord> ScriptedFileAssociationManager::loadChangeHistory()
{
    rethrowIfSet(historyFailure_);
    return history_;
}

QCoro::Task<AssociationChangeRecord>
ScriptedFileAssociationManager::undoChange(AssociationChangeRecord record)
{
    co_await enter(Operation::undoChange, record.id());
    if (!record.previousApp())
        throw FileAssociationError::noPreviousApplication(record.fileExtension());
    const Outcome outcome =
        undoOutcomes_.value(record.fileExtension(), Outcome{AssociationVerificationStatus::undoVerified, {}});
    const AssociationChangeRecord updated = record.updating(outcome.status, outcome.message);
    if (!isFailure(outcome.status))
        setDefaultForType(record.contentTypeIdentifier(), record.previousApp());
    rethrowIfSet(recordingFailure_);
    for (auto &existing : history_) {
        if (existing.id() == record.id())
            existing = updated;
    }
    co_return updated;
}

} // namespace halvora::test
