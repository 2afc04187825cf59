#pragma once

#include "core/history/KeyValueStore.h"

#include <QString>

#include <chrono>
#include <memory>
#include <mutex>

namespace halvora {

// The per-user key-value store: one SQLite database with one table of key to blob.
//
// The file is opened on first use, not by the constructor, and created (with its folder)
// only by the first write: a read with no file answers that nothing is stored. It is opened again on the next
// use after a failure, so a fault shows up where the history is read or written and is
// reported as KeyValueStoreError. A file that is not a database is left untouched.
// The journal is a write-ahead log synced in full on every commit, so a change that
// returned survives a crash or a power cut. Transactions take the database's write lock
// first (other processes wait up to the busy timeout) and are serialised within one store
// object by a mutex. Store objects on one file may live in many threads and processes.
class SqliteKeyValueStore final : public KeyValueStore {
public:
    static constexpr std::chrono::milliseconds defaultBusyTimeout{5000};

    // $XDG_STATE_HOME/halvora/defaults.sqlite3; ~/.local/state/halvora/defaults.sqlite3 when
    // XDG_STATE_HOME is unset, empty or not an absolute path.
    static QString defaultFilePath();

    SqliteKeyValueStore();
    explicit SqliteKeyValueStore(QString filePath,
                                 std::chrono::milliseconds busyTimeout = defaultBusyTimeout);
    ~SqliteKeyValueStore() override;

    SqliteKeyValueStore(const SqliteKeyValueStore &) = delete;
    SqliteKeyValueStore &operator=(const SqliteKeyValueStore &) = delete;

    const QString &filePath() const { return filePath_; }

    std::optional<QByteArray> read(const QString &key) override;
    void write(const QString &key, const QByteArray &value) override;
    void remove(const QString &key) override;
    void transact(const std::function<void(KeyValueAccess &access)> &body) override;

private:
    class Connection;

    // Caller holds mutex_.
    Connection &connection();

    QString filePath_;
    std::chrono::milliseconds busyTimeout_;
    std::mutex mutex_;
    std::unique_ptr<Connection> connection_;
};

} // namespace halvora
