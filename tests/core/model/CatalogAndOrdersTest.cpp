#include "core/model/ExtensionCatalog.h"
#include "support/SampleAssociations.h"

#include <QCoreApplication>
#include <QLocale>
#include <QProcess>

#include <gtest/gtest.h>

namespace halvora::test {
namespace {

QList<FileAssociation> associations(const QStringList &extensions)
{
    QList<FileAssociation> result;
    for (const QString &extension : extensions)
        result.append(assoc(extension, std::nullopt));
    return result;
}

TEST(ModelExtensionCatalog, CleansInputAndLooksUpNormalisedText)
{
    const ExtensionCatalog &builtIn = ExtensionCatalog::defaultCatalog();
    EXPECT_EQ(builtIn.category(u" .PDF "_qs), ExtensionCategory::documents);
    EXPECT_EQ(builtIn.category(u"heif"_qs), ExtensionCategory::other);
    EXPECT_EQ(builtIn.category(u"p/df"_qs), ExtensionCategory::other);

    const ExtensionCatalog catalog(
        {u"a/b"_qs, u" .MD"_qs, u"md"_qs, u""_qs, u"Txt"_qs, u"txt."_qs},
        {{u" .PY"_qs, ExtensionCategory::development}, {u"x:y"_qs, ExtensionCategory::data}});
    EXPECT_EQ(catalog.commonExtensions(), (QList<QString>{u"md"_qs, u"txt"_qs}));
    EXPECT_EQ(catalog.commonRankByExtension(), (QHash<QString, int>{{u"md"_qs, 0}, {u"txt"_qs, 1}}));
    EXPECT_EQ(catalog.categoryByExtension(),
              (QHash<QString, ExtensionCategory>{{u"py"_qs, ExtensionCategory::development}}));
}

// Rank, then category, then text by scalar value; equal extensions keep input order. Grouping
// lists common extensions twice: under frequently used and under their own category.
TEST(ModelExtensionCatalog, SortsAndGroups)
{
    const ExtensionCatalog &catalog = ExtensionCatalog::defaultCatalog();
    const QString beyondBmp = u"x"_qs + QString::fromUcs4(U"\U0001F600", 1);
    const QString privateUse = u"x"_qs + QChar(0xE000);
    EXPECT_EQ(extensionsOf(catalog.sort(associations(
                  {u"heif"_qs, u"md"_qs, u"zzz"_qs, beyondBmp, u"pdf"_qs, privateUse, u"Zed"_qs, u"7z"_qs}))),
              (QStringList{u"pdf"_qs, u"md"_qs, u"7z"_qs, u"Zed"_qs, u"heif"_qs, privateUse, beyondBmp,
                           u"zzz"_qs}));

    const ExtensionCatalog custom(
        {}, {{u"b"_qs, ExtensionCategory::documents}, {u"a"_qs, ExtensionCategory::data}});
    QList<FileAssociation> input = associations({u"c"_qs, u"a"_qs, u"b"_qs});
    input.append(FileAssociation(u"a"_qs, u"second"_qs, std::nullopt, {}));
    const QList<FileAssociation> sorted = custom.sort(input);
    EXPECT_EQ(extensionsOf(sorted), (QStringList{u"b"_qs, u"a"_qs, u"a"_qs, u"c"_qs}));
    EXPECT_EQ(sorted[2].contentTypeIdentifier(), u"second"_qs);

    EXPECT_TRUE(catalog.group({}).isEmpty());
    QList<std::pair<ExtensionCategory, QStringList>> groups;
    for (const GroupedFileAssociations &group :
         catalog.group(associations({u"heif"_qs, u"zip"_qs, u"md"_qs, u"pdf"_qs})))
        groups.append({group.category(), extensionsOf(group.associations())});
    using C = ExtensionCategory;
    EXPECT_EQ(groups, (QList<std::pair<C, QStringList>>{{C::frequentlyUsed, {u"pdf"_qs, u"md"_qs, u"zip"_qs}},
                                                        {C::documents, {u"pdf"_qs, u"md"_qs}},
                                                        {C::archives, {u"zip"_qs}},
                                                        {C::other, {u"heif"_qs}}}));
}

TEST(ModelOrders, ApplicationsGroupsHistoryAndRegisteredTypes)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const AssociatedApp lowerB = app(u"viewer"_qs, u"b.desktop"_qs);
    const AssociatedApp upperA = app(u"Viewer"_qs, u"a.desktop"_qs);
    const AssociatedApp editor = app(u"editor"_qs, u"z.desktop"_qs);
    EXPECT_EQ(sortedInApplicationOrder({lowerB, upperA, editor}),
              (QList<AssociatedApp>{editor, upperA, lowerB}));

