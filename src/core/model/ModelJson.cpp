#include "core/model/ModelJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <utility>

namespace halvora {

namespace {

using Problem = JsonDecodingError::Problem;

QString describeProblem(Problem problem, const QString &recordType, const QString &key, const QString &detail)
{
    const QString lead = QStringLiteral("저장된 데이터를 읽을 수 없습니다: ");
    const QString what = key.isEmpty() ? recordType + QStringLiteral(" 값")
                                       : recordType + QStringLiteral("의 '") + key + QStringLiteral("' 값");
    switch (problem) {
    case Problem::notJson:
        return lead + recordType + QStringLiteral("의 데이터가 올바른 JSON 문서가 아닙니다") +
               (detail.isEmpty() ? QString() : QStringLiteral(" (위치 ") + detail + u')') + u'.';
    case Problem::missingKey:
        return lead + recordType + QStringLiteral("에 '") + key + QStringLiteral("' 값이 없습니다.");
    case Problem::wrongType:
        return lead + what + QStringLiteral("의 형식이 올바르지 않습니다.");
    case Problem::unknownRawValue:
        return lead + what + QStringLiteral(" '") + detail + QStringLiteral("'은(는) 알 수 없는 값입니다.");
    case Problem::invalidUrl:
        return lead + what + QStringLiteral(" '") + detail + QStringLiteral("'은(는) 올바른 URL이 아닙니다.");
    }
    return lead + what;
}

// Reads the keys of one JSON object on behalf of one record type, so that every failure
// names the record and the key.
class ObjectReader {
public:
    ObjectReader(const QJsonValue &json, QString recordType) : recordType_(std::move(recordType))
    {
        if (!json.isObject())
            throw JsonDecodingError(Problem::wrongType, recordType_, QString());
        object_ = json.toObject();
    }

    QJsonValue required(const QString &key) const
    {
        const QJsonValue value = object_.value(key);
        if (value.isUndefined())
            throw JsonDecodingError(Problem::missingKey, recordType_, key);
        return value;
    }

    // Missing and null both mean absent.
    std::optional<QJsonValue> optional(const QString &key) const
    {
        const QJsonValue value = object_.value(key);
        if (value.isUndefined() || value.isNull())
            return std::nullopt;
        return value;
    }

    QString string(const QString &key) const { return asString(key, required(key)); }

    std::optional<QString> optionalString(const QString &key) const
    {
        if (std::optional<QJsonValue> value = optional(key))
            return asString(key, *value);
        return std::nullopt;
    }

    double number(const QString &key) const
    {
        const QJsonValue value = required(key);
        if (!value.isDouble())
            throw JsonDecodingError(Problem::wrongType, recordType_, key);
        return value.toDouble();
    }

    QJsonArray array(const QString &key) const
    {
        const QJsonValue value = required(key);
        if (!value.isArray())
            throw JsonDecodingError(Problem::wrongType, recordType_, key);
        return value.toArray();
    }

    template <typename E> E rawValue(const QString &key) const
    {
        const QString raw = string(key);
        if (std::optional<E> value = fromRawValue<E>(raw))
            return *value;
        throw JsonDecodingError(Problem::unknownRawValue, recordType_, key, raw);
    }

    QUrl url(const QString &key) const
    {
        const QString text = string(key);
        QUrl url(text, QUrl::StrictMode);
        if (text.isEmpty() || !url.isValid())
            throw JsonDecodingError(Problem::invalidUrl, recordType_, key, text);
        // QUrl keeps some characters as typed the first time and percent-encoded after one
        // write ("#" inside a fragment); reading the encoded form makes a stored record
        // compare equal to itself after it is written back.
        return QUrl::fromEncoded(url.toEncoded(), QUrl::StrictMode);
    }

private:
    QString asString(const QString &key, const QJsonValue &value) const
    {
        if (!value.isString())
            throw JsonDecodingError(Problem::wrongType, recordType_, key);
        return value.toString();
    }

