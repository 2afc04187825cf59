#include "core/model/ExtensionCatalog.h"
#include "support/SampleAssociations.h"

#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

#include <tuple>
#include <unordered_set>

namespace halvora::test {
namespace {

TEST(ModelAssociatedApp, IdentityIsLooserThanEquality)
{
    const AssociatedApp plain(u"Viewer"_qs, u"viewer.desktop"_qs,
                              QUrl(u"file:///opt/My%20Apps/viewer.desktop"_qs));
    const AssociatedApp slashed(u"Viewer"_qs, u"viewer.desktop"_qs,
                                QUrl(u"file:///opt/My%20Apps/viewer.desktop/"_qs));
    const AssociatedApp renamed(u"뷰어"_qs, u"viewer.desktop"_qs, plain.url());
    const AssociatedApp elsewhere = app(u"Viewer"_qs, u"viewer.desktop"_qs);

    EXPECT_EQ(plain.id(), u"viewer.desktop|/opt/My Apps/viewer.desktop"_qs); // percent-decoded
    EXPECT_EQ(slashed.id(), plain.id());
    EXPECT_EQ(renamed.id(), plain.id());
    EXPECT_NE(elsewhere.id(), plain.id());
    EXPECT_FALSE(slashed == plain);
    EXPECT_FALSE(renamed == plain);

    const QList<AssociatedApp> unique = uniquedByAppIdentity({plain, elsewhere, slashed, renamed, elsewhere});
    ASSERT_EQ(unique.size(), 2);
    EXPECT_TRUE(unique[0] == plain); // the first of each identity survives as it was
    EXPECT_TRUE(unique[1] == elsewhere);
    EXPECT_TRUE(uniquedByAppIdentity({}).isEmpty());

    const PendingAssociationChange here(assoc(u"md"_qs, std::nullopt), plain);
    const PendingAssociationChange there(assoc(u"md"_qs, std::nullopt), elsewhere);
    EXPECT_EQ(here.id(), u"md|viewer.desktop|/opt/My Apps/viewer.desktop"_qs);
    EXPECT_NE(here.id(), there.id());
}

// Equal values must hash alike, or a set keeps duplicates; an absent current application
// differs from any present one, an absent handler from an empty one, and order counts.
TEST(ModelRecords, HashesAgreeWithEquality)
{
    const AssociatedApp viewer = app(u"Viewer"_qs, u"viewer.desktop"_qs);
    const AssociatedApp editor = app(u"Editor"_qs, u"editor.desktop"_qs);
    const FileAssociation none(u"md"_qs, u"text/markdown"_qs, std::nullopt, {viewer, editor});
    const FileAssociation some(u"md"_qs, u"text/markdown"_qs, viewer, {viewer, editor});
    const FileAssociation swapped(u"md"_qs, u"text/markdown"_qs, viewer, {editor, viewer});
    EXPECT_EQ((QSet<FileAssociation>{none, some, swapped, FileAssociation(some)}.size()), 3);
    EXPECT_EQ((std::unordered_set<AssociatedApp>{viewer, editor, AssociatedApp(viewer)}.size()), 2u);
    const RegisteredContentType bare(u"md"_qs, u"text/markdown"_qs, std::nullopt);
    const RegisteredContentType handled(u"md"_qs, u"text/markdown"_qs, u""_qs);
    EXPECT_EQ(bare.id(), u"md|text/markdown"_qs);
    EXPECT_EQ((QSet<RegisteredContentType>{bare, handled, bare}.size()), 2);
}

TEST(ModelChangeRecords, UpdatingAndTheLegacyForm)
{
    const AssociatedApp before = app(u"Old"_qs, u"old.desktop"_qs);
    const AssociatedApp after = app(u"New"_qs, u"new.desktop"_qs);
    const AssociationChangeRecord failed(u"ID-1"_qs, u"md"_qs, u"text/markdown"_qs, before, after,
                                         Timestamp(12.25), AssociationVerificationStatus::verificationFailed,
                                         u"not confirmed"_qs);
    const AssociationChangeRecord undone = failed.updating(AssociationVerificationStatus::undoVerified, {});
    EXPECT_FALSE(undone.verificationMessage().has_value());
    EXPECT_TRUE(undone.updating(failed.verificationStatus(), failed.verificationMessage()) == failed);

    // The legacy form's id shows its time since 1970 (its migration is a history store test).
    EXPECT_EQ(RecentAssociationChange(u"md"_qs, u"text/markdown"_qs, before, after,
                                      Timestamp::fromSecondsSince1970(1700000000.5))
                  .id(),
              u"md|1700000000.5"_qs);

    for (const auto &[value, text] :
         std::initializer_list<std::pair<double, QString>>{{3.5, u"3.5"_qs},
                                                           {3, u"3.0"_qs},
                                                           {0.1, u"0.1"_qs},
                                                           {-2, u"-2.0"_qs},
                                                           {1e21, u"1000000000000000000000.0"_qs},
                                                           {1.5e-7, u"0.00000015"_qs}})
        EXPECT_EQ(shortestDecimalWithFraction(value), text);
    const double awkward = 1700000000.123456789;
    EXPECT_EQ(shortestDecimalWithFraction(awkward).toDouble(), awkward);

    const QString fresh = newRecordIdentifier();
    EXPECT_TRUE(QRegularExpression(u"^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"_qs)
                    .match(fresh)
                    .hasMatch())
        << fresh.toStdString();
    EXPECT_NE(fresh, newRecordIdentifier());
}

TEST(ModelBulkPlans, CountsIdentityAndSummary)
{
    const AssociatedApp target = app(u"Editor"_qs, u"editor.desktop"_qs, u"/a"_qs);
    auto row = [&](const QString &extension, BulkAssociationRowStatus status) {
        return BulkAssociationChangeRow(assoc(extension, std::nullopt), target, status, std::nullopt);
    };
    using S = BulkAssociationRowStatus;
    const BulkAssociationChangePlan plan(target, {row(u"md"_qs, S::ready), row(u"txt"_qs, S::skipped),
                                                  row(u"md"_qs, S::blocked), row(u"csv"_qs, S::ready)});
    ASSERT_EQ(plan.readyRows().size(), 2);
    EXPECT_EQ(extensionsOf({plan.readyRows()[0].association(), plan.readyRows()[1].association()}),
              (QStringList{u"md"_qs, u"csv"_qs}));
    EXPECT_EQ(std::tuple(plan.readyCount(), plan.skippedCount(), plan.blockedCount()), std::tuple(2, 1, 1));
    EXPECT_EQ(plan.id(), u"editor.desktop|/a/applications/editor.desktop|md,txt,md,csv"_qs);
    EXPECT_EQ(BulkAssociationChangePlan(target, {}).id(),
              u"editor.desktop|/a/applications/editor.desktop|"_qs);
    EXPECT_EQ(BulkAssociationApplySummary(3, 0, 1, 2).message(),
              u"검증 완료 3개, 실패 0개, 건너뜀 1개, 확인 필요 2개"_qs);
}

} // namespace
} // namespace halvora::test
