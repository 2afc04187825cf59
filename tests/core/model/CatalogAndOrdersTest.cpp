#include "ModelTestSupport.h"

#include "core/model/ExtensionCatalog.h"

#include <QLocale>

namespace halvora {
namespace {

using test::app;
using test::association;
using test::extensionsOf;

QList<FileAssociation> associations(const QStringList &extensions)
{
    QList<FileAssociation> result;
    for (const QString &extension : extensions)
        result.append(association(extension));
    return result;
}

TEST(ModelExtensionCatalog, BuiltInTables)
{
    const ExtensionCatalog &catalog = ExtensionCatalog::defaultCatalog();
    // Every common extension has a real category: never the two synthetic ones.
    for (const QString &extension : catalog.commonExtensions()) {
        const ExtensionCategory category = catalog.category(extension);
        EXPECT_NE(category, ExtensionCategory::other) << extension.toStdString();
        EXPECT_NE(category, ExtensionCategory::frequentlyUsed);
    }
    // Lookups normalise the text; what is not listed, or cannot be an extension, is other.
    EXPECT_EQ(catalog.category(u" .PDF "_qs), ExtensionCategory::documents);
    EXPECT_EQ(catalog.category(u"heif"_qs), ExtensionCategory::other);
    EXPECT_EQ(catalog.category(u"p/df"_qs), ExtensionCategory::other);
}

TEST(ModelExtensionCatalog, ConstructionCleansMessyInput)
{
    const ExtensionCatalog catalog(
        {u"a/b"_qs, u" .MD"_qs, u"md"_qs, u""_qs, u"Txt"_qs, u"txt."_qs},
        {{u" .PY"_qs, ExtensionCategory::development}, {u"x:y"_qs, ExtensionCategory::data}});
    EXPECT_EQ(catalog.commonExtensions(), (QList<QString>{u"md"_qs, u"txt"_qs}));
    EXPECT_EQ(catalog.commonRankByExtension(), (QHash<QString, int>{{u"md"_qs, 0}, {u"txt"_qs, 1}}));
    EXPECT_EQ(catalog.categoryByExtension(),
              (QHash<QString, ExtensionCategory>{{u"py"_qs, ExtensionCategory::development}}));
}

TEST(ModelExtensionCatalog, SortsByRankThenCategoryThenScalarText)
{
    const ExtensionCatalog &catalog = ExtensionCatalog::defaultCatalog();
    const QString beyondBmp = u"x"_qs + QString::fromUcs4(U"\U0001F600", 1);
    const QString privateUse = u"x"_qs + QChar(0xE000);
    EXPECT_EQ(extensionsOf(catalog.sort(associations(
                  {u"heif"_qs, u"md"_qs, u"zzz"_qs, beyondBmp, u"pdf"_qs, privateUse, u"Zed"_qs, u"7z"_qs}))),
              (QStringList{u"pdf"_qs, u"md"_qs, u"7z"_qs, u"Zed"_qs, u"heif"_qs, privateUse, beyondBmp,
                           u"zzz"_qs}));

    // Without ranks, the category decides before the text; equal extensions keep input order.
    const ExtensionCatalog custom(
        {}, {{u"b"_qs, ExtensionCategory::documents}, {u"a"_qs, ExtensionCategory::data}});
    QList<FileAssociation> input = associations({u"c"_qs, u"a"_qs, u"b"_qs});
    input.append(FileAssociation(u"a"_qs, u"second"_qs, std::nullopt, {}));
    const QList<FileAssociation> sorted = custom.sort(input);
    EXPECT_EQ(extensionsOf(sorted), (QStringList{u"b"_qs, u"a"_qs, u"a"_qs, u"c"_qs}));
    EXPECT_EQ(sorted[2].contentTypeIdentifier(), u"second"_qs);
}

TEST(ModelExtensionCatalog, GroupsCommonExtensionsTwiceInCategoryOrder)
{
    const ExtensionCatalog &catalog = ExtensionCatalog::defaultCatalog();
    EXPECT_TRUE(catalog.group({}).isEmpty());

    const QList<GroupedFileAssociations> groups =
        catalog.group(associations({u"heif"_qs, u"zip"_qs, u"md"_qs, u"pdf"_qs}));
    QList<ExtensionCategory> order;
    for (const GroupedFileAssociations &group : groups)
        order.append(group.category());
    EXPECT_EQ(order,
              (QList<ExtensionCategory>{ExtensionCategory::frequentlyUsed, ExtensionCategory::documents,
                                        ExtensionCategory::archives, ExtensionCategory::other}));
    EXPECT_EQ(extensionsOf(groups[0].associations()), (QStringList{u"pdf"_qs, u"md"_qs, u"zip"_qs}));
    EXPECT_EQ(extensionsOf(groups[1].associations()), (QStringList{u"pdf"_qs, u"md"_qs}));
    EXPECT_EQ(extensionsOf(groups[3].associations()), (QStringList{u"heif"_qs}));
}

TEST(ModelOrders, ApplicationsAndApplicationGroups)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const AssociatedApp lowerB = app(u"viewer"_qs, u"b.desktop"_qs, u"/a/b.desktop"_qs);
    const AssociatedApp upperA = app(u"Viewer"_qs, u"a.desktop"_qs, u"/a/a.desktop"_qs);
    const AssociatedApp editor = app(u"editor"_qs, u"z.desktop"_qs, u"/a/z.desktop"_qs);
    const QList<AssociatedApp> apps = sortedInApplicationOrder({lowerB, upperA, editor});
    EXPECT_TRUE(apps == (QList<AssociatedApp>{editor, upperA, lowerB}));