    QString recordType_;
    QJsonObject object_;
};

QJsonArray appsToJson(const QList<AssociatedApp> &apps)
{
    QJsonArray array;
    for (const AssociatedApp &app : apps)
        array.append(toJson(app));
    return array;
}

// The record's name as messages show it.
template <typename T> QString typeName();
template <> QString typeName<AssociatedApp>()
{
    return QStringLiteral("AssociatedApp");
}
template <> QString typeName<FileAssociation>()
{
    return QStringLiteral("FileAssociation");
}
template <> QString typeName<RegisteredContentType>()
{
    return QStringLiteral("RegisteredContentType");
}
template <> QString typeName<AssociationChangeRecord>()
{
    return QStringLiteral("AssociationChangeRecord");
}
template <> QString typeName<RecentAssociationChange>()
{
    return QStringLiteral("RecentAssociationChange");
}
template <> QString typeName<AssociationVerificationStatus>()
{
    return QStringLiteral("AssociationVerificationStatus");
}
template <> QString typeName<BulkAssociationRowStatus>()
{
    return QStringLiteral("BulkAssociationRowStatus");
}
template <> QString typeName<ExtensionCategory>()
{
    return QStringLiteral("ExtensionCategory");
}

template <typename T> QString listName()
{
    return typeName<T>() + QStringLiteral(" 목록");
}

template <typename E> E enumFromJson(const QJsonValue &json)
{
    if (!json.isString())
        throw JsonDecodingError(Problem::wrongType, typeName<E>(), QString());
    if (std::optional<E> value = fromRawValue<E>(json.toString()))
        return *value;
    throw JsonDecodingError(Problem::unknownRawValue, typeName<E>(), QString(), json.toString());
}

QJsonDocument parseDocument(const QByteArray &utf8, const QString &typeName)
{
    QJsonParseError error;
    QJsonDocument document = QJsonDocument::fromJson(utf8, &error);
    if (error.error != QJsonParseError::NoError)
        throw JsonDecodingError(Problem::notJson, typeName, QString(), QString::number(error.offset));
    return document;
}

} // namespace

JsonDecodingError::JsonDecodingError(Problem problem, QString recordType, QString key, QString detail)
    : LocalizedError(describeProblem(problem, recordType, key, detail)), problem_(problem),
      recordType_(std::move(recordType)), key_(std::move(key))
{}

// --- Writing --------------------------------------------------------------------------

QJsonValue toJson(const AssociatedApp &value)
{
    return QJsonObject{
        {u"name"_qs, value.name()},
        {u"bundleIdentifier"_qs, value.bundleIdentifier()},
        // Fully encoded, so that the text reads back under strict parsing.
        {u"url"_qs, QString::fromUtf8(value.url().toEncoded())},
    };
}

QJsonValue toJson(const FileAssociation &value)
{
    QJsonObject object{
        {u"fileExtension"_qs, value.fileExtension()},
        {u"contentTypeIdentifier"_qs, value.contentTypeIdentifier()},
        {u"candidateApps"_qs, appsToJson(value.candidateApps())},
    };
    if (value.currentApp())
        object.insert(u"currentApp"_qs, toJson(*value.currentApp()));
    return object;
}

QJsonValue toJson(const RegisteredContentType &value)
{
    QJsonObject object{
        {u"fileExtension"_qs, value.fileExtension()},
        {u"contentTypeIdentifier"_qs, value.contentTypeIdentifier()},
    };
    if (value.handlerBundleIdentifier())
        object.insert(u"handlerBundleIdentifier"_qs, *value.handlerBundleIdentifier());
    return object;
}

QJsonValue toJson(AssociationVerificationStatus value)
{
    return rawValue(value);
}

QJsonValue toJson(const AssociationChangeRecord &value)
{
    QJsonObject object{
        {u"id"_qs, value.id()},
        {u"fileExtension"_qs, value.fileExtension()},
        {u"contentTypeIdentifier"_qs, value.contentTypeIdentifier()},
        {u"replacementApp"_qs, toJson(value.replacementApp())},
        {u"changedAt"_qs, value.changedAt().secondsSinceReferenceDate()},
        {u"verificationStatus"_qs, toJson(value.verificationStatus())},
    };
    if (value.previousApp())
        object.insert(u"previousApp"_qs, toJson(*value.previousApp()));
    if (value.verificationMessage())
        object.insert(u"verificationMessage"_qs, *value.verificationMessage());
    return object;
}

QJsonValue toJson(const RecentAssociationChange &value)
{
    return QJsonObject{
        {u"fileExtension"_qs, value.fileExtension()},
        {u"contentTypeIdentifier"_qs, value.contentTypeIdentifier()},
        {u"previousApp"_qs, toJson(value.previousApp())},
        {u"replacementApp"_qs, toJson(value.replacementApp())},
        {u"changedAt"_qs, value.changedAt().secondsSinceReferenceDate()},
    };
}

QJsonValue toJson(BulkAssociationRowStatus value)
{
    return rawValue(value);
}

QJsonValue toJson(ExtensionCategory value)
{
    return rawValue(value);
}

// --- Reading --------------------------------------------------------------------------

template <> AssociatedApp fromJson<AssociatedApp>(const QJsonValue &json)
{
    const ObjectReader reader(json, typeName<AssociatedApp>());
    return AssociatedApp(reader.string(u"name"_qs), reader.string(u"bundleIdentifier"_qs),
                         reader.url(u"url"_qs));
}

template <> FileAssociation fromJson<FileAssociation>(const QJsonValue &json)
{
    const ObjectReader reader(json, typeName<FileAssociation>());
    QString fileExtension = reader.string(u"fileExtension"_qs);
    QString contentTypeIdentifier = reader.string(u"contentTypeIdentifier"_qs);
    std::optional<AssociatedApp> currentApp;
    if (std::optional<QJsonValue> value = reader.optional(u"currentApp"_qs))
        currentApp = fromJson<AssociatedApp>(*value);
    QList<AssociatedApp> candidates;
    for (const QJsonValue &candidate : reader.array(u"candidateApps"_qs))
        candidates.append(fromJson<AssociatedApp>(candidate));
    return FileAssociation(std::move(fileExtension), std::move(contentTypeIdentifier), std::move(currentApp),
                           std::move(candidates));
}

template <> RegisteredContentType fromJson<RegisteredContentType>(const QJsonValue &json)
{
    const ObjectReader reader(json, typeName<RegisteredContentType>());
    return RegisteredContentType(reader.string(u"fileExtension"_qs),
                                 reader.string(u"contentTypeIdentifier"_qs),
                                 reader.optionalString(u"handlerBundleIdentifier"_qs));
}

template <> AssociationVerificationStatus fromJson<AssociationVerificationStatus>(const QJsonValue &json)
{
    return enumFromJson<AssociationVerificationStatus>(json);
}

template <> AssociationChangeRecord fromJson<AssociationChangeRecord>(const QJsonValue &json)
{
    const ObjectReader reader(json, typeName<AssociationChangeRecord>());
    QString id = reader.string(u"id"_qs);
    QString fileExtension = reader.string(u"fileExtension"_qs);
    QString contentTypeIdentifier = reader.string(u"contentTypeIdentifier"_qs);
    std::optional<AssociatedApp> previousApp;
    if (std::optional<QJsonValue> value = reader.optional(u"previousApp"_qs))
        previousApp = fromJson<AssociatedApp>(*value);
    AssociatedApp replacementApp = fromJson<AssociatedApp>(reader.required(u"replacementApp"_qs));
    const Timestamp changedAt(reader.number(u"changedAt"_qs));
    const auto status = reader.rawValue<AssociationVerificationStatus>(u"verificationStatus"_qs);
    return AssociationChangeRecord(std::move(id), std::move(fileExtension), std::move(contentTypeIdentifier),
                                   std::move(previousApp), std::move(replacementApp), changedAt, status,
                                   reader.optionalString(u"verificationMessage"_qs));
}

template <> RecentAssociationChange fromJson<RecentAssociationChange>(const QJsonValue &json)
{
    const ObjectReader reader(json, typeName<RecentAssociationChange>());
    QString fileExtension = reader.string(u"fileExtension"_qs);
    QString contentTypeIdentifier = reader.string(u"contentTypeIdentifier"_qs);
    AssociatedApp previousApp = fromJson<AssociatedApp>(reader.required(u"previousApp"_qs));
    AssociatedApp replacementApp = fromJson<AssociatedApp>(reader.required(u"replacementApp"_qs));
    return RecentAssociationChange(std::move(fileExtension), std::move(contentTypeIdentifier),
                                   std::move(previousApp), std::move(replacementApp),
                                   Timestamp(reader.number(u"changedAt"_qs)));
}

template <> BulkAssociationRowStatus fromJson<BulkAssociationRowStatus>(const QJsonValue &json)
{
    return enumFromJson<BulkAssociationRowStatus>(json);
}

template <> ExtensionCategory fromJson<ExtensionCategory>(const QJsonValue &json)
{
    return enumFromJson<ExtensionCategory>(json);
}

// --- Documents ------------------------------------------------------------------------

template <typename T> QByteArray encodeJsonArray(const QList<T> &values)
{
    QJsonArray array;
    for (const T &value : values)
        array.append(toJson(value));
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

template <typename T> QList<T> decodeJsonArray(const QByteArray &utf8)
{
    const QJsonDocument document = parseDocument(utf8, listName<T>());
    if (!document.isArray())
        throw JsonDecodingError(Problem::wrongType, listName<T>(), QString());
    const QJsonArray array = document.array();
    QList<T> values;
    values.reserve(array.size());
    for (const QJsonValue &element : array)
        values.append(fromJson<T>(element));
    return values;
}

template <typename T> QByteArray encodeJsonObject(const T &value)
{
    return QJsonDocument(toJson(value).toObject()).toJson(QJsonDocument::Compact);
}

template <typename T> T decodeJsonObject(const QByteArray &utf8)
{
    const QJsonDocument document = parseDocument(utf8, typeName<T>());
    return fromJson<T>(document.isObject() ? QJsonValue(document.object()) : QJsonValue());
}

#define HALVORA_JSON_ARRAY(T)                                                                                \
    template QByteArray encodeJsonArray<T>(const QList<T> &);                                                \
    template QList<T> decodeJsonArray<T>(const QByteArray &);
#define HALVORA_JSON_OBJECT(T)                                                                               \
    template QByteArray encodeJsonObject<T>(const T &);                                                      \
    template T decodeJsonObject<T>(const QByteArray &);

HALVORA_JSON_ARRAY(AssociatedApp)
HALVORA_JSON_ARRAY(FileAssociation)
HALVORA_JSON_ARRAY(RegisteredContentType)
HALVORA_JSON_ARRAY(AssociationChangeRecord)
HALVORA_JSON_ARRAY(RecentAssociationChange)
HALVORA_JSON_ARRAY(AssociationVerificationStatus)
HALVORA_JSON_ARRAY(BulkAssociationRowStatus)
HALVORA_JSON_ARRAY(ExtensionCategory)
HALVORA_JSON_OBJECT(AssociatedApp)
HALVORA_JSON_OBJECT(FileAssociation)
HALVORA_JSON_OBJECT(RegisteredContentType)
HALVORA_JSON_OBJECT(AssociationChangeRecord)
HALVORA_JSON_OBJECT(RecentAssociationChange)

} // namespace halvora
