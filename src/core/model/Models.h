#pragma once

#include "core/model/DefaultApplicationOrigin.h"
#include "core/model/EnumTraits.h"
#include "core/model/Timestamp.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QUrl>

#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>

namespace halvora {

// An application that can open files. On Linux the bundle identifier is the desktop-file
// ID and the URL is the file URL of the desktop entry.
class AssociatedApp {
public:
    AssociatedApp(QString name, QString bundleIdentifier, QUrl url);

    const QString &name() const { return name_; }
    const QString &bundleIdentifier() const { return bundleIdentifier_; }
    const QUrl &url() const { return url_; }

    // bundleIdentifier "|" percent-decoded path without a trailing slash.
    QString id() const;

    bool operator==(const AssociatedApp &) const = default;

private:
    QString name_;
    QString bundleIdentifier_;
    QUrl url_;
};

// What the system does with one file-name extension.
class FileAssociation {
public:
    FileAssociation(QString fileExtension, QString contentTypeIdentifier,
                    std::optional<AssociatedApp> currentApp, QList<AssociatedApp> candidateApps);

    const QString &fileExtension() const { return fileExtension_; }
    const QString &contentTypeIdentifier() const { return contentTypeIdentifier_; }
    const std::optional<AssociatedApp> &currentApp() const { return currentApp_; }
    const QList<AssociatedApp> &candidateApps() const { return candidateApps_; }

    const QString &id() const { return fileExtension_; }

    // Why the current application is the default, when the platform can tell. An
    // explanation beside the association: not part of its identity or stored form.
    const std::shared_ptr<const DefaultApplicationOrigin> &origin() const { return origin_; }
    void setOrigin(std::shared_ptr<const DefaultApplicationOrigin> origin) { origin_ = std::move(origin); }

    bool operator==(const FileAssociation &other) const
    {
        return fileExtension_ == other.fileExtension_ &&
               contentTypeIdentifier_ == other.contentTypeIdentifier_ && currentApp_ == other.currentApp_ &&
               candidateApps_ == other.candidateApps_;
    }

private:
    QString fileExtension_;
    QString contentTypeIdentifier_;
    std::optional<AssociatedApp> currentApp_;
    QList<AssociatedApp> candidateApps_;
    std::shared_ptr<const DefaultApplicationOrigin> origin_;
};

// A content type that the per-user handler list names, with its preferred extension.
class RegisteredContentType {
public:
    RegisteredContentType(QString fileExtension, QString contentTypeIdentifier,
                          std::optional<QString> handlerBundleIdentifier);

    const QString &fileExtension() const { return fileExtension_; }
    const QString &contentTypeIdentifier() const { return contentTypeIdentifier_; }
    const std::optional<QString> &handlerBundleIdentifier() const { return handlerBundleIdentifier_; }

    QString id() const;

    bool operator==(const RegisteredContentType &) const = default;

private:
    QString fileExtension_;
    QString contentTypeIdentifier_;
    std::optional<QString> handlerBundleIdentifier_;
};

// One entry of the per-user handler list.
class LaunchServicesContentTypeHandler {
public:
    LaunchServicesContentTypeHandler(QString contentTypeIdentifier,
                                     std::optional<QString> handlerBundleIdentifier);

    const QString &contentTypeIdentifier() const { return contentTypeIdentifier_; }
    const std::optional<QString> &handlerBundleIdentifier() const { return handlerBundleIdentifier_; }

    bool operator==(const LaunchServicesContentTypeHandler &) const = default;

private:
    QString contentTypeIdentifier_;
    std::optional<QString> handlerBundleIdentifier_;
};

// A single change of default application waiting for the user's confirmation.
class PendingAssociationChange {
public:
    PendingAssociationChange(FileAssociation association, AssociatedApp replacementApp);

    const FileAssociation &association() const { return association_; }
    const AssociatedApp &replacementApp() const { return replacementApp_; }

    QString id() const;
    // ".pdf의 기본 앱을 Viewer(으)로 변경합니다.", the sentence the user confirms.
    QString confirmationText() const;