    const AppAssociationGroup none(std::nullopt, associations({u"x"_qs, u"y"_qs, u"z"_qs}));
    const AppAssociationGroup small(editor, associations({u"md"_qs}));
    const AppAssociationGroup byB(lowerB, associations({u"a"_qs, u"b"_qs}));
    const AppAssociationGroup byA(upperA, associations({u"c"_qs, u"d"_qs}));
    EXPECT_EQ(none.id(), AppAssociationGroup::unassignedID);
    EXPECT_EQ(byA.id(), u"a.desktop|/a/a.desktop"_qs);
    EXPECT_TRUE(sortedInApplicationGroupOrder({none, small, byB, byA}) ==
                (QList<AppAssociationGroup>{byA, byB, small, none}));
    QLocale::setDefault(QLocale::system());
}

TEST(ModelOrders, HistoryNewestFirstAndRegisteredTypesStable)
{
    const AssociatedApp target = app(u"New"_qs, u"new.desktop"_qs, u"/a/new.desktop"_qs);
    auto record = [&](const QString &id, double at) {
        return AssociationChangeRecord(id, u"md"_qs, u"text/markdown"_qs, std::nullopt, target, Timestamp(at),
                                       AssociationVerificationStatus::verified, std::nullopt);
    };
    QStringList ids;
    for (const AssociationChangeRecord &r :
         sortedInHistoryOrder({record(u"A"_qs, 1), record(u"B"_qs, 2.5), record(u"a"_qs, 1),
                               record(u"C"_qs, 1), record(u"D"_qs, 2)}))
        ids.append(r.id());
    // Equal times: descending id, case-sensitive.
    EXPECT_EQ(ids, (QStringList{u"B"_qs, u"D"_qs, u"a"_qs, u"C"_qs, u"A"_qs}));

    const QList<RegisteredContentType> types =
        sortedInRegisteredTypeOrder({RegisteredContentType(u"md"_qs, u"text/x-first"_qs, std::nullopt),
                                     RegisteredContentType(u"Md"_qs, u"text/upper"_qs, std::nullopt),
                                     RegisteredContentType(u"md"_qs, u"text/x-second"_qs, std::nullopt)});
    EXPECT_EQ(types[0].contentTypeIdentifier(), u"text/upper"_qs);
    EXPECT_EQ(types[1].contentTypeIdentifier(), u"text/x-first"_qs);
    EXPECT_EQ(types[2].contentTypeIdentifier(), u"text/x-second"_qs);
}

} // namespace
} // namespace halvora
