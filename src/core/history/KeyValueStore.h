#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace halvora {

// Reading and changing byte blobs under text keys.
class KeyValueAccess {
public:
    virtual ~KeyValueAccess() = default;

    // The blob under the key, or nothing when the key is absent.
    virtual std::optional<QByteArray> read(const QString &key) = 0;
    // Stores the blob under the key, replacing what was there.
    virtual void write(const QString &key, const QByteArray &value) = 0;
    // Removes the key; removing an absent key does nothing.
    virtual void remove(const QString &key) = 0;
};

// The per-user key-value store that keeps the change history across runs. Every operation
// may throw a LocalizedError subclass (KeyValueStoreError for storage faults); every
// implementation may be used from several threads at once.
class KeyValueStore : public KeyValueAccess {
public:
    // Runs body as one exclusive read-modify-write: while it runs, no other transaction of
    // this store, of another store object on the same data or of another process changes
    // the data. Its writes take effect together when body returns and not at all when it
    // throws (the exception is rethrown). Inside body use only the access it is given.
    virtual void transact(const std::function<void(KeyValueAccess &access)> &body) = 0;
};

} // namespace halvora
