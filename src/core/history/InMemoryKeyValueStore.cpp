#include "core/history/InMemoryKeyValueStore.h"

namespace halvora {

namespace {

// Collects a transaction's writes so that they can be applied together or dropped.
class StagedAccess final : public KeyValueAccess {
public:
    explicit StagedAccess(const QHash<QString, QByteArray> &committed) : committed_(committed) {}

    std::optional<QByteArray> read(const QString &key) override
    {
        if (auto staged = staged_.constFind(key); staged != staged_.cend())
            return *staged;
        if (auto value = committed_.constFind(key); value != committed_.cend())
            return *value;
        return std::nullopt;
    }
    void write(const QString &key, const QByteArray &value) override { staged_.insert(key, value); }
    void remove(const QString &key) override { staged_.insert(key, std::nullopt); }

    void applyTo(QHash<QString, QByteArray> &values) const
    {
        for (auto change = staged_.cbegin(); change != staged_.cend(); ++change) {
            if (change.value())
                values.insert(change.key(), *change.value());
            else
                values.remove(change.key());
        }
    }

private:
    const QHash<QString, QByteArray> &committed_;
    QHash<QString, std::optional<QByteArray>> staged_;
};

} // namespace

std::optional<QByteArray> InMemoryKeyValueStore::read(const QString &key)
{
    std::lock_guard lock(mutex_);
    if (auto value = values_.constFind(key); value != values_.cend())
        return *value;
    return std::nullopt;
}

void InMemoryKeyValueStore::write(const QString &key, const QByteArray &value)
{
    std::lock_guard lock(mutex_);
    values_.insert(key, value);
}

void InMemoryKeyValueStore::remove(const QString &key)
{
    std::lock_guard lock(mutex_);
    values_.remove(key);
}

void InMemoryKeyValueStore::transact(const std::function<void(KeyValueAccess &access)> &body)
{
    std::lock_guard lock(mutex_);
    StagedAccess access(values_);
    body(access);
    access.applyTo(values_);
}

QHash<QString, QByteArray> InMemoryKeyValueStore::contents() const
{
    std::lock_guard lock(mutex_);
    return values_;
}

} // namespace halvora
