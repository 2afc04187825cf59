#pragma once

#include "core/model/ExtensionCatalog.h"
#include "core/model/LocalizedError.h"
#include "core/model/Models.h"

#include <QByteArray>
#include <QJsonValue>
#include <QList>
#include <QString>

namespace halvora {

// A JSON value that does not have the form of the record being read. Says which key of
// which record was wrong; the whole record fails.
class JsonDecodingError : public LocalizedError {
public:
    enum class Problem { notJson, missingKey, wrongType, unknownRawValue, invalidUrl };

    JsonDecodingError(Problem problem, QString recordType, QString key, QString detail = {});

    Problem problem() const { return problem_; }
    const QString &recordType() const { return recordType_; }
    const QString &key() const { return key_; }

    HALVORA_LOCALIZED_ERROR_CLONE(JsonDecodingError)

private:
    Problem problem_;
    QString recordType_;
    QString key_;
};

// Writing leaves out absent optional keys.
QJsonValue toJson(const AssociatedApp &value);
QJsonValue toJson(const FileAssociation &value);
QJsonValue toJson(const RegisteredContentType &value);
QJsonValue toJson(AssociationVerificationStatus value);
QJsonValue toJson(const AssociationChangeRecord &value);
QJsonValue toJson(const RecentAssociationChange &value);
QJsonValue toJson(BulkAssociationRowStatus value);
QJsonValue toJson(ExtensionCategory value);

// Reading accepts a missing key or null for optional keys, ignores unknown keys, and
// throws JsonDecodingError. Specialised for every type above.
template <typename T> T fromJson(const QJsonValue &json);
template <> AssociatedApp fromJson<AssociatedApp>(const QJsonValue &json);
template <> FileAssociation fromJson<FileAssociation>(const QJsonValue &json);
template <> RegisteredContentType fromJson<RegisteredContentType>(const QJsonValue &json);
template <> AssociationVerificationStatus fromJson<AssociationVerificationStatus>(const QJsonValue &json);
template <> AssociationChangeRecord fromJson<AssociationChangeRecord>(const QJsonValue &json);
template <> RecentAssociationChange fromJson<RecentAssociationChange>(const QJsonValue &json);
template <> BulkAssociationRowStatus fromJson<BulkAssociationRowStatus>(const QJsonValue &json);
template <> ExtensionCategory fromJson<ExtensionCategory>(const QJsonValue &json);

// A JSON array of records as compact UTF-8, and back (JsonDecodingError on any fault).
template <typename T> QByteArray encodeJsonArray(const QList<T> &values);
template <typename T> QList<T> decodeJsonArray(const QByteArray &utf8);
// One JSON object as compact UTF-8, and back.
template <typename T> QByteArray encodeJsonObject(const T &value);
template <typename T> T decodeJsonObject(const QByteArray &utf8);

// Instantiated in the library: arrays of every type above, single objects of the five records.
extern template QByteArray encodeJsonArray<AssociatedApp>(const QList<AssociatedApp> &);
extern template QList<AssociatedApp> decodeJsonArray<AssociatedApp>(const QByteArray &);
extern template QByteArray encodeJsonArray<FileAssociation>(const QList<FileAssociation> &);
extern template QList<FileAssociation> decodeJsonArray<FileAssociation>(const QByteArray &);
extern template QByteArray encodeJsonArray<RegisteredContentType>(const QList<RegisteredContentType> &);
extern template QList<RegisteredContentType> decodeJsonArray<RegisteredContentType>(const QByteArray &);
extern template QByteArray encodeJsonArray<AssociationChangeRecord>(const QList<AssociationChangeRecord> &);
extern template QList<AssociationChangeRecord> decodeJsonArray<AssociationChangeRecord>(const QByteArray &);
extern template QByteArray encodeJsonArray<RecentAssociationChange>(const QList<RecentAssociationChange> &);
extern template QList<RecentAssociationChange> decodeJsonArray<RecentAssociationChange>(const QByteArray &);
extern template QByteArray
encodeJsonArray<AssociationVerificationStatus>(const QList<AssociationVerificationStatus> &);
extern template QList<AssociationVerificationStatus>
decodeJsonArray<AssociationVerificationStatus>(const QByteArray &);
extern template QByteArray encodeJsonArray<BulkAssociationRowStatus>(const QList<BulkAssociationRowStatus> &);
extern template QList<BulkAssociationRowStatus> decodeJsonArray<BulkAssociationRowStatus>(const QByteArray &);
extern template QByteArray encodeJsonArray<ExtensionCategory>(const QList<ExtensionCategory> &);
extern template QList<ExtensionCategory> decodeJsonArray<ExtensionCategory>(const QByteArray &);
extern template QByteArray encodeJsonObject<AssociatedApp>(const AssociatedApp &);
extern template AssociatedApp decodeJsonObject<AssociatedApp>(const QByteArray &);
extern template QByteArray encodeJsonObject<FileAssociation>(const FileAssociation &);
extern template FileAssociation decodeJsonObject<FileAssociation>(const QByteArray &);
extern template QByteArray encodeJsonObject<RegisteredContentType>(const RegisteredContentType &);
extern template RegisteredContentType decodeJsonObject<RegisteredContentType>(const QByteArray &);
extern template QByteArray encodeJsonObject<AssociationChangeRecord>(const AssociationChangeRecord &);
extern template AssociationChangeRecord decodeJsonObject<AssociationChangeRecord>(const QByteArray &);
extern template QByteArray encodeJsonObject<RecentAssociationChange>(const RecentAssociationChange &);
extern template RecentAssociationChange decodeJsonObject<RecentAssociationChange>(const QByteArray &);

} // namespace halvora
