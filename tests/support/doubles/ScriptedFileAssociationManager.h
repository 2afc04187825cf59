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
// marks its record undone in place. Failures are set with std::make_exception_ptr and
// cleared with a null pointer.
//
// While an operation is held, each new call of it waits at its own gate; answers are read at
// release, and release resumes the waiting coroutine (and whatever awaits it) synchronously,
// so no event loop is needed. Unheld calls finish before they return. Main thread only.
class ScriptedFileAssociationManager : public FileAssociationManaging {
public:
    enum class Operation { loadRegisteredAssociations, loadAssociation, applyDefaultApplication, undoChange };
    struct Call {
        Operation operation;
        QString argument; // the extension as passed (load, apply) or the record id (undo)
        bool operator==(const Call &) const = default;
    };

    // Each registered association also answers loadAssociation.
    void setRegisteredAssociations(QList<FileAssociation> associations)
    {
        registered_ = std::move(associations);
    }
    // Answers loadAssociation for its extension (without registering it, unless it already is).
    void setAssociation(FileAssociation association);
    void setHistory(QList<AssociationChangeRecord> history) { history_ = std::move(history); }
    // Outcome of later applies (or undos) of one extension; a failure leaves the association as it was.
    void setApplyOutcome(const QString &extension, AssociationVerificationStatus status,
                         std::optional<QString> message = std::nullopt)
    {
        applyOutcomes_.insert(extension, Outcome{status, std::move(message)});
    }
    void setUndoOutcome(const QString &extension, AssociationVerificationStatus status,
                        std::optional<QString> message = std::nullopt)
    {
        undoOutcomes_.insert(extension, Outcome{status, std::move(message)});
    }

    void failRegisteredAssociations(std::exception_ptr failure) { registeredFailure_ = std::move(failure); }
    void failLoadAssociation(const QString &extension, std::exception_ptr failure)
    {
        loadFailures_.insert(extension, std::move(failure));
    }
    void failChangeHistory(std::exception_ptr failure) { historyFailure_ = std::move(failure); }
    // Changes and undos still take effect but are not recorded: they throw this failure.
    void failRecording(std::exception_ptr failure) { recordingFailure_ = std::move(failure); }

    void hold(Operation operation) { holding_.insert(operation, true); }
    int heldCount(Operation operation) const { return int(held_.value(operation).size()); }
    int heldCount() const;
    // Releases the oldest (or newest) waiting call of the operation; false when none waits.
    bool releaseNext(Operation operation) { return release(operation, false); }
    bool releaseLatest(Operation operation) { return release(operation, true); }
    // Stops holding everything and releases every waiting call, oldest first.
    void releaseAll();

    const QList<Call> &calls() const { return calls_; }
    int callCount(Operation operation) const;
    void clearCalls() { calls_.clear(); }

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
    FileAssociation *find(const QString &extension);
    void setDefaultForType(const QString &contentTypeIdentifier, const std::optional<AssociatedApp> &app);

    QList<FileAssociation> registered_;
    QList<FileAssociation> extra_;
    QList<AssociationChangeRecord> history_;
    QHash<QString, Outcome> applyOutcomes_, undoOutcomes_;
    std::exception_ptr registeredFailure_, historyFailure_, recordingFailure_;
    QHash<QString, std::exception_ptr> loadFailures_;
    QHash<Operation, bool> holding_;
    QHash<Operation, std::deque<std::shared_ptr<Gate>>> held_;
    QList<Call> calls_;
};

inline size_t qHash(ScriptedFileAssociationManager::Operation operation, size_t seed = 0) noexcept
{
    return ::qHash(static_cast<int>(operation), seed);
}

} // namespace halvora::test
