#include "core/history/UserDefaultsAssociationChangeHistoryStore.h"

#include "core/model/ExtensionCatalog.h"
#include "core/model/ModelJson.h"

#include <algorithm>

namespace halvora {

UserDefaultsAssociationChangeHistoryStore::UserDefaultsAssociationChangeHistoryStore(
    std::shared_ptr<KeyValueStore> userDefaults, QString historyKey, QString legacyRecentChangeKey,
    int maxRecords)
    : userDefaults_(std::move(userDefaults)), historyKey_(std::move(historyKey)),
      legacyRecentChangeKey_(std::move(legacyRecentChangeKey)), maxRecords_(std::max(maxRecords, 1))
{}

QList<AssociationChangeRecord> UserDefaultsAssociationChangeHistoryStore::loadHistory()
{
    // The common case reads one key and takes no write lock; only a pending migration
    // needs a transaction, which looks at both keys again.
    if (std::optional<QByteArray> stored = userDefaults_->read(historyKey_))
        return sortedInHistoryOrder(decodeJsonArray<AssociationChangeRecord>(*stored));
    if (!userDefaults_->read(legacyRecentChangeKey_))
        return {};
    QList<AssociationChangeRecord> history;
    userDefaults_->transact([&](KeyValueAccess &access) { history = loadHistory(access); });
    return history;
}

void UserDefaultsAssociationChangeHistoryStore::save(const AssociationChangeRecord &record)
{
    userDefaults_->transact([&](KeyValueAccess &access) {
        QList<AssociationChangeRecord> records = loadHistory(access);
        records.removeIf([&](const AssociationChangeRecord &stored) { return stored.id() == record.id(); });
        records.prepend(record);
        write(access, std::move(records));
    });
}

void UserDefaultsAssociationChangeHistoryStore::update(const AssociationChangeRecord &record)
{
    userDefaults_->transact([&](KeyValueAccess &access) {
        QList<AssociationChangeRecord> records = loadHistory(access);
        auto stored = std::find_if(records.begin(), records.end(),
                                   [&](const AssociationChangeRecord &r) { return r.id() == record.id(); });
        if (stored != records.end())
            *stored = record;
        else
            records.prepend(record);
        write(access, std::move(records));
    });
}

void UserDefaultsAssociationChangeHistoryStore::clear()
{
    userDefaults_->transact([&](KeyValueAccess &access) {
        access.remove(historyKey_);
        access.remove(legacyRecentChangeKey_);
    });
}

QList<AssociationChangeRecord>
UserDefaultsAssociationChangeHistoryStore::loadHistory(KeyValueAccess &access) const
{
    if (std::optional<QByteArray> stored = access.read(historyKey_))
        return sortedInHistoryOrder(decodeJsonArray<AssociationChangeRecord>(*stored));
    std::optional<QByteArray> legacy = access.read(legacyRecentChangeKey_);
    if (!legacy)
        return {};
    const QList<AssociationChangeRecord> migrated{
        decodeJsonObject<RecentAssociationChange>(*legacy).toChangeRecord()};
    write(access, migrated);
    access.remove(legacyRecentChangeKey_);
    return migrated;
}

void UserDefaultsAssociationChangeHistoryStore::write(KeyValueAccess &access,
                                                      QList<AssociationChangeRecord> records) const
{
    records = sortedInHistoryOrder(std::move(records));
    if (records.size() > maxRecords_)
        records.erase(records.begin() + maxRecords_, records.end());
    access.write(historyKey_, encodeJsonArray(records));
}

} // namespace halvora
