#include "core/history/HistoryTestSupport.h"
#include "core/model/ExtensionCatalog.h"
#include "core/model/FileAssociationError.h"
#include "core/model/FileExtensionNormalizer.h"
#include "core/model/ModelJson.h"
#include "core/model/Models.h"
#include "support/SampleAssociations.h"

#include <QCoreApplication>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QtConcurrent>

#include <gtest/gtest.h>

#include <stdexcept>

namespace halvora::test {
namespace {

// Accepted text gives the extension; rejected text gives the error's payload (after lower-casing).
TEST(ModelNormalizer, TrimsDropsDotsLowerCasesOrRejects)
{
    const struct {
        QString input;
        QString result;
        bool accepted;
    } cases[] = {
        {u" ..PDF "_qs, u"pdf"_qs, true},
        {u"\u00C9T.GZ"_qs, u"\u00E9t.gz"_qs, true},
        {u"C++_x-1\\"_qs, u"c++_x-1\\"_qs, true},
        // Every trimmed character: tab, U+000A..U+000D, U+0085, and category Z separators.
        {u"\t\n\u000B\f\r\u0085 \u00A0\u3000md\u2028\u2029\u2003"_qs, u"md"_qs, true},
        {u""_qs, {}, false},
        {u"\t.\t"_qs, {}, false},
        {u". md"_qs, u" md"_qs, false}, // trimming is not repeated after the dots
        {u" A/B "_qs, u"a/b"_qs, false},
        {u"X:Y"_qs, u"x:y"_qs, false},
        {u"M\u00A0D"_qs, u"m\u00A0d"_qs, false}, // the trimmed set is refused inside
        {u"MD."_qs, u"md."_qs, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.input.toStdString());
        try {
            EXPECT_EQ(FileExtensionNormalizer::normalize(c.input), c.result);
            EXPECT_TRUE(c.accepted);
        } catch (const FileAssociationError &error) {
            EXPECT_FALSE(c.accepted);
            EXPECT_EQ(error, FileAssociationError::invalidExtension(c.result));
        }
    }
}

TEST(ModelFileAssociationError, EqualityAndCrossingAFuture)
{
    using E = FileAssociationError;
    // The normaliser's table compares errors; equality must see the kind and the payload.
    EXPECT_FALSE(E::invalidExtension(u"md"_qs) == E::contentTypeUnavailable(u"md"_qs));
    EXPECT_FALSE(E::invalidExtension(u"md"_qs) == E::invalidExtension(u"MD"_qs));
    try {
        QtConcurrent::run([] { throw E::contentTypeUnavailable(u"md"_qs); }).waitForFinished();
        FAIL() << "no exception";
    } catch (const E &error) {
        EXPECT_TRUE(error == E::contentTypeUnavailable(u"md"_qs));
        EXPECT_EQ(localizedDescription(std::current_exception()), error.errorDescription());
    }
    // Anything else arrives wrapped; its own message is still what the user sees.
    try {
        QtConcurrent::run([] { throw std::runtime_error("디스크 오류"); }).waitForFinished();
        FAIL() << "no exception";
    } catch (...) {
        EXPECT_EQ(localizedDescription(std::current_exception()), u"디스크 오류"_qs);
    }
    EXPECT_EQ(localizedDescription(std::make_exception_ptr(42)), u"알 수 없는 오류가 발생했습니다."_qs);
}

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

TEST(ModelChangeRecords, UpdatingDecimalsAndIdentifiers)
{
    const AssociationChangeRecord failed(
        u"ID-1"_qs, u"md"_qs, u"text/markdown"_qs, std::nullopt, app(u"New"_qs, u"new.desktop"_qs),
        Timestamp(12.25), AssociationVerificationStatus::verificationFailed, u"not confirmed"_qs);
    const AssociationChangeRecord undone = failed.updating(AssociationVerificationStatus::undoVerified, {});
    EXPECT_FALSE(undone.verificationMessage().has_value());
    EXPECT_TRUE(undone.updating(failed.verificationStatus(), failed.verificationMessage()) == failed);

    // The legacy id's time reads back exactly.
    EXPECT_EQ(shortestDecimalWithFraction(1700000000.123456789).toDouble(), 1700000000.123456789);

    const QString fresh = newRecordIdentifier();
    const QRegularExpression uuid(u"^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"_qs);
    EXPECT_TRUE(uuid.match(fresh).hasMatch()) << fresh.toStdString();
    EXPECT_NE(fresh, newRecordIdentifier());
}

const char *validRecord = R"({"id": "A1", "fileExtension": "md", "contentTypeIdentifier": "text/markdown",
    "replacementApp": {"name": "New", "bundleIdentifier": "new.desktop", "url": "file:///usr/share/applications/new.desktop"},
    "changedAt": 726000000.123456, "verificationStatus": "verified", "somethingNew": [1, 2]})";

template <typename T> void expectRoundTrip(const QList<T> &values)
{
    const QByteArray encoded = encodeJsonArray<T>(values);
    EXPECT_TRUE(decodeJsonArray<T>(encoded) == values) << encoded.toStdString();
}

