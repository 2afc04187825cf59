#pragma once

#include "core/history/KeyValueStore.h"
#include "core/service/ChangeGuard.h"

#include <QJsonArray>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace halvora::mimeapps {

// The change this process is making right now, as the list writer sees it. There is at
// most one: changes of all Halvora processes take turns.
class ActiveChange {
public:
    virtual ~ActiveChange() = default;

    // Absent when no change runs in this process.
    static std::shared_ptr<ActiveChange> current();

    // The intent begun in this session, if any.
    virtual std::optional<ChangeIntent> intent() const = 0;
    // Blocking. Adds to the intent, durably, what the lists held before they change.
    virtual void recordLists(const QJsonArray &lists) = 0;
    // Blocking. What the change with that record id kept about the lists it changed.
    virtual std::optional<QJsonArray> listsChangedBy(const QString &recordId) const = 0;
};

// The change guard of the desktop: an advisory lock (flock) on change.lock in the state
// directory, shared by every Halvora process, and the intent of the change under intentKey
// of the key-value store. What a change's lists held before is kept under listImagesKey,
// for undo, written in the same transaction as the intent.
class JournaledChangeGuard final : public ChangeGuard {
public:
    using Disagreement =
        std::function<std::optional<QString>(const QString &contentType, const AssociatedApp &)>;

    static inline const QString intentKey = QStringLiteral("associationChangeIntent");
    static inline const QString listImagesKey = QStringLiteral("associationChangeListImages");
    // At most this many changes keep their images; older ones are undone by setting the app.
    static constexpr int maxListImages = 100;

    JournaledChangeGuard(QString stateDirectory, std::shared_ptr<KeyValueStore> store,
                         Disagreement disagreement);

    // $XDG_STATE_HOME/halvora, by default ~/.local/state/halvora.
    static QString defaultStateDirectory();

    QCoro::Task<std::shared_ptr<ChangeSession>> enter() override;
    bool mayHaveAbandoned() const override;
    std::optional<QString> disagreement(const QString &contentTypeIdentifier,
                                        const AssociatedApp &expected) const override;

    QString lockPath() const;

private:
    std::shared_ptr<ChangeSession> lockBlocking() const;

    QString stateDirectory_;
    std::shared_ptr<KeyValueStore> store_;
    Disagreement disagreement_;
};

// Blocking: holds the lock file's flock while it exists; creates its directory as needed.
class ChangeLock {
public:
    explicit ChangeLock(const QString &path);
    ~ChangeLock();
    ChangeLock(const ChangeLock &) = delete;
    ChangeLock &operator=(const ChangeLock &) = delete;

private:
    int fd_ = -1;
};

} // namespace halvora::mimeapps
