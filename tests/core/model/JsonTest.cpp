#include "core/model/ModelJson.h"
#include "support/SampleAssociations.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace halvora::test {
namespace {

QJsonObject parse(const char *json)
{
    return QJsonDocument::fromJson(QByteArray(json)).object();
}

const char *validRecord = R"({"id": "A1", "fileExtension": "md", "contentTypeIdentifier": "text/markdown",
    "replacementApp": {"name": "New", "bundleIdentifier": "new.desktop", "url": "file:///a/new.desktop"},
    "changedAt": 726000000.123456, "verificationStatus": "verified", "somethingNew": [1, 2]})";

template <typename T> void expectRoundTrip(const QList<T> &values)
{
    const QByteArray encoded = encodeJsonArray<T>(values);
    const QList<T> back = decodeJsonArray<T>(encoded);
    EXPECT_TRUE(back == values) << encoded.toStdString();
    EXPECT_EQ(encodeJsonArray<T>(back), encoded);
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

    QJsonObject json = parse(validRecord);
    json.insert(u"previousApp"_qs, QJsonValue::Null);
    json.insert(u"verificationMessage"_qs, QJsonValue::Null);
    const AssociationChangeRecord record = fromJson<AssociationChangeRecord>(json);
    EXPECT_FALSE(record.previousApp() || record.verificationMessage());
    EXPECT_EQ(record.changedAt().secondsSinceReferenceDate(), 726000000.123456);
    EXPECT_EQ(record.replacementApp().url(), QUrl::fromLocalFile(u"/a/new.desktop"_qs));
    json.insert(u"changedAt"_qs, 5); // a whole number is still a number
    EXPECT_EQ(fromJson<AssociationChangeRecord>(json).changedAt(), Timestamp(5));
    EXPECT_FALSE(fromJson<FileAssociation>(parse(R"({"fileExtension": "md", "contentTypeIdentifier": "t",
        "currentApp": null, "candidateApps": []})"))
                     .currentApp());
}

// Reads the value as T; expects the failure to name its problem, record type and key.
template <typename T>
void expectFailure(const QJsonObject &json, JsonDecodingError::Problem problem, const QString &recordType,
                   const QString &key)
{
    try {
        fromJson<T>(json);
        ADD_FAILURE() << "read succeeded: " << QJsonDocument(json).toJson().toStdString();
    } catch (const JsonDecodingError &error) {
        EXPECT_EQ(error.problem(), problem) << error.localizedDescription().toStdString();
        EXPECT_EQ(error.recordType(), recordType);
        EXPECT_EQ(error.key(), key);
        EXPECT_TRUE(error.localizedDescription().contains(key)) << error.localizedDescription().toStdString();
    }
}

TEST(ModelJson, EveryKindOfFaultFailsTheWholeRecord)
{
    using P = JsonDecodingError::Problem;
    const QJsonObject valid = parse(validRecord);
    auto with = [&](const QString &key, const QJsonValue &value) {
        QJsonObject changed = valid;
        value.isUndefined() ? void(changed.remove(key)) : void(changed.insert(key, value));
        return changed;
    };
    auto withApp = [&](const QString &key, const QJsonValue &value) {
        QJsonObject appJson = valid.value(u"replacementApp"_qs).toObject();
        appJson.insert(key, value);
        return with(u"replacementApp"_qs, appJson);
    };
    const QString record = u"AssociationChangeRecord"_qs;
    const QString app = u"AssociatedApp"_qs;
    const struct {
        QJsonObject json;
        P problem;
        QString recordType;
        QString key;
    } faults[] = {
        {with(u"id"_qs, QJsonValue::Undefined), P::missingKey, record, u"id"_qs},
        {with(u"changedAt"_qs, u"2024-01-01T00:00:00Z"_qs), P::wrongType, record, u"changedAt"_qs},
        {with(u"changedAt"_qs, QJsonValue::Null), P::wrongType, record, u"changedAt"_qs},
        {with(u"verificationStatus"_qs, u"Verified"_qs), P::unknownRawValue, record,
         u"verificationStatus"_qs},
        {with(u"verificationMessage"_qs, 3), P::wrongType, record, u"verificationMessage"_qs},
        {with(u"previousApp"_qs, u"x"_qs), P::wrongType, app, QString()},
        {withApp(u"url"_qs, u""_qs), P::invalidUrl, app, u"url"_qs},
        {withApp(u"url"_qs, u"file:///a b"_qs), P::invalidUrl, app, u"url"_qs},
        {withApp(u"name"_qs, QJsonValue::Null), P::wrongType, app, u"name"_qs},
    };
    for (const auto &fault : faults)
        expectFailure<AssociationChangeRecord>(fault.json, fault.problem, fault.recordType, fault.key);
    expectFailure<FileAssociation>(parse(R"({"fileExtension": "md", "contentTypeIdentifier": "t",
        "candidateApps": [{"name": "A", "bundleIdentifier": "a"}]})"),
                                   P::missingKey, app, u"url"_qs);
    expectFailure<RecentAssociationChange>(with(u"previousApp"_qs, QJsonValue::Null), P::wrongType, app, {});

    // Documents: one bad element fails the list; text that is not JSON says so in Korean.
    const QByteArray list = "[" + QJsonDocument(valid).toJson() + "," +
                            QJsonDocument(with(u"fileExtension"_qs, 7)).toJson() + "]";
    EXPECT_THROW(decodeJsonArray<AssociationChangeRecord>(list), JsonDecodingError);
    try {
        decodeJsonArray<AssociationChangeRecord>("[{\"id\": ");
        FAIL() << "read succeeded";
    } catch (const JsonDecodingError &error) {
        EXPECT_EQ(error.problem(), P::notJson);
        EXPECT_TRUE(error.localizedDescription().startsWith(u"저장된 데이터를 읽을 수 없습니다"_qs));
    }
    EXPECT_THROW(decodeJsonArray<AssociationChangeRecord>("{}"), JsonDecodingError);
    EXPECT_THROW(decodeJsonObject<AssociationChangeRecord>("[]"), JsonDecodingError);
}

} // namespace
} // namespace halvora::test
