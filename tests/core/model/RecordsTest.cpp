#include "core/model/Models.h"
#include "support/SampleAssociations.h"

#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

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
    EXPECT_FALSE(slashed == plain || renamed == plain);
    // Neither a trailing slash nor a name makes another application; the first of each
    // identity survives as it was.
    EXPECT_TRUE(uniquedByAppIdentity({plain, elsewhere, slashed, renamed, elsewhere}) ==
                (QList<AssociatedApp>{plain, elsewhere}));
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
    EXPECT_EQ((QSet<RegisteredContentType>{bare, handled, bare}.size()), 2);
}

TEST(ModelChangeRecords, UpdatingDecimalsAndIdentifiers)
{
    const AssociationChangeRecord failed(
        u"ID-1"_qs, u"md"_qs, u"text/markdown"_qs, std::nullopt, app(u"New"_qs, u"new.desktop"_qs),
        Timestamp(12.25), AssociationVerificationStatus::verificationFailed, u"not confirmed"_qs);
    const AssociationChangeRecord undone = failed.updating(AssociationVerificationStatus::undoVerified, {});
    EXPECT_FALSE(undone.verificationMessage().has_value());
    EXPECT_TRUE(undone.updating(failed.verificationStatus(), failed.verificationMessage()) == failed);

    // Shortest text that reads back, never in exponent form, always with a fraction.
    for (const auto &[value, text] :
         std::initializer_list<std::pair<double, QString>>{{3, u"3.0"_qs},
                                                           {0.1, u"0.1"_qs},
                                                           {1e21, u"1000000000000000000000.0"_qs},
                                                           {1.5e-7, u"0.00000015"_qs}})
        EXPECT_EQ(shortestDecimalWithFraction(value), text);
    EXPECT_EQ(shortestDecimalWithFraction(1700000000.123456789).toDouble(), 1700000000.123456789);

    const QString fresh = newRecordIdentifier();
    const QRegularExpression uuid(u"^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"_qs);
    EXPECT_TRUE(uuid.match(fresh).hasMatch()) << fresh.toStdString();
    EXPECT_NE(fresh, newRecordIdentifier());
}

} // namespace
} // namespace halvora::test
