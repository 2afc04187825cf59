#pragma once

#include "support/SampleAssociations.h"

#include <gtest/gtest.h>

namespace halvora::test {

// A change of md's default made `seconds` after the reference date.
inline AssociationChangeRecord
historyRecord(const QString &id, double seconds,
              AssociationVerificationStatus status = AssociationVerificationStatus::verified)
{
    return AssociationChangeRecord(id, u"md"_qs, u"text/markdown"_qs,
                                   app(u"old.desktop"_qs, u"old.desktop"_qs),
                                   app(u"new.desktop"_qs, u"new.desktop"_qs), Timestamp(seconds), status,
                                   isFailure(status) ? std::optional(u"실패"_qs) : std::nullopt);
}

inline QStringList idsOf(const QList<AssociationChangeRecord> &records)
{
    QStringList ids;
    for (const AssociationChangeRecord &record : records)
        ids.append(record.id());
    return ids;
}

} // namespace halvora::test
