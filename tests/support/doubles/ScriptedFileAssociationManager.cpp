#include "support/doubles/ScriptedFileAssociationManager.h"

#include "core/model/FileAssociationError.h"
#include "core/model/FileExtensionNormalizer.h"

#include <QtDebug>

#include <utility>

namespace halvora::test {

namespace {

constexpr qsizetype historyLimit = 50;

// Records get strictly increasing times so that the history order is predictable.
Timestamp nextRecordTime()
{
    static double seconds = 700'000'000.0;
    seconds += 1.0;
    return Timestamp(seconds);
}

FileAssociation withCurrentApp(const FileAssociation &association, std::optional<AssociatedApp> app)
{
    return FileAssociation(association.fileExtension(), association.contentTypeIdentifier(), std::move(app),
                           association.candidateApps());
}

} // namespace

ScriptedFileAssociationManager::~ScriptedFileAssociationManager()
{
    if (const int waiting = heldCount())
        qWarning("ScriptedFileAssociationManager: %d held calls were never released", waiting);
}

// --- answers -----------------------------------------------------------------------------

void ScriptedFileAssociationManager::setAssociation(FileAssociation association)
{
    for (auto &existing : registered_) {
        if (existing.fileExtension() == association.fileExtension()) {
            existing = association;
            return;
        }
    }
    extra_.insert(association.fileExtension(), std::move(association));
}

std::optional<FileAssociation> ScriptedFileAssociationManager::association(const QString &fileExtension) const
{
    for (const auto &existing : registered_) {
        if (existing.fileExtension() == fileExtension)
            return existing;
    }
    const auto found = extra_.constFind(fileExtension);
    if (found != extra_.constEnd())
        return *found;
    return std::nullopt;
}

void ScriptedFileAssociationManager::setDefaultForType(const QString &contentTypeIdentifier,
                                                       const std::optional<AssociatedApp> &app)
{
    for (auto &existing : registered_) {
        if (existing.contentTypeIdentifier() == contentTypeIdentifier)
            existing = withCurrentApp(existing, app);
    }
    for (auto &existing : extra_) {
        if (existing.contentTypeIdentifier() == contentTypeIdentifier)
            existing = withCurrentApp(existing, app);
    }
}

void ScriptedFileAssociationManager::rethrowIfSet(const std::exception_ptr &failure)
{
    if (failure)
        std::rethrow_exception(failure);
}

// --- holding ------------------------------------------------------------------------------

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
    for (bool any = true; any;) {
        any = false;
        for (auto operation : {Operation::loadRegisteredAssociations, Operation::loadAssociation,
                               Operation::applyDefaultApplication, Operation::undoChange}) {
            while (releaseNext(operation))
                any = true;
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

// --- what was asked -------------------------------------------------------------------------

int ScriptedFileAssociationManager::callCount(Operation operation) const
{
    int count = 0;
    for (const auto &call : calls_)
        count += call.operation == operation ? 1 : 0;
    return count;
}

// --- the interface ----------------------------------------------------------------------------

FileAssociation ScriptedFileAssociationManager::answer(const QString &normalizedExtension) const
{
    rethrowIfSet(loadFailures_.value(normalizedExtension));
    auto found = association(normalizedExtension);
    if (!found)
        throw FileAssociationError::contentTypeUnavailable(normalizedExtension);
    return *found;
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
    co_return answer(FileExtensionNormalizer::normalize(extension));
}

QCoro::Task<AssociationChangeRecord>
ScriptedFileAssociationManager::applyDefaultApplication(AssociatedApp app, FileAssociation association)
{
    const QString extension = association.fileExtension();
    co_await enter(Operation::applyDefaultApplication, extension);
    rethrowIfSet(applyFailures_.value(extension));

    const Outcome outcome =
        applyOutcomes_.value(extension, Outcome{AssociationVerificationStatus::verified, {}});
    AssociationChangeRecord record(newRecordIdentifier(), extension, association.contentTypeIdentifier(),
                                   association.currentApp(), app, nextRecordTime(), outcome.status,
                                   outcome.message);
    if (!isFailure(outcome.status))
        setDefaultForType(association.contentTypeIdentifier(), app);
    if (recordingFailure_)
        std::rethrow_exception(recordingFailure_);
    history_.prepend(record);
    if (history_.size() > historyLimit)
        history_ = history_.first(historyLimit);
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
    if (recordingFailure_)
        std::rethrow_exception(recordingFailure_);
    for (auto &existing : history_) {
        if (existing.id() == record.id())
            existing = updated;
    }
    co_return updated;
}

} // namespace halvora::test
