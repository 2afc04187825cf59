#pragma once

#include "core/history/AssociationChangeHistoryStore.h"
#include "core/history/KeyValueStore.h"

#include <QString>

#include <memory>

namespace halvora {

// Keeps the change history as one JSON array of records, newest first and at most
// maxRecords long, under historyKey of a per-user key-value store, and migrates the single
// record that an earlier version kept under legacyRecentChangeKey. Holds nothing in memory:
// every operation reads the store afresh.
//
// save, update and the migration inside loadHistory are each one transaction of the key-value
// store, so overlapping calls, from threads or from other processes sharing the store, never
// lose a record. Corrupt stored data makes loadHistory, save and update throw
// JsonDecodingError and leaves the data as it was.
class UserDefaultsAssociationChangeHistoryStore final : public AssociationChangeHistoryStore {
public:
    // A maxRecords below 1 is taken as 1.
    UserDefaultsAssociationChangeHistoryStore(std::shared_ptr<KeyValueStore> userDefaults, QString historyKey,
                                              QString legacyRecentChangeKey, int maxRecords);

    QList<AssociationChangeRecord> loadHistory() override;
    void save(const AssociationChangeRecord &record) override;
    void update(const AssociationChangeRecord &record) override;
    void clear() override;

    const QString &historyKey() const { return historyKey_; }
    const QString &legacyRecentChangeKey() const { return legacyRecentChangeKey_; }
    int maxRecords() const { return maxRecords_; }

private:
    QList<AssociationChangeRecord> loadHistory(KeyValueAccess &access) const;
    void write(KeyValueAccess &access, QList<AssociationChangeRecord> records) const;

    std::shared_ptr<KeyValueStore> userDefaults_;
    QString historyKey_;
    QString legacyRecentChangeKey_;
    int maxRecords_;
};

} // namespace halvora