    bool operator==(const PendingAssociationChange &) const = default;

private:
    FileAssociation association_;
    AssociatedApp replacementApp_;
};

// Keeps the first application of each identity, in input order.
QList<AssociatedApp> uniquedByAppIdentity(const QList<AssociatedApp> &apps);

// --- Change records -------------------------------------------------------------------

enum class AssociationVerificationStatus {
    verified,
    apiFailed,
    verificationFailed,
    undoVerified,
    undoFailed
};

template <> struct EnumTraits<AssociationVerificationStatus> {
    static constexpr std::array allCases{
        AssociationVerificationStatus::verified, AssociationVerificationStatus::apiFailed,
        AssociationVerificationStatus::verificationFailed, AssociationVerificationStatus::undoVerified,
        AssociationVerificationStatus::undoFailed};
    static QString rawValue(AssociationVerificationStatus status);
};

QString title(AssociationVerificationStatus status);
QString systemImageName(AssociationVerificationStatus status);
bool isFailure(AssociationVerificationStatus status);

// One entry of the change history.
class AssociationChangeRecord {
public:
    AssociationChangeRecord(QString id, QString fileExtension, QString contentTypeIdentifier,
                            std::optional<AssociatedApp> previousApp, AssociatedApp replacementApp,
                            Timestamp changedAt, AssociationVerificationStatus verificationStatus,
                            std::optional<QString> verificationMessage);

    const QString &id() const { return id_; }
    const QString &fileExtension() const { return fileExtension_; }
    const QString &contentTypeIdentifier() const { return contentTypeIdentifier_; }
    const std::optional<AssociatedApp> &previousApp() const { return previousApp_; }
    const AssociatedApp &replacementApp() const { return replacementApp_; }
    Timestamp changedAt() const { return changedAt_; }
    AssociationVerificationStatus verificationStatus() const { return verificationStatus_; }
    const std::optional<QString> &verificationMessage() const { return verificationMessage_; }
    // "이전 -> 다음", with "없음" when nothing opened the extension before.
    QString changeDescription() const;
    // There is an app to go back to, and the change has not been undone already.
    bool canBeUndone() const
    {
        return previousApp_ && verificationStatus_ != AssociationVerificationStatus::undoVerified;
    }

    // A copy with status and message replaced (the message even when absent).
    AssociationChangeRecord updating(AssociationVerificationStatus verificationStatus,
                                     std::optional<QString> verificationMessage) const;

    bool operator==(const AssociationChangeRecord &) const = default;

private:
    QString id_;
    QString fileExtension_;
    QString contentTypeIdentifier_;
    std::optional<AssociatedApp> previousApp_;
    AssociatedApp replacementApp_;
    Timestamp changedAt_;
    AssociationVerificationStatus verificationStatus_;
    std::optional<QString> verificationMessage_;
};

// The single-record form of an earlier version, still read once and migrated.
class RecentAssociationChange {
public:
    RecentAssociationChange(QString fileExtension, QString contentTypeIdentifier, AssociatedApp previousApp,
                            AssociatedApp replacementApp, Timestamp changedAt);

    const QString &fileExtension() const { return fileExtension_; }
    const QString &contentTypeIdentifier() const { return contentTypeIdentifier_; }
    const AssociatedApp &previousApp() const { return previousApp_; }
    const AssociatedApp &replacementApp() const { return replacementApp_; }
    Timestamp changedAt() const { return changedAt_; }

    // fileExtension "|" seconds since 1970 in shortest round-trip decimal with a fraction.
    QString id() const;
    AssociationChangeRecord toChangeRecord() const;

