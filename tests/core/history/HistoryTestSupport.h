#pragma once

#include "support/SampleAssociations.h"

#include <gtest/gtest.h>

namespace halvora::test {

inline AssociatedApp historyApp(const QString &bundleIdentifier)
{
    return AssociatedApp(bundleIdentifier, bundleIdentifier,
                         QUrl::fromLocalFile(u"/usr/share/applications/"_qs + bundleIdentifier));
}

// A change of md's default made `seconds` after the reference date.
inline AssociationChangeRecord
historyRecord(const QString &id, double seconds,
              AssociationVerificationStatus status = AssociationVerificationStatus::verified)
{
    std::optional<QString> message;
    if (isFailure(status))
        message = u"실패"_qs;
    return AssociationChangeRecord(id, u"md"_qs, u"text/markdown"_qs, historyApp(u"old.desktop"_qs),
                                   historyApp(u"new.desktop"_qs), Timestamp(seconds), status, message);
}

inline QStringList idsOf(const QList<AssociationChangeRecord> &records)
{
    QStringList ids;
    for (const AssociationChangeRecord &record : records)
        ids.append(record.id());
    return ids;
}

} // namespace halvora::test
