#pragma once

#include "core/model/Models.h"
#include "core/service/FileAssociationManaging.h"

#include <QCoroTask>
#include <QHash>
#include <QList>
#include <QString>

#include <coroutine>
#include <deque>
#include <exception>
#include <memory>
#include <optional>

namespace halvora::test {

// An association service whose answers, failures and timing a test scripts. Unscripted it
// behaves like a cooperative system: extensions are normalised (invalid text throws the
// normaliser's error), a change takes effect for every extension of its content type and is
// recorded as verified at the head of the history, an undo restores the previous app and
// marks its record undone in place.
//
// Holding: while an operation is held, each new call of it waits at its own gate until
// the test releases it; the answer is read at release, so a test may change answers or
// failures in between. Releasing resumes the waiting coroutine (and whatever awaits it)
// synchronously inside release(), so no event loop is needed. Unheld calls finish before
// they return. Main thread only.
class ScriptedFileAssociationManager : public FileAssociationManaging {
public:
    enum class Operation { loadRegisteredAssociations, loadAssociation, applyDefaultApplication, undoChange };

    struct Call {
        Operation operation;
        // The extension as passed (load, apply) or the record id (undo); empty otherwise.
        QString argument;
        bool operator==(const Call &) const = default;
    };

    ScriptedFileAssociationManager() = default;
    // Warns when held calls were never released: their coroutines would leak.
    ~ScriptedFileAssociationManager() override;

    // --- answers ---------------------------------------------------------------------
    // What loadRegisteredAssociations returns; each also answers loadAssociation.
    void setRegisteredAssociations(QList<FileAssociation> associations)
    {
        registered_ = std::move(associations);
    }
    // Answers loadAssociation for its extension without listing it as registered.
    void setAssociation(FileAssociation association);
    std::optional<FileAssociation> association(const QString &fileExtension) const;
    void setHistory(QList<AssociationChangeRecord> history) { history_ = std::move(history); }
    // Outcome of later applies (or undos) for one extension; a failure status leaves the
    // association unchanged. A message of none records no message.
    void setApplyOutcome(const QString &fileExtension, AssociationVerificationStatus status,
                         std::optional<QString> message = std::nullopt)
    {
        applyOutcomes_.insert(fileExtension, Outcome{status, std::move(message)});
    }
    void setUndoOutcome(const QString &fileExtension, AssociationVerificationStatus status,
                        std::optional<QString> message = std::nullopt)
    {
        undoOutcomes_.insert(fileExtension, Outcome{status, std::move(message)});
    }

    // --- failures (a null pointer clears); use std::make_exception_ptr(error) ---------
    void failRegisteredAssociations(std::exception_ptr failure) { registeredFailure_ = std::move(failure); }
    void failLoadAssociation(const QString &fileExtension, std::exception_ptr failure)
    {
        loadFailures_.insert(fileExtension, std::move(failure));
    }
    void failChangeHistory(std::exception_ptr failure) { historyFailure_ = std::move(failure); }
    void failApply(const QString &fileExtension, std::exception_ptr failure)
    {
        applyFailures_.insert(fileExtension, std::move(failure));
    }
    // Changes and undos still take effect but are not recorded: they throw this failure.
    void failRecording(std::exception_ptr failure) { recordingFailure_ = std::move(failure); }

    // --- holding ---------------------------------------------------------------------
    void hold(Operation operation) { holding_.insert(operation, true); }
    int heldCount(Operation operation) const { return int(held_.value(operation).size()); }
    int heldCount() const;
    // Releases the oldest (or newest) waiting call of the operation; false when none waits.
    bool releaseNext(Operation operation) { return release(operation, false); }
    bool releaseLatest(Operation operation) { return release(operation, true); }
    // Stops holding everything and releases every waiting call, oldest first.
    void releaseAll();

    // --- what was asked --------------------------------------------------------------
    const QList<Call> &calls() const { return calls_; }
    int callCount(Operation operation) const;
    void clearCalls() { calls_.clear(); }

    // --- the interface ---------------------------------------------------------------
    QCoro::Task<QList<FileAssociation>> loadRegisteredAssociations() override;
    QCoro::Task<FileAssociation> loadAssociation(QString extension) override;
    QCoro::Task<AssociationChangeRecord> applyDefaultApplication(AssociatedApp app,
                                                                 FileAssociation association) override;
    QList<AssociationChangeRecord> loadChangeHistory() override;
    QCoro::Task<AssociationChangeRecord> undoChange(AssociationChangeRecord record) override;

private:
    struct Gate {
        bool released = false;
        std::coroutine_handle<> waiter;
    };
    struct GateAwaiter {
        std::shared_ptr<Gate> gate;
        bool await_ready() const noexcept { return !gate || gate->released; }
        void await_suspend(std::coroutine_handle<> handle) noexcept { gate->waiter = handle; }
        void await_resume() const noexcept {}
    };
    struct Outcome {
        AssociationVerificationStatus status;
        std::optional<QString> message;
    };

    GateAwaiter enter(Operation operation, QString argument);
    bool release(Operation operation, bool newest);
    FileAssociation answer(const QString &normalizedExtension) const;
    void setDefaultForType(const QString &contentTypeIdentifier, const std::optional<AssociatedApp> &app);
    static void rethrowIfSet(const std::exception_ptr &failure);

    QList<FileAssociation> registered_;
    QHash<QString, FileAssociation> extra_;
    QList<AssociationChangeRecord> history_;
    QHash<QString, Outcome> applyOutcomes_;
    QHash<QString, Outcome> undoOutcomes_;

    std::exception_ptr registeredFailure_;
    QHash<QString, std::exception_ptr> loadFailures_;
    std::exception_ptr historyFailure_;
    std::exception_ptr recordingFailure_;
    QHash<QString, std::exception_ptr> applyFailures_;

    QHash<Operation, bool> holding_;
    QHash<Operation, std::deque<std::shared_ptr<Gate>>> held_;

    QList<Call> calls_;
};

inline size_t qHash(ScriptedFileAssociationManager::Operation operation, size_t seed = 0) noexcept
{
    return ::qHash(static_cast<int>(operation), seed);
}

} // namespace halvora::test
