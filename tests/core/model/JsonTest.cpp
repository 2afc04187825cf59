#include "core/model/ModelJson.h"
#include "support/SampleAssociations.h"

#include <gtest/gtest.h>

namespace halvora::test {
namespace {

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
    expectRoundTrip<RecentAssociationChange>(
        {{u"md"_qs, u"text/markdown"_qs, plain, spaced, Timestamp(1.5)}});
    expectRoundTrip<ExtensionCategory>({ExtensionCategory::media});

    // Nulls for absent values, a whole number for a time, keys unknown to this version.
    EXPECT_EQ(
        decodeJsonObject<AssociationChangeRecord>(
            QByteArray(validRecord)
                .replace("726000000.123456", "5")
                .replace("\"somethingNew\"", "\"previousApp\": null, \"verificationMessage\": null, \"x\"")),
        AssociationChangeRecord(u"A1"_qs, u"md"_qs, u"text/markdown"_qs, std::nullopt, plain, Timestamp(5),
                                AssociationVerificationStatus::verified, std::nullopt));
    EXPECT_FALSE(
        decodeJsonObject<FileAssociation>(
            R"({"fileExtension": "md", "contentTypeIdentifier": "t", "currentApp": null, "candidateApps": []})")
            .currentApp());
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
        {"726000000.123456", "null", P::wrongType, record, u"changedAt"_qs},
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
    expectFailure<FileAssociation>(R"({"fileExtension": "md", "contentTypeIdentifier": "t",
        "candidateApps": [{"name": "A", "bundleIdentifier": "a"}]})",
                                   P::missingKey, app, u"url"_qs);
    expectFailure<RecentAssociationChange>(
        QByteArray(validRecord).replace("\"somethingNew\"", "\"previousApp\": null, \"x\""), P::wrongType,
        app, {});

    // One bad element fails the list; a list is no object, nor an object a list.
    EXPECT_THROW(decodeJsonArray<AssociationChangeRecord>("[" + QByteArray(validRecord) + "," +
                                                          QByteArray(validRecord).replace("\"md\"", "7") +
                                                          "]"),
                 JsonDecodingError);
    EXPECT_THROW(decodeJsonArray<AssociationChangeRecord>("{}"), JsonDecodingError);
    EXPECT_THROW(decodeJsonObject<AssociationChangeRecord>("[]"), JsonDecodingError);
}

} // namespace
} // namespace halvora::test
