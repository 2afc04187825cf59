#include "core/model/Models.h"

#include "core/model/ChangeNotRecorded.h"

#include <QSet>
#include <QStringList>
#include <QUuid>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <utility>

namespace halvora {

// --- Applications and associations ----------------------------------------------------

AssociatedApp::AssociatedApp(QString name, QString bundleIdentifier, QUrl url)
    : name_(std::move(name)), bundleIdentifier_(std::move(bundleIdentifier)), url_(std::move(url))
{}

QString AssociatedApp::id() const
{
    QString path = url_.path(QUrl::FullyDecoded);
    // The same bundle written with and without a trailing slash is one application.
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return bundleIdentifier_ + u'|' + path;
}

FileAssociation::FileAssociation(QString fileExtension, QString contentTypeIdentifier,
                                 std::optional<AssociatedApp> currentApp, QList<AssociatedApp> candidateApps)
    : fileExtension_(std::move(fileExtension)), contentTypeIdentifier_(std::move(contentTypeIdentifier)),
      currentApp_(std::move(currentApp)), candidateApps_(std::move(candidateApps))
{}

RegisteredContentType::RegisteredContentType(QString fileExtension, QString contentTypeIdentifier,
                                             std::optional<QString> handlerBundleIdentifier)
    : fileExtension_(std::move(fileExtension)), contentTypeIdentifier_(std::move(contentTypeIdentifier)),
      handlerBundleIdentifier_(std::move(handlerBundleIdentifier))
{}

QString RegisteredContentType::id() const
{
    return fileExtension_ + u'|' + contentTypeIdentifier_;
}

LaunchServicesContentTypeHandler::LaunchServicesContentTypeHandler(
    QString contentTypeIdentifier, std::optional<QString> handlerBundleIdentifier)
    : contentTypeIdentifier_(std::move(contentTypeIdentifier)),
      handlerBundleIdentifier_(std::move(handlerBundleIdentifier))
{}

PendingAssociationChange::PendingAssociationChange(FileAssociation association, AssociatedApp replacementApp)
    : association_(std::move(association)), replacementApp_(std::move(replacementApp))
{}

QString PendingAssociationChange::id() const
{
    return association_.fileExtension() + u'|' + replacementApp_.id();
}

QString PendingAssociationChange::confirmationText() const
{
    return u'.' + association_.fileExtension() + QStringLiteral("의 기본 앱을 ") + replacementApp_.name() +
           QStringLiteral("(으)로 변경합니다.");
}

QList<AssociatedApp> uniquedByAppIdentity(const QList<AssociatedApp> &apps)
{
    QList<AssociatedApp> result;
    QSet<QString> seen;
    for (const AssociatedApp &app : apps) {
        QString identity = app.id();
        if (seen.contains(identity))
            continue;
        seen.insert(std::move(identity));
        result.append(app);
    }
    return result;
}

// --- Change records -------------------------------------------------------------------

QString EnumTraits<AssociationVerificationStatus>::rawValue(AssociationVerificationStatus status)
{
    switch (status) {
    case AssociationVerificationStatus::verified:
        return QStringLiteral("verified");
    case AssociationVerificationStatus::apiFailed:
        return QStringLiteral("apiFailed");
    case AssociationVerificationStatus::verificationFailed:
        return QStringLiteral("verificationFailed");
    case AssociationVerificationStatus::undoVerified:
        return QStringLiteral("undoVerified");
    case AssociationVerificationStatus::undoFailed:
        return QStringLiteral("undoFailed");
    }
    return {};
}

QString title(AssociationVerificationStatus status)
{
    switch (status) {
    case AssociationVerificationStatus::verified:
        return QStringLiteral("검증 완료");
    case AssociationVerificationStatus::apiFailed:
        return QStringLiteral("적용 실패");
    case AssociationVerificationStatus::verificationFailed:
        return QStringLiteral("검증 실패");
    case AssociationVerificationStatus::undoVerified:
        return QStringLiteral("되돌림 완료");
    case AssociationVerificationStatus::undoFailed:
        return QStringLiteral("되돌림 실패");
    }
    return {};
}

QString systemImageName(AssociationVerificationStatus status)
{
    switch (status) {
    case AssociationVerificationStatus::verified:
        return QStringLiteral("checkmark.circle");
    case AssociationVerificationStatus::apiFailed:
        return QStringLiteral("xmark.octagon");
    case AssociationVerificationStatus::verificationFailed:
        return QStringLiteral("exclamationmark.triangle");
    case AssociationVerificationStatus::undoVerified:
        return QStringLiteral("arrow.uturn.backward.circle");
    case AssociationVerificationStatus::undoFailed:
        return QStringLiteral("exclamationmark.arrow.triangle.2.circlepath");
    }
    return {};
}

bool isFailure(AssociationVerificationStatus status)
{
    return status == AssociationVerificationStatus::apiFailed ||
           status == AssociationVerificationStatus::verificationFailed ||
           status == AssociationVerificationStatus::undoFailed;
}

AssociationChangeRecord::AssociationChangeRecord(QString id, QString fileExtension,
                                                 QString contentTypeIdentifier,
                                                 std::optional<AssociatedApp> previousApp,
                                                 AssociatedApp replacementApp, Timestamp changedAt,
                                                 AssociationVerificationStatus verificationStatus,
                                                 std::optional<QString> verificationMessage)
    : id_(std::move(id)), fileExtension_(std::move(fileExtension)),
      contentTypeIdentifier_(std::move(contentTypeIdentifier)), previousApp_(std::move(previousApp)),
      replacementApp_(std::move(replacementApp)), changedAt_(changedAt),
      verificationStatus_(verificationStatus), verificationMessage_(std::move(verificationMessage))
{}

AssociationChangeRecord AssociationChangeRecord::updating(AssociationVerificationStatus verificationStatus,
                                                          std::optional<QString> verificationMessage) const
{
    AssociationChangeRecord copy = *this;
    copy.verificationStatus_ = verificationStatus;
    copy.verificationMessage_ = std::move(verificationMessage);
    return copy;
}

QString AssociationChangeRecord::changeDescription() const
{
    return (previousApp_ ? previousApp_->name() : QStringLiteral("없음")) + QStringLiteral(" -> ") +
           replacementApp_.name();
}

RecentAssociationChange::RecentAssociationChange(QString fileExtension, QString contentTypeIdentifier,
                                                 AssociatedApp previousApp, AssociatedApp replacementApp,
                                                 Timestamp changedAt)
    : fileExtension_(std::move(fileExtension)), contentTypeIdentifier_(std::move(contentTypeIdentifier)),
      previousApp_(std::move(previousApp)), replacementApp_(std::move(replacementApp)), changedAt_(changedAt)
{}

QString RecentAssociationChange::id() const
{
    return fileExtension_ + u'|' + shortestDecimalWithFraction(changedAt_.secondsSince1970());
}

AssociationChangeRecord RecentAssociationChange::toChangeRecord() const
{
    return AssociationChangeRecord(id(), fileExtension_, contentTypeIdentifier_, previousApp_,
                                   replacementApp_, changedAt_, AssociationVerificationStatus::verified,
                                   std::nullopt);
}

QString shortestDecimalWithFraction(double value)
{
    if (std::isnan(value))
        return QStringLiteral("nan");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-inf") : QStringLiteral("inf");
    // Fixed notation of the largest or smallest doubles needs a little over 320 characters.
    char buffer[400];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (error != std::errc())
        return QString::number(value, 'f', 1);
    QString text = QString::fromLatin1(buffer, end - buffer);
    if (!text.contains(u'.'))
        text += QStringLiteral(".0");
    return text;
}

QString newRecordIdentifier()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

// --- Bulk plans -----------------------------------------------------------------------

QString EnumTraits<BulkAssociationRowStatus>::rawValue(BulkAssociationRowStatus status)
{
    switch (status) {
    case BulkAssociationRowStatus::ready:
        return QStringLiteral("ready");
    case BulkAssociationRowStatus::skipped:
        return QStringLiteral("skipped");
    case BulkAssociationRowStatus::blocked:
        return QStringLiteral("blocked");
    }
    return {};
}

QString title(BulkAssociationRowStatus status)
{
    switch (status) {
    case BulkAssociationRowStatus::ready:
        return QStringLiteral("적용 예정");
    case BulkAssociationRowStatus::skipped:
        return QStringLiteral("건너뜀");
    case BulkAssociationRowStatus::blocked:
        return QStringLiteral("확인 필요");
    }
    return {};
}

QString systemImageName(BulkAssociationRowStatus status)
{
    switch (status) {
    case BulkAssociationRowStatus::ready:
        return QStringLiteral("checkmark.circle");
    case BulkAssociationRowStatus::skipped:
        return QStringLiteral("minus.circle");
    case BulkAssociationRowStatus::blocked:
        return QStringLiteral("exclamationmark.triangle");
    }
    return {};
}

BulkAssociationChangeRow::BulkAssociationChangeRow(FileAssociation association, AssociatedApp targetApp,
                                                   BulkAssociationRowStatus status,
                                                   std::optional<QString> note)
    : association_(std::move(association)), targetApp_(std::move(targetApp)), status_(status),
      note_(std::move(note))
{}

BulkAssociationChangePlan::BulkAssociationChangePlan(AssociatedApp targetApp,
                                                     QList<BulkAssociationChangeRow> rows)
    : targetApp_(std::move(targetApp)), rows_(std::move(rows))
{}

QString BulkAssociationChangePlan::id() const
{
    QStringList extensions;
    extensions.reserve(rows_.size());
    for (const BulkAssociationChangeRow &row : rows_)
        extensions.append(row.id());
    return targetApp_.id() + u'|' + extensions.join(u',');
}

QList<BulkAssociationChangeRow> BulkAssociationChangePlan::readyRows() const
{
    QList<BulkAssociationChangeRow> ready;
    for (const BulkAssociationChangeRow &row : rows_) {
        if (row.status() == BulkAssociationRowStatus::ready)
            ready.append(row);
    }
    return ready;
}

namespace {

int countRows(const QList<BulkAssociationChangeRow> &rows, BulkAssociationRowStatus status)
{
    return static_cast<int>(
        std::count_if(rows.begin(), rows.end(),
                      [status](const BulkAssociationChangeRow &row) { return row.status() == status; }));
}

} // namespace

int BulkAssociationChangePlan::readyCount() const
{
    return countRows(rows_, BulkAssociationRowStatus::ready);
}

int BulkAssociationChangePlan::skippedCount() const
{
    return countRows(rows_, BulkAssociationRowStatus::skipped);
}

int BulkAssociationChangePlan::blockedCount() const
{
    return countRows(rows_, BulkAssociationRowStatus::blocked);
}

BulkAssociationApplySummary::BulkAssociationApplySummary(int verifiedCount, int failedCount, int skippedCount,
                                                         int blockedCount, int unrecordedCount)
    : verifiedCount_(verifiedCount), failedCount_(failedCount), skippedCount_(skippedCount),
      blockedCount_(blockedCount), unrecordedCount_(unrecordedCount)
{}

QString BulkAssociationApplySummary::message() const
{
    QString text = QStringLiteral("검증 완료 %1개, 실패 %2개, 건너뜀 %3개, 확인 필요 %4개")
                       .arg(QString::number(verifiedCount_), QString::number(failedCount_),
                            QString::number(skippedCount_), QString::number(blockedCount_));
    if (unrecordedCount_ > 0)
        text += QStringLiteral("\n%1 (%2개)").arg(changeNotRecordedMessage).arg(unrecordedCount_);
    return text;
}

// --- Hashes ---------------------------------------------------------------------------

size_t qHash(const AssociatedApp &app, size_t seed)
{
    return qHashMulti(seed, app.name(), app.bundleIdentifier(), app.url());
}

size_t qHash(const FileAssociation &association, size_t seed)
{
    const std::optional<AssociatedApp> &current = association.currentApp();
    size_t hash = qHashMulti(seed, association.fileExtension(), association.contentTypeIdentifier(),
                             current.has_value());
    if (current)
        hash = qHash(*current, hash);
    return qHashRange(association.candidateApps().begin(), association.candidateApps().end(), hash);
}

size_t qHash(const RegisteredContentType &type, size_t seed)
{
    const std::optional<QString> &handler = type.handlerBundleIdentifier();
    size_t hash = qHashMulti(seed, type.fileExtension(), type.contentTypeIdentifier(), handler.has_value());
    return handler ? qHash(*handler, hash) : hash;
}

} // namespace halvora
