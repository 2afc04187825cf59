#pragma once

#include "core/history/KeyValueStore.h"

#include <QHash>

#include <mutex>

namespace halvora {

// A key-value store held in memory for the life of the object; it never fails. Stands in
// for the per-user store in tests and benchmarks of the layers above.
class InMemoryKeyValueStore final : public KeyValueStore {
public:
    std::optional<QByteArray> read(const QString &key) override;
    void write(const QString &key, const QByteArray &value) override;
    void remove(const QString &key) override;
    void transact(const std::function<void(KeyValueAccess &access)> &body) override;

    // Every key with its blob, for checking what was stored.
    QHash<QString, QByteArray> contents() const;

private:
    mutable std::mutex mutex_;
    QHash<QString, QByteArray> values_;
};

} // namespace halvora
