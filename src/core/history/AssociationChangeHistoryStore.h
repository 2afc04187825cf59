#pragma once

#include "core/model/Models.h"

#include <QList>

namespace halvora {

// Persistence of change records, newest first. All operations are synchronous and may
// throw a LocalizedError subclass.
class AssociationChangeHistoryStore {
public:
    virtual ~AssociationChangeHistoryStore() = default;

    virtual QList<AssociationChangeRecord> loadHistory() = 0;
    virtual void save(const AssociationChangeRecord &record) = 0;
    virtual void update(const AssociationChangeRecord &record) = 0;
    virtual void clear() = 0;
};

} // namespace halvora