    const AppAssociationGroup none(std::nullopt, associations({u"x"_qs, u"y"_qs, u"z"_qs}));
    const AppAssociationGroup small(editor, associations({u"md"_qs}));
    const AppAssociationGroup byB(lowerB, associations({u"a"_qs, u"b"_qs}));
    const AppAssociationGroup byA(upperA, associations({u"c"_qs, u"d"_qs}));
    EXPECT_EQ(none.id(), AppAssociationGroup::unassignedID);
    EXPECT_EQ(byA.id(), u"a.desktop|/usr/share/applications/a.desktop"_qs);
    EXPECT_TRUE(sortedInApplicationGroupOrder({none, small, byB, byA}) ==
                (QList<AppAssociationGroup>{byA, byB, small, none}));
    QLocale::setDefault(QLocale::system());

    auto record = [&](const QString &id, double at) {
        return AssociationChangeRecord(id, u"md"_qs, u"text/markdown"_qs, std::nullopt, editor, Timestamp(at),
                                       AssociationVerificationStatus::verified, std::nullopt);
    };
    QStringList ids;
    for (const AssociationChangeRecord &r :
         sortedInHistoryOrder({record(u"A"_qs, 1), record(u"B"_qs, 2.5), record(u"a"_qs, 1),
                               record(u"C"_qs, 1), record(u"D"_qs, 2)}))
        ids.append(r.id());
    EXPECT_EQ(ids, (QStringList{u"B"_qs, u"D"_qs, u"a"_qs, u"C"_qs, u"A"_qs})); // equal times: id, descending

    QStringList types;
    for (const RegisteredContentType &type :
         sortedInRegisteredTypeOrder({RegisteredContentType(u"md"_qs, u"text/x-first"_qs, std::nullopt),
                                      RegisteredContentType(u"Md"_qs, u"text/upper"_qs, std::nullopt),
                                      RegisteredContentType(u"md"_qs, u"text/x-second"_qs, std::nullopt)}))
        types.append(type.contentTypeIdentifier());
    EXPECT_EQ(types, (QStringList{u"text/upper"_qs, u"text/x-first"_qs, u"text/x-second"_qs}));
}

// The system locale is read once per process, so the order under other settings is checked
// in a copy of this test program started with them.
TEST(ModelOrders, ApplicationOrderFollowsTheCollationLocaleNotTheMessageLanguage)
{
    QStringList names;
    for (const AssociatedApp &sorted :
         sortedInApplicationOrder({app(u"Zeta"_qs, u"z.desktop"_qs), app(u"Ärlig"_qs, u"a.desktop"_qs),
                                   app(u"alpha"_qs, u"b.desktop"_qs)}))
        names.append(sorted.name());
    if (const QByteArray expected = qgetenv("HALVORA_EXPECTED_ORDER"); !expected.isEmpty()) {
        EXPECT_EQ(names.join(u','), QString::fromUtf8(expected));
        return;
    }
    const struct {
        const char *lcAll;
        const char *lcCollate;
        const char *order;
    } cases[] = {
        {"", "sv_SE.UTF-8", "alpha,Zeta,Ärlig"}, // Swedish sorts Ä after Z
        {"", "de_DE.UTF-8", "alpha,Ärlig,Zeta"},
        {"sv_SE.UTF-8", "de_DE.UTF-8", "alpha,Zeta,Ärlig"}, // LC_ALL wins
    };
    for (const auto &c : cases) {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"LANG"_qs, u"de_DE.UTF-8"_qs);
        environment.insert(u"LC_MESSAGES"_qs, u"de_DE.UTF-8"_qs);
        environment.insert(u"LC_COLLATE"_qs, QString::fromUtf8(c.lcCollate));
        environment.insert(u"LC_ALL"_qs, QString::fromUtf8(c.lcAll));
        environment.insert(u"HALVORA_EXPECTED_ORDER"_qs, QString::fromUtf8(c.order));
        child.setProcessEnvironment(environment);
        child.start(
            QCoreApplication::applicationFilePath(),
            {u"--gtest_filter=ModelOrders.ApplicationOrderFollowsTheCollationLocaleNotTheMessageLanguage"_qs});
        ASSERT_TRUE(child.waitForFinished(120000));
        EXPECT_EQ(child.exitCode(), 0) << c.lcCollate << "\n" << child.readAllStandardOutput().toStdString();
    }
}

} // namespace
} // namespace halvora::test
