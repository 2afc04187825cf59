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

// A JSON array of records as compact UTF-8, and back (JsonDecodingError on any fault).
template <typename T> QByteArray encodeJsonArray(const QList<T> &values);
template <typename T> QList<T> decodeJsonArray(const QByteArray &utf8);
// One JSON object as compact UTF-8, and back.
template <typename T> QByteArray encodeJsonObject(const T &value);
template <typename T> T decodeJsonObject(const QByteArray &utf8);

} // namespace halvora
