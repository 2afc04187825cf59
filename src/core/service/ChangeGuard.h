#pragma once

#include "core/model/Models.h"

#include <QCoroTask>
#include <QString>

#include <memory>
#include <optional>

namespace halvora {

// A change about to be made, stored before anything changes so that a run killed halfway
// still leaves its record behind.
struct ChangeIntent {
    enum class Kind { apply, undo };
    Kind kind = Kind::apply;
    // apply: the record the change will store, its status not yet known;
    // undo: the record being undone.
    AssociationChangeRecord record;
};

// One change from reading the system's lists to storing its record. While a session
// exists no other change runs, in this process or another. Destroying it ends the change.
class ChangeSession {
public:
    virtual ~ChangeSession() = default;

    // Blocking. The intent of a run that was killed during its change, if one is left.
    virtual std::optional<ChangeIntent> abandoned() = 0;
    // Blocking. Stores the intent durably; throws a LocalizedError when it cannot.
    virtual void begin(const ChangeIntent &intent) = 0;
    // Blocking. The record of the abandoned or begun intent is stored: the intent goes.
    virtual void finish() = 0;
};

// Serialises changes of defaults, keeps their intents and takes a second look at them.
class ChangeGuard {
public:
    virtual ~ChangeGuard() = default;

    // Waits, without blocking the calling thread on another task of this process, until no
    // other change runs; the session holds that until it is destroyed.
    virtual QCoro::Task<std::shared_ptr<ChangeSession>> enter() = 0;

    // Blocking and cheap, without the lock: false when certainly no killed run left an
    // intent, so that starting up needs neither the lock nor the state directory.
    virtual bool mayHaveAbandoned() const = 0;

    // Blocking. Absent when every other view of the system agrees that expected is the
    // type's default now; otherwise the message the record carries.
    virtual std::optional<QString> disagreement(const QString &contentTypeIdentifier,
                                                const AssociatedApp &expected) const = 0;
};

// For systems where nothing else can change defaults: no lock, nothing kept, no second look.
std::shared_ptr<ChangeGuard> makeUnguardedChanges();

} // namespace halvora