    bool operator==(const RecentAssociationChange &) const = default;

private:
    QString fileExtension_;
    QString contentTypeIdentifier_;
    AssociatedApp previousApp_;
    AssociatedApp replacementApp_;
    Timestamp changedAt_;
};

// Shortest decimal text that reads back to the same double, never in exponent form and
// always with a fractional part: 3.5 -> "3.5", 3 -> "3.0".
QString shortestDecimalWithFraction(double value);

// A fresh identity for a new change record: a random UUID, upper-case, 36 characters.
QString newRecordIdentifier();

// --- Bulk plans -----------------------------------------------------------------------

enum class BulkAssociationRowStatus { ready, skipped, blocked };

template <> struct EnumTraits<BulkAssociationRowStatus> {
    static constexpr std::array allCases{BulkAssociationRowStatus::ready, BulkAssociationRowStatus::skipped,
                                         BulkAssociationRowStatus::blocked};
    static QString rawValue(BulkAssociationRowStatus status);
};

QString title(BulkAssociationRowStatus status);
QString systemImageName(BulkAssociationRowStatus status);

class BulkAssociationChangeRow {
public:
    BulkAssociationChangeRow(FileAssociation association, AssociatedApp targetApp,
                             BulkAssociationRowStatus status, std::optional<QString> note);

    const FileAssociation &association() const { return association_; }
    const AssociatedApp &targetApp() const { return targetApp_; }
    BulkAssociationRowStatus status() const { return status_; }
    const std::optional<QString> &note() const { return note_; }

    const QString &id() const { return association_.fileExtension(); }

    bool operator==(const BulkAssociationChangeRow &) const = default;

private:
    FileAssociation association_;
    AssociatedApp targetApp_;
    BulkAssociationRowStatus status_;
    std::optional<QString> note_;
};

class BulkAssociationChangePlan {
public:
    BulkAssociationChangePlan(AssociatedApp targetApp, QList<BulkAssociationChangeRow> rows);

    const AssociatedApp &targetApp() const { return targetApp_; }
    const QList<BulkAssociationChangeRow> &rows() const { return rows_; }

    QString id() const;
    QList<BulkAssociationChangeRow> readyRows() const;
    int readyCount() const;
    int skippedCount() const;
    int blockedCount() const;

    bool operator==(const BulkAssociationChangePlan &) const = default;

private:
    AssociatedApp targetApp_;
    QList<BulkAssociationChangeRow> rows_;
};

class BulkAssociationApplySummary {
public:
    // unrecordedCount: rows the system was asked to change but whose record could not be
    // stored; they count neither as verified nor as failed.
    BulkAssociationApplySummary(int verifiedCount, int failedCount, int skippedCount, int blockedCount,
                                int unrecordedCount = 0);

    int verifiedCount() const { return verifiedCount_; }
    int failedCount() const { return failedCount_; }
    int skippedCount() const { return skippedCount_; }
    int blockedCount() const { return blockedCount_; }
    int unrecordedCount() const { return unrecordedCount_; }

    // "검증 완료 N개, 실패 N개, 건너뜀 N개, 확인 필요 N개", and when rows went unrecorded a
    // second line with the not-recorded sentence and their number.
    QString message() const;

    bool operator==(const BulkAssociationApplySummary &) const = default;

private:
    int verifiedCount_;
    int failedCount_;
    int skippedCount_;
    int blockedCount_;
    int unrecordedCount_;
};

// --- Hashes (only the records that have one) -----------------------------------------

size_t qHash(const AssociatedApp &app, size_t seed = 0);
size_t qHash(const FileAssociation &association, size_t seed = 0);
size_t qHash(const RegisteredContentType &type, size_t seed = 0);

// Qt 6.4 has no qHash for scoped enumerations; these let them key a QHash or QSet.
inline size_t qHash(AssociationVerificationStatus status, size_t seed = 0) noexcept
{
    return ::qHash(static_cast<int>(status), seed);
}
inline size_t qHash(BulkAssociationRowStatus status, size_t seed = 0) noexcept
{
    return ::qHash(static_cast<int>(status), seed);
}

} // namespace halvora

template <> struct std::hash<halvora::AssociatedApp> {
    size_t operator()(const halvora::AssociatedApp &v) const { return halvora::qHash(v); }
};
template <> struct std::hash<halvora::FileAssociation> {
    size_t operator()(const halvora::FileAssociation &v) const { return halvora::qHash(v); }
};
template <> struct std::hash<halvora::RegisteredContentType> {
    size_t operator()(const halvora::RegisteredContentType &v) const { return halvora::qHash(v); }
};
