#include "core/history/HistoryTestSupport.h"
#include "core/model/ExtensionCatalog.h"

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

// Lookups and custom tables take cleaned text. Sorting: rank, then category, then text by scalar
// value (not by UTF-16 unit, no case folding, a prefix first); equal extensions keep input order.
// Grouping lists common extensions twice: under frequently used and under their own category.
TEST(ModelExtensionCatalog, CleansLooksUpSortsAndGroups)
{
    const ExtensionCatalog &catalog = ExtensionCatalog::defaultCatalog();
    EXPECT_EQ(catalog.category(u" .PDF "_qs), ExtensionCategory::documents);
    EXPECT_EQ(catalog.category(u"p/df"_qs), ExtensionCategory::other); // invalid text is no fault here
    const ExtensionCatalog cleaned(
        {u"a/b"_qs, u" .MD"_qs, u"md"_qs, u""_qs, u"Txt"_qs, u"txt."_qs},
        {{u" .PY"_qs, ExtensionCategory::development}, {u"x:y"_qs, ExtensionCategory::data}});
    EXPECT_EQ(cleaned.commonExtensions(), (QList<QString>{u"md"_qs, u"txt"_qs}));
    EXPECT_EQ(cleaned.commonRankByExtension(), (QHash<QString, int>{{u"md"_qs, 0}, {u"txt"_qs, 1}}));
    EXPECT_EQ(cleaned.categoryByExtension(),
              (QHash<QString, ExtensionCategory>{{u"py"_qs, ExtensionCategory::development}}));

    const QString beyondBmp = u"x"_qs + QString::fromUcs4(U"\U0001F600", 1);
    const QString privateUse = u"x"_qs + QChar(0xE000);
    QList<FileAssociation> input = associations(
        {u"heif"_qs, u"md"_qs, u"zzz"_qs, beyondBmp, u"pdf"_qs, privateUse, u"Zed"_qs, u"7z"_qs, u"zz"_qs});
    input.append(FileAssociation(u"md"_qs, u"second"_qs, std::nullopt, {}));
    const QList<FileAssociation> sorted = catalog.sort(input);
    EXPECT_EQ(extensionsOf(sorted), (QStringList{u"pdf"_qs, u"md"_qs, u"md"_qs, u"7z"_qs, u"Zed"_qs,
                                                 u"heif"_qs, privateUse, beyondBmp, u"zz"_qs, u"zzz"_qs}));
    EXPECT_EQ(sorted[2].contentTypeIdentifier(), u"second"_qs);

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
    EXPECT_TRUE(sortedInApplicationGroupOrder({none, small, byB, byA}) ==
                (QList<AppAssociationGroup>{byA, byB, small, none}));
    QLocale::setDefault(QLocale::system());

    // Equal times: id, descending.
    EXPECT_EQ(idsOf(sortedInHistoryOrder({historyRecord(u"A"_qs, 1), historyRecord(u"B"_qs, 2.5),
                                          historyRecord(u"a"_qs, 1), historyRecord(u"C"_qs, 1),
                                          historyRecord(u"D"_qs, 2)})),
              (QStringList{u"B"_qs, u"D"_qs, u"a"_qs, u"C"_qs, u"A"_qs}));

    const RegisteredContentType first(u"md"_qs, u"text/x-first"_qs, std::nullopt);
    const RegisteredContentType upper(u"Md"_qs, u"text/upper"_qs, std::nullopt);
    const RegisteredContentType second(u"md"_qs, u"text/x-second"_qs, std::nullopt);
    EXPECT_EQ(sortedInRegisteredTypeOrder({first, upper, second}),
              (QList<RegisteredContentType>{upper, first, second}));
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
    // LC_ALL, LC_COLLATE, expected order; Swedish sorts Ä after Z, and LC_ALL wins.
    const char *cases[][3] = {{"", "sv_SE.UTF-8", "alpha,Zeta,Ärlig"},
                              {"", "de_DE.UTF-8", "alpha,Ärlig,Zeta"},
                              {"sv_SE.UTF-8", "de_DE.UTF-8", "alpha,Zeta,Ärlig"}};
    for (const auto &[lcAll, lcCollate, order] : cases) {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"LANG"_qs, u"de_DE.UTF-8"_qs);
        environment.insert(u"LC_MESSAGES"_qs, u"de_DE.UTF-8"_qs);
        environment.insert(u"LC_COLLATE"_qs, QString::fromUtf8(lcCollate));
        environment.insert(u"LC_ALL"_qs, QString::fromUtf8(lcAll));
        environment.insert(u"HALVORA_EXPECTED_ORDER"_qs, QString::fromUtf8(order));
        child.setProcessEnvironment(environment);
        child.start(
            QCoreApplication::applicationFilePath(),
            {u"--gtest_filter=ModelOrders.ApplicationOrderFollowsTheCollationLocaleNotTheMessageLanguage"_qs});
        ASSERT_TRUE(child.waitForFinished(120000));
        EXPECT_EQ(child.exitCode(), 0) << lcCollate << "\n" << child.readAllStandardOutput().toStdString();
    }
}

} // namespace
} // namespace halvora::test
