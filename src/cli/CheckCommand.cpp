#include "cli/CheckCommand.h"

#include "cli/BlockingTask.h"
#include "cli/ObservedManager.h"
#include "cli/Presentation.h"
#include "cli/TakeoverNotification.h"
#include "cli/TextTable.h"
#include "core/model/ChangeNotRecorded.h"
#include "core/model/ModelJson.h"
#include "core/service/Takeovers.h"
#include "core/state/HalvoraState.h"

#include <QJsonArray>
#include <QJsonObject>

#include <vector>

namespace halvora::cli {

namespace {

using Operation = ObservedManager::Operation;

QString localTime(Timestamp time)
{
    return time.toDateTime().toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QJsonObject takeoverJson(const Takeover &takeover)
{
    const auto &current = takeover.association.currentApp();
    return QJsonObject{
        {"fileExtension", takeover.association.fileExtension()},
        {"contentTypeIdentifier", takeover.association.contentTypeIdentifier()},
        {"chosenApp", toJson(takeover.chosenApp)},
        {"chosenAt", takeover.record.changedAt().toDateTime().toString(Qt::ISODateWithMs)},
        {"recordId", takeover.record.id()},
        {"currentApp", current ? toJson(*current) : QJsonValue()},
        {"decidedBy", takeover.decidedBy ? QJsonValue(*takeover.decidedBy) : QJsonValue()},
    };
}

QString takeoverText(const Takeover &takeover, bool colour)
{
    const auto &current = takeover.association.currentApp();
    QString out = sanitizedForTerminal(u'.' + takeover.association.fileExtension() + QStringLiteral("  ") +
                                       takeover.association.contentTypeIdentifier()) +
                  u'\n';
    out += QStringLiteral("  고른 앱: ") + sanitizedForTerminal(appLabel(takeover.chosenApp)) +
           QStringLiteral(", ") + localTime(takeover.record.changedAt()) + u'\n';
    out += QStringLiteral("  현재 기본 앱: ") +
           (current ? sanitizedForTerminal(appLabel(*current))
                    : coloured(QStringLiteral("등록된 기본 앱 없음"),
                               colour ? CellColour::yellow : CellColour::none)) +
           u'\n';
    if (takeover.decidedBy)
        out += QStringLiteral("  지금 정하는 곳: ") + sanitizedForTerminal(*takeover.decidedBy) + u'\n';
    return out;
}

[[noreturn]] void raise(const ObservedManager::Failure &failure)
{
    const QString description = localizedDescription(failure.error);
    if (failure.operation == Operation::history)
        throw CliError(exitCodeFor(failure.error),
                       QStringLiteral("변경 이력을 읽을 수 없습니다: ") + description);
    // A restore whose record could not be stored may still be in effect: say so.
    if (failure.operation == Operation::apply && failedAfterAskingTheSystem(failure.error))
        throw CliError(exitCodeFor(failure.error), changeNotRecordedDescription(failure.error));
    throw CliError(exitCodeFor(failure.error), description);
}

class Check {
public:
    Check(const ParsedCommand &command, CliContext &context)
        : command_(command), context_(context),
          manager_(std::make_shared<ObservedManager>(context.service, false)),
          state_(manager_, context.catalog)
    {}

    ExitCode run()
    {
        const bool restore = command_.has(QStringLiteral("--restore"));
        if (command_.has(QStringLiteral("--yes")) && !restore)
            throw CliError::usage(QStringLiteral("--yes 옵션은 --restore와 함께만 쓸 수 있습니다."));

        runToEnd(state_.load());
        if (const auto failure = manager_->firstFailure({Operation::history}))
            raise(*failure);
        const QList<Takeover> found = findTakeovers();

        QJsonArray takeoversJson;
        for (const Takeover &takeover : found)
            takeoversJson.append(takeoverJson(takeover));
        if (!json()) {
            for (const Takeover &takeover : found)
                out(takeoverText(takeover, colour()));
        }
        if (found.isEmpty())
            message(QStringLiteral("다른 프로그램이 바꾼 기본 앱이 없습니다."));
        else if (!restore)
            message(
                QStringLiteral("다른 프로그램이 바꾼 기본 앱 %1개. 'halvora-cli check --restore'로 되돌릴 수 "
                               "있습니다.")
                    .arg(found.size()));
        if (command_.has(QStringLiteral("--notify")) && !found.isEmpty()) {
            if (const auto failure = notifyTakeovers(found))
                message(*failure);
        }
        if (!restore) {
            if (json())
                out(jsonText(takeoversJson));
            return found.isEmpty() ? ExitCode::success : ExitCode::notApplied;
        }
        return restoreAll(found, takeoversJson);
    }

private:
    bool json() const { return command_.has(QStringLiteral("--json")); }
    bool colour() const { return !json() && context_.console.outputUsesColour(); }
    void out(const QString &text) { context_.console.writeOut(text); }
    void message(const QString &text) { context_.console.message(text); }

    // Loads only the extensions the history names; one that no longer loads is named and
    // left out.
    QList<Takeover> findTakeovers()
    {
        // Every load starts at once; the service runs them side by side on the pool.
        const QStringList extensions = recordedExtensions(state_.changeHistory());
        std::vector<QCoro::Task<FileAssociation>> loads;
        for (const QString &extension : extensions)
            loads.push_back(manager_->loadAssociation(extension));
        QList<FileAssociation> loaded;
        for (qsizetype i = 0; i < extensions.size(); ++i) {
            try {
                loaded.append(runToEnd(std::move(loads[size_t(i)])));
            } catch (...) {
                message(u'.' + extensions.at(i) + QStringLiteral("을(를) 불러올 수 없습니다: ") +
                        localizedDescription(std::current_exception()));
            }
        }
        return takeovers(loaded, state_.changeHistory());
    }

    ExitCode restoreAll(const QList<Takeover> &found, QJsonArray takeoversJson)
    {
        QJsonObject document{{"takeovers", takeoversJson}};
        auto finish = [&](ExitCode code) {
            if (json())
                out(jsonText(document));
            return code;
        };
        if (found.isEmpty())
            return finish(ExitCode::success);
        if (!confirm(context_.console,
                     QStringLiteral("확장자 %1개의 기본 앱을 Halvora에서 선택한 앱으로 되돌립니다.")
                         .arg(found.size()),
                     command_.has(QStringLiteral("--yes")))) {
            message(QStringLiteral("변경하지 않았습니다."));
            return finish(ExitCode::notApplied);
        }

        int verified = 0;
        int failed = 0;
        int skipped = 0;
        int blocked = 0;
        QJsonArray records;
        QJsonArray unresolved;
        // A row that is not applied: named in the output, kept in the JSON.
        auto leaveOut = [&](const Takeover &takeover, BulkAssociationRowStatus status, const QString &note) {
            unresolved.append(QJsonObject{{"fileExtension", takeover.association.fileExtension()},
                                          {"application", takeover.chosenApp.bundleIdentifier()},
                                          {"status", toJson(status)},
                                          {"note", note}});
            if (!json())
                out(coloured(title(status), !colour()                                     ? CellColour::none
                                            : status == BulkAssociationRowStatus::blocked ? CellColour::yellow
                                                                                          : CellColour::dim) +
                    QStringLiteral("  ") +
                    sanitizedForTerminal(u'.' + takeover.association.fileExtension() + QStringLiteral("  ") +
                                         appLabel(takeover.chosenApp) + QStringLiteral(": ") + note) +
                    u'\n');
        };
        for (const Takeover &listed : found) {
            // The writer refuses an application that is gone; say so before asking it.
            if (!context_.applications.applicationWithId(listed.chosenApp.bundleIdentifier())) {
                ++blocked;
                leaveOut(listed, BulkAssociationRowStatus::blocked,
                         QStringLiteral("이 컴퓨터에 설치되지 않은 앱입니다."));
                continue;
            }
            // An earlier row of the same content type may have put this one back already.
            std::optional<Takeover> takeover;
            try {
                takeover = takeoverOf(runToEnd(manager_->loadAssociation(listed.association.fileExtension())),
                                      state_.changeHistory());
            } catch (...) {
                takeover = listed;
            }
            if (!takeover) {
                ++skipped;
                leaveOut(listed, BulkAssociationRowStatus::skipped,
                         QStringLiteral("이미 선택한 앱이 기본 앱입니다."));
                continue;
            }
            manager_->reset();
            runToEnd(state_.confirmPendingChange(
                PendingAssociationChange(takeover->association, takeover->chosenApp)));
            if (const auto failure = manager_->firstFailure({Operation::apply}))
                raise(*failure);
            if (!manager_->lastChangeRecord())
                throw CliError(ExitCode::systemFailure, QStringLiteral("변경 결과를 알 수 없습니다."));
            const AssociationChangeRecord record = *manager_->lastChangeRecord();
            records.append(toJson(record));
            if (!json())
                out(changeRecordText(record, colour()));
            if (isFailure(record.verificationStatus()))
                ++failed;
            else
                ++verified;
        }
        const BulkAssociationApplySummary summary(verified, failed, skipped, blocked);
        document.insert(QStringLiteral("records"), records);
        document.insert(QStringLiteral("unresolved"), unresolved);
        document.insert(QStringLiteral("summary"), summaryJson(summary));
        if (!json())
            out(summary.message() + u'\n');
        return finish(failed > 0 || blocked > 0 ? ExitCode::notApplied : ExitCode::success);
    }

    const ParsedCommand &command_;
    CliContext &context_;
    std::shared_ptr<ObservedManager> manager_;
    HalvoraState state_;
};

} // namespace

ExitCode runCheck(const ParsedCommand &command, CliContext &context)
{
    return Check(command, context).run();
}

} // namespace halvora::cli
