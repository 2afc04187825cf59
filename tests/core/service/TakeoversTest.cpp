#include "core/service/Takeovers.h"

#include <QUrl>

#include <gtest/gtest.h>

namespace halvora {
namespace {

using Status = AssociationVerificationStatus;

AssociatedApp appAt(const QString &id, const QString &dir)
{
    return AssociatedApp(id.section(u'.', 0, 0), id, QUrl::fromLocalFile(dir + u'/' + id));
}

AssociationChangeRecord record(const QString &id, const QString &extension, Status status, double at)
{
    // apng shares png's type.
    const QString type = extension == u"jpg" ? u"image/jpeg"_qs : u"image/png"_qs;
    return AssociationChangeRecord(id, extension, type, appAt(u"old.desktop"_qs, u"/usr"_qs),
                                   appAt(u"chosen.desktop"_qs, u"/usr"_qs), Timestamp(at), status,
                                   std::nullopt);
}

TEST(Takeovers, OnlyAConfirmedNewestRecordWhoseAppIsNoLongerTheDefault)
{
    const AssociatedApp chosen = appAt(u"chosen.desktop"_qs, u"/usr"_qs);
    const AssociatedApp chosenMoved = appAt(u"chosen.desktop"_qs, u"/home/u/.local"_qs);
    const AssociatedApp old = appAt(u"old.desktop"_qs, u"/usr"_qs);
    const AssociatedApp intruder = appAt(u"intruder.desktop"_qs, u"/opt"_qs);
    struct Case {
        const char *name;
        QList<AssociationChangeRecord> history; // newest first
        std::optional<AssociatedApp> current;
        QList<AssociatedApp> candidates;
        std::optional<AssociatedApp> expected; // the app to put back; none: no takeover
        QString expectedRecord = u"r1"_qs;
    };
    const QList<Case> cases{
        {"verified, still in force", {record(u"r1"_qs, u"png"_qs, Status::verified, 2)}, chosen, {}, {}},
        {"verified, another app now",
         {record(u"r1"_qs, u"png"_qs, Status::verified, 2)},
         intruder,
         {},
         chosen},
        {"verified, no default now", {record(u"r1"_qs, u"png"_qs, Status::verified, 2)}, {}, {}, chosen},
        {"verified, same ID elsewhere on disk",
         {record(u"r1"_qs, u"png"_qs, Status::verified, 2)},
         chosenMoved,
         {},
         {}},
        {"verified, proposed as the candidate installed now",
         {record(u"r1"_qs, u"png"_qs, Status::verified, 2)},
         intruder,
         {intruder, chosenMoved},
         chosenMoved},
        {"undone, previous app in force",
         {record(u"r1"_qs, u"png"_qs, Status::undoVerified, 2)},
         old,
         {},
         {}},
        {"undone, replacement back again",
         {record(u"r1"_qs, u"png"_qs, Status::undoVerified, 2)},
         chosen,
         {},
         old},
        {"apply not confirmed",
         {record(u"r1"_qs, u"png"_qs, Status::verificationFailed, 2)},
         intruder,
         {},
         {}},
        {"undo failed", {record(u"r1"_qs, u"png"_qs, Status::undoFailed, 2)}, intruder, {}, {}},
        {"newest failed after an older verified",
         {record(u"r2"_qs, u"png"_qs, Status::apiFailed, 3),
          record(u"r1"_qs, u"png"_qs, Status::verified, 2)},
         intruder,
         {},
         {}},
        {"newest verified after an older failed",
         {record(u"r2"_qs, u"png"_qs, Status::verified, 3),
          record(u"r1"_qs, u"png"_qs, Status::apiFailed, 2)},
         intruder,
         {},
         chosen,
         u"r2"_qs},
        {"newer change of another extension of the type",
         {record(u"r2"_qs, u"apng"_qs, Status::verified, 3),
          record(u"r1"_qs, u"png"_qs, Status::undoVerified, 2)},
         chosen,
         {},
         {}},
        {"only a change of another extension of the type",
         {record(u"r2"_qs, u"apng"_qs, Status::verified, 3)},
         intruder,
         {},
         chosen,
         u"r2"_qs},
        {"records of other types only", {record(u"r1"_qs, u"jpg"_qs, Status::verified, 2)}, intruder, {}, {}},
        {"no record", {}, intruder, {}, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        FileAssociation association(u"png"_qs, u"image/png"_qs, c.current, c.candidates);
        DefaultApplicationOrigin origin;
        origin.summary = u"~/.config/mimeapps.list 3행에서 지정"_qs;
        association.setOrigin(std::make_shared<const DefaultApplicationOrigin>(origin));
        const QList<FileAssociation> list{FileAssociation(u"jpg"_qs, u"image/jpeg"_qs, chosen, {}),
                                          association};
        const QList<Takeover> found = takeovers(list, c.history);
        ASSERT_EQ(found.size(), c.expected ? 1 : 0);
        ASSERT_EQ(takeoverOf(association, c.history).has_value(), c.expected.has_value());
        if (!c.expected)
            continue;
        EXPECT_EQ(found.first().association, association);
        EXPECT_EQ(found.first().chosenApp, *c.expected);
        EXPECT_EQ(found.first().record.id(), c.expectedRecord);
        EXPECT_EQ(found.first().decidedBy, origin.summary);
    }
}

} // namespace
} // namespace halvora