TEST(ModelJson, RoundTripsAndReadsNullsWholeNumbersAndUnknownKeys)
{
    const AssociatedApp spaced = app(u"메모 App"_qs, u"memo app.desktop"_qs, u"/opt/내 앱"_qs);
    const AssociatedApp plain = app(u"New"_qs, u"new.desktop"_qs);
    // A time with sub-millisecond digits must come back bit for bit.
    expectRoundTrip<AssociationChangeRecord>(
        {{u"A1"_qs, u"md"_qs, u"text/markdown"_qs, std::nullopt, spaced, Timestamp(726000000.1234567),
          AssociationVerificationStatus::verified, std::nullopt},
         {u"B2"_qs, u"md"_qs, u"text/markdown"_qs, plain, spaced, Timestamp(-0.5),
          AssociationVerificationStatus::apiFailed, u"거부됨"_qs}});
    expectRoundTrip<FileAssociation>({{u"md"_qs, u"text/markdown"_qs, std::nullopt, {plain, spaced}},
                                      {u"md"_qs, u"text/markdown"_qs, spaced, {spaced}}});
    expectRoundTrip<RegisteredContentType>(
        {{u"md"_qs, u"text/markdown"_qs, u"memo.desktop"_qs}, {u"md"_qs, u"text/markdown"_qs, std::nullopt}});
    expectRoundTrip<ExtensionCategory>({ExtensionCategory::media});

    // Nulls for absent values, a whole number for a time, keys unknown to this version.
    EXPECT_EQ(
        decodeJsonObject<AssociationChangeRecord>(
            QByteArray(validRecord)
                .replace("726000000.123456", "5")
                .replace("\"somethingNew\"", "\"previousApp\": null, \"verificationMessage\": null, \"x\"")),
        AssociationChangeRecord(u"A1"_qs, u"md"_qs, u"text/markdown"_qs, std::nullopt, plain, Timestamp(5),
                                AssociationVerificationStatus::verified, std::nullopt));
}

// Reads the text as T; expects the failure to name its problem, record type and key, in Korean.
template <typename T>
void expectFailure(const QByteArray &json, JsonDecodingError::Problem problem, const QString &recordType,
                   const QString &key)
{
    try {
        decodeJsonObject<T>(json);
        ADD_FAILURE() << "read succeeded: " << json.toStdString();
    } catch (const JsonDecodingError &error) {
        const QString message = error.localizedDescription();
        EXPECT_EQ(error.problem(), problem) << message.toStdString();
        EXPECT_EQ(error.recordType(), recordType);
        EXPECT_EQ(error.key(), key);
        EXPECT_TRUE(message.startsWith(u"저장된 데이터를 읽을 수 없습니다"_qs) && message.contains(key))
            << message.toStdString();
    }
}

TEST(ModelJson, EveryKindOfFaultFailsTheWholeRecord)
{
    using P = JsonDecodingError::Problem;
    const QString record = u"AssociationChangeRecord"_qs;
    const QString app = u"AssociatedApp"_qs;
    // Each fault replaces a piece of the valid record's text.
    const struct {
        const char *from;
        const char *to;
        P problem;
        QString recordType;
        QString key;
    } faults[] = {
        {R"({"id")", R"({{"id")", P::notJson, record, {}},
        {R"("id": "A1",)", "", P::missingKey, record, u"id"_qs},
        {"726000000.123456", R"("2024-01-01T00:00:00Z")", P::wrongType, record, u"changedAt"_qs},
        {R"("verified")", R"("Verified")", P::unknownRawValue, record, u"verificationStatus"_qs},
        {R"("somethingNew")", R"("verificationMessage": 3, "x")", P::wrongType, record,
         u"verificationMessage"_qs},
        {R"("somethingNew")", R"("previousApp": "x", "x")", P::wrongType, app, {}},
        {"file:///usr/share/applications/new.desktop", "", P::invalidUrl, app, u"url"_qs},
        {"file:///usr/share/applications/new.desktop", "file:///a b", P::invalidUrl, app, u"url"_qs},
        {R"("New")", "null", P::wrongType, app, u"name"_qs},
    };
    for (const auto &fault : faults)
        expectFailure<AssociationChangeRecord>(QByteArray(validRecord).replace(fault.from, fault.to),
                                               fault.problem, fault.recordType, fault.key);

    // One bad element fails the list; a list is no object, nor an object a list.
    EXPECT_THROW(decodeJsonArray<AssociationChangeRecord>("[" + QByteArray(validRecord) + "," +
                                                          QByteArray(validRecord).replace("\"md\"", "7") +
                                                          "]"),
                 JsonDecodingError);
    EXPECT_THROW(decodeJsonArray<AssociationChangeRecord>("{}"), JsonDecodingError);
    EXPECT_THROW(decodeJsonObject<AssociationChangeRecord>("[]"), JsonDecodingError);
}

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

TEST(ModelOrders, ApplicationsGroupsAndHistory)
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
