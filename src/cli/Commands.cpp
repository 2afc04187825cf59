#include "cli/Commands.h"

#include "cli/AssociationProfile.h"
#include "cli/BlockingTask.h"
#include "cli/CheckCommand.h"
#include "cli/CliError.h"
#include "cli/CommandLine.h"
#include "cli/HelpText.h"
#include "cli/ObservedManager.h"
#include "cli/Presentation.h"
#include "cli/TextTable.h"
#include "core/model/ChangeNotRecorded.h"
#include "core/model/FileAssociationError.h"
#include "core/model/ModelJson.h"
#include "core/state/HalvoraState.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QMap>

#include <algorithm>

namespace halvora::cli {

namespace {

using Operation = ObservedManager::Operation;

const QString notChanged = QStringLiteral("변경하지 않았습니다.");
// As many records as the history keeps.
constexpr qsizetype historyShown = 50;

// A failure the state swallowed, rethrown with the exit code of its kind and a sentence
// that says which step failed.
[[noreturn]] void raise(const ObservedManager::Failure &failure)
{
    const QString description = localizedDescription(failure.error);
    const ExitCode code = exitCodeFor(failure.error);
    switch (failure.operation) {
    case Operation::loadAll:
        throw CliError(code, QStringLiteral("확장자 목록을 불러올 수 없습니다: ") + description);
    case Operation::history:
        throw CliError(code, QStringLiteral("변경 이력을 읽을 수 없습니다: ") + description);
    case Operation::apply:
    case Operation::undo:
        if (failedAfterAskingTheSystem(failure.error))
            throw CliError(code, changeNotRecordedDescription(failure.error));
        throw CliError(code, description);
    case Operation::loadOne:
        throw CliError(code, description);
    }
    throw CliError(code, description);
}

void raiseFirst(const ObservedManager &manager, std::initializer_list<Operation> operations)
{
    if (const auto failure = manager.firstFailure(operations))
        raise(*failure);
}

// One state over the observed service, as the window holds it.
struct Session {
    std::shared_ptr<ObservedManager> manager;
    HalvoraState state;

    Session(const CliContext &context, bool loadsList)
        : manager(std::make_shared<ObservedManager>(context.service, loadsList)),
          state(manager, context.catalog)
    {}

    // Loads the state; the history must be readable, so that no change is made that
    // could not be recorded afterwards.
    void load(std::initializer_list<Operation> mustSucceed)
    {
        runToEnd(state.load());
        raiseFirst(*manager, mustSucceed);
    }

    // Loads one typed extension as the add-extension sheet does; throws its failure.
    FileAssociation addExtension(const QString &text)
    {
        const qsizetype failuresBefore = manager->failures().size();
        runToEnd(state.addExtension(text));
        if (manager->failures().size() > failuresBefore)
            raise(manager->failures().at(failuresBefore));
        return *state.selectedAssociation();
    }
};

class Runner {
public:
    Runner(const ParsedCommand &command, CliContext &context) : command_(command), context_(context) {}

    ExitCode run()
    {
        const QString &name = command_.command;
        if (name == u"list")
            return list();
        if (name == u"show")
            return show();
        if (name == u"why")
            return why();
        if (name == u"set")
            return set();
        if (name == u"bulk")
            return bulk();
        if (name == u"history")
            return history();
        if (name == u"undo")
            return undo();
        if (name == u"export")
            return exportProfile();
        if (name == u"import")
            return importProfile();
        if (name == u"check")
            return runCheck(command_, context_);
        throw CliError::usage(QStringLiteral("알 수 없는 명령입니다: ") + name);
    }

private:
    bool json() const { return command_.has(QStringLiteral("--json")); }
    bool colour() const { return !json() && context_.console.outputUsesColour(); }
    void out(const QString &text) { context_.console.writeOut(text); }
    void message(const QString &text) { context_.console.message(text); }

    ExitCode list()
    {
        AssociationFilter filter = AssociationFilter::all;
        if (const auto raw = command_.value(QStringLiteral("--filter"))) {
            const auto parsed = fromRawValue<AssociationFilter>(*raw);
            if (!parsed) {
                QStringList names;
                for (AssociationFilter value : allCases<AssociationFilter>())
                    names.append(rawValue(value));
                throw CliError::usage(QStringLiteral("알 수 없는 필터입니다: ") + *raw +
                                      QStringLiteral(" (") + names.join(QStringLiteral(", ")) + u')');
            }
            filter = *parsed;
        }
        Session session(context_, true);
        // Only the history filters need the history; without them a damaged history is a warning.
        const bool needsHistory =
            filter == AssociationFilter::recentlyChanged || filter == AssociationFilter::verificationFailed;
        if (needsHistory) {
            session.load({Operation::loadAll, Operation::history});
        } else {
            session.load({Operation::loadAll});
            if (const auto failure = session.manager->firstFailure({Operation::history}))
                message(QStringLiteral("경고: 변경 이력을 읽을 수 없습니다: ") +
                        localizedDescription(failure->error));
        }
        session.state.setSearchText(command_.value(QStringLiteral("--search")).value_or(QString()));
        session.state.setAssociationFilter(filter);
        const QList<FileAssociation> visible = session.state.visibleAssociations();

        if (json()) {
            QJsonArray array;
            for (const FileAssociation &association : visible)
                array.append(toJson(association));
            out(jsonText(array));
        } else if (visible.isEmpty()) {
            message(QStringLiteral("조건에 맞는 확장자가 없습니다."));
        } else {
            out(associationTable(visible, colour()));
        }
        return ExitCode::success;
    }

    ExitCode show()
    {
        Session session(context_, false);
        const FileAssociation association = session.addExtension(command_.arguments.at(0));
        out(json() ? jsonText(toJson(association)) : associationDetail(association, colour()));
        return ExitCode::success;
    }

    // Where the default comes from: the deciding file and line, what was passed over, and
    // the source of each candidate.
    ExitCode why()
    {
        Session session(context_, false);
        const FileAssociation association = session.addExtension(command_.arguments.at(0));
        const QString type = association.contentTypeIdentifier();
        QStringList others =
            context_.typesClaiming ? context_.typesClaiming(association.fileExtension()) : QStringList();
        others.removeAll(type);
        const DefaultApplicationOrigin origin =
            association.origin() ? *association.origin() : DefaultApplicationOrigin{};
        const std::optional<AssociatedApp> &current = association.currentApp();
        QString warning;
        if (current && origin.decidedOutsideUserList)
            warning =
                QStringLiteral("사용자의 mimeapps.list가 아닌 다른 파일이 기본 앱을 정합니다") +
                (origin.overridesUserList ? QStringLiteral(" (사용자 목록의 지정보다 앞섬)") : QString());

        if (json()) {
            QJsonObject object{
                {QStringLiteral("fileExtension"), association.fileExtension()},
                {QStringLiteral("contentTypeIdentifier"), type},
                {QStringLiteral("otherContentTypes"), QJsonArray::fromStringList(others)},
                {QStringLiteral("summary"), origin.summary},
                {QStringLiteral("reasons"), QJsonArray::fromStringList(origin.chain)},
                {QStringLiteral("overridesUserList"), origin.overridesUserList},
                {QStringLiteral("warning"), warning.isEmpty() ? QJsonValue() : QJsonValue(warning)}};
            object.insert(QStringLiteral("currentApp"),
                          current ? QJsonValue(current->bundleIdentifier()) : QJsonValue());
            QJsonArray candidates;
            for (const DefaultApplicationOrigin::Candidate &candidate : origin.candidates)
                candidates.append(QJsonObject{{QStringLiteral("id"), candidate.desktopId},
                                              {QStringLiteral("source"), candidate.source}});
            object.insert(QStringLiteral("candidates"), candidates);
            out(jsonText(object));
            return ExitCode::success;
        }
        QString text =
            QStringLiteral("확장자: .%1\n콘텐츠 타입: %2\n").arg(association.fileExtension(), type);
        if (!others.isEmpty())
            text +=
                QStringLiteral("같은 확장자를 가진 다른 타입: %1\n").arg(others.join(QStringLiteral(", ")));
        text += current
                    ? QStringLiteral("기본 앱: %1 (%2)\n").arg(current->name(), current->bundleIdentifier())
                    : QStringLiteral("기본 앱: 없음\n");
        if (!origin.summary.isEmpty())
            text += QStringLiteral("근거: %1\n").arg(origin.summary);
        for (const QString &step : origin.chain)
            text += QStringLiteral("  - %1\n").arg(step);
        text +=
            origin.candidates.isEmpty() ? QStringLiteral("호환 앱: 없음\n") : QStringLiteral("호환 앱:\n");
        for (const DefaultApplicationOrigin::Candidate &candidate : origin.candidates)
            text += QStringLiteral("  %1 — %2\n").arg(candidate.desktopId, candidate.source);
        out(text);
        if (!warning.isEmpty())
            context_.console.error(QStringLiteral("경고: ") + warning);
        return ExitCode::success;
    }

    ExitCode set()
    {
        Session session(context_, false);
        session.load({Operation::history});
        const FileAssociation association = session.addExtension(command_.arguments.at(0));
        const AssociatedApp app = resolveApplication(context_.applications, command_.arguments.at(1)).app;

        // Setting the current application again would only add a record of nothing.
        if (association.currentApp() &&
            association.currentApp()->bundleIdentifier() == app.bundleIdentifier()) {
            message(QStringLiteral("이미 현재 기본 앱입니다."));
            if (json())
                out(QStringLiteral("null\n"));
            return ExitCode::success;
        }
        if (!confirm(context_.console, PendingAssociationChange(association, app).confirmationText(),
                     command_.has("--yes"))) {
            message(notChanged);
            return ExitCode::notApplied;
        }
        runToEnd(session.state.confirmPendingChange(PendingAssociationChange(association, app)));
        raiseFirst(*session.manager, {Operation::apply});
        const AssociationChangeRecord &record = *session.manager->lastChangeRecord();
        // The history keeps the newest records by time; one older than all of them (after the
        // clock was set back) is dropped at once, and its id must not be shown as if kept.
        const QList<AssociationChangeRecord> &stored = session.state.changeHistory();
        if (!session.manager->firstFailure({Operation::history}) &&
            std::none_of(stored.cbegin(), stored.cend(),
                         [&](const AssociationChangeRecord &r) { return r.id() == record.id(); })) {
            const QString notKept =
                QStringLiteral("이 변경은 저장된 모든 변경 기록보다 오래되어 기록에 남지 않았습니다.");
            throw CliError(ExitCode::notApplied, (isFailure(record.verificationStatus())
                                                      ? outcomeText(record) + u' '
                                                      : QStringLiteral("기본 앱을 변경했지만, ")) +
                                                     notKept);
        }
        return reportRecord(session, record);
    }

    // Prints a change or undo record and ends with its outcome.
    ExitCode reportRecord(Session &session, const AssociationChangeRecord &record)
    {
        out(json() ? jsonText(toJson(record)) : changeRecordText(record, colour()));
        raiseFirst(*session.manager, {Operation::history});
        if (isFailure(record.verificationStatus())) {
            context_.console.error(outcomeText(record));
            return ExitCode::notApplied;
        }
        return ExitCode::success;
    }

    ExitCode bulk()
    {
        Session session(context_, false);
        session.load({Operation::history});
        const ResolvedApplication target =
            resolveApplication(context_.applications, command_.arguments.at(0));
        session.state.setBulkSelectionEnabled(true);
        for (const QString &text : command_.arguments.mid(1)) {
            const FileAssociation association = session.addExtension(text);
            // Toggling twice would drop an extension named twice.
            if (!session.state.isSelectedForBulk(association.fileExtension()))
                session.state.toggleBulkSelection(association);
        }
        const BulkAssociationChangePlan plan = session.state.makeBulkPlan(target.app, target.pickedFromDisk);

        QJsonObject document = planJson(plan);
        if (!json())
            out(planTable(plan, colour()));
        auto finish = [&](ExitCode code) {
            if (json())
                out(jsonText(document));
            return code;
        };
        if (command_.has("--dry-run"))
            return finish(ExitCode::success);
        if (plan.readyCount() > 0 && !confirm(context_.console,
                                              QStringLiteral("%1개 확장자의 기본 앱을 %2(으)로 변경합니다.")
                                                  .arg(plan.readyCount())
                                                  .arg(plan.targetApp().name()),
                                              command_.has("--yes"))) {
            message(notChanged);
            return finish(ExitCode::notApplied);
        }
        runToEnd(session.state.confirmBulkPlan(plan));
        const BulkAssociationApplySummary summary = *session.state.bulkApplySummary();
        document.insert(QStringLiteral("summary"), summaryJson(summary));
        if (!json())
            out(summary.message() + u'\n');
        finish(ExitCode::success);
        raiseFirst(*session.manager, {Operation::apply, Operation::history});
        return summary.failedCount() > 0 || summary.blockedCount() > 0 ? ExitCode::notApplied
                                                                       : ExitCode::success;
    }

    ExitCode history()
    {
        Session session(context_, false);
        session.load({Operation::history});
        const QList<AssociationChangeRecord> records =
            session.state.changeHistory().first(std::min(historyShown, session.state.changeHistory().size()));
        if (json()) {
            QJsonArray array;
            for (const AssociationChangeRecord &record : records)
                array.append(toJson(record));
            out(jsonText(array));
        } else if (records.isEmpty()) {
            message(QStringLiteral("변경 이력 없음"));
        } else {
            out(historyTable(records, colour()));
        }
        return ExitCode::success;
    }

    // The record a user names: its whole id, or an unambiguous beginning of it, in any case.
    static AssociationChangeRecord findRecord(const QList<AssociationChangeRecord> &records,
                                              const QString &id)
    {
        QList<AssociationChangeRecord> matches;
        for (const AssociationChangeRecord &record : records) {
            if (record.id() == id)
                return record;
            if (record.id().startsWith(id, Qt::CaseInsensitive))
                matches.append(record);
        }
        if (matches.size() == 1 && !id.isEmpty())
            return matches.first();
        if (matches.size() > 1)
            throw CliError::usage(QStringLiteral("여러 변경 기록이 이 ID로 시작합니다: ") + id);
        throw CliError::usage(QStringLiteral("변경 기록을 찾을 수 없습니다: ") + id);
    }

    ExitCode undo()
    {
        Session session(context_, false);
        session.load({Operation::history});
        std::optional<AssociationChangeRecord> record;
        if (command_.arguments.isEmpty())
            record = session.state.latestUndoableChange();
        else
            record = findRecord(session.state.changeHistory(), command_.arguments.first());
        if (!record)
            throw CliError(ExitCode::notApplied, FileAssociationError::noRecentChange().errorDescription());

        runToEnd(session.state.undoChange(*record));
        raiseFirst(*session.manager, {Operation::undo});
        return reportRecord(session, *session.manager->lastChangeRecord());
    }

    ExitCode exportProfile()
    {
        Session session(context_, true);
        // The profile needs only the list; a damaged history does not stop an export.
        session.load({Operation::loadAll});
        AssociationProfile profile;
        for (const FileAssociation &association : session.state.associations()) {
            const auto &current = association.currentApp();
            if (current && isValidDesktopFileId(current->bundleIdentifier()))
                profile.defaults.insert(association.fileExtension(), current->bundleIdentifier());
        }
        const QString file = command_.arguments.value(0, QStringLiteral("-"));
        if (file == u"-") {
            out(QString::fromUtf8(serializeProfile(profile)));
        } else {
            writeProfileFile(file, profile);
            message(QStringLiteral("확장자 %1개의 기본 앱을 %2에 저장했습니다.")
                        .arg(profile.defaults.size())
                        .arg(file));
        }
        return ExitCode::success;
    }

    static AssociationProfile readProfile(const QString &file)
    {
        if (file != u"-")
            return readProfileFile(file);
        QFile input;
        if (!input.open(stdin, QIODevice::ReadOnly))
            throw ProfileError(ProfileError::Problem::unreadable,
                               QStringLiteral("표준 입력을 읽을 수 없습니다."));
        const QByteArray bytes = input.read(AssociationProfile::maxFileSize + 1);
        if (bytes.size() > AssociationProfile::maxFileSize)
            throw ProfileError(ProfileError::Problem::tooLarge,
                               QStringLiteral("표준 입력의 프로필이 너무 큽니다."));
        return parseProfile(bytes);
    }

    struct UnresolvedEntry {
        QString fileExtension;
        QString application;
        QString title;
        QString note;
    };

    ExitCode importProfile()
    {
        const QString file = command_.arguments.at(0);
        const bool dryRun = command_.has("--dry-run");
        if (file == u"-" && !dryRun && !command_.has("--yes"))
            throw CliError::usage(
                QStringLiteral("표준 입력에서 프로필을 읽을 때는 --yes 또는 --dry-run이 필요합니다."));
        const AssociationProfile profile = readProfile(file);

        Session session(context_, false);
        session.load({Operation::history});

        // Every extension is looked up first: extensions of one content type share one default,
        // so a profile that gives them different applications is refused before any change.
        QHash<QString, FileAssociation> loaded;
        QHash<QString, QString> lookupFailures;
        QHash<QString, QString> extensionByType;
        for (auto entry = profile.defaults.constBegin(); entry != profile.defaults.constEnd(); ++entry) {
            std::optional<FileAssociation> association;
            try {
                association = session.addExtension(entry.key());
            } catch (const CliError &error) {
                lookupFailures.insert(entry.key(), error.localizedDescription());
                continue;
            }
            loaded.insert(entry.key(), *association);
            const QString type = association->contentTypeIdentifier();
            const auto other = extensionByType.constFind(type);
            if (other == extensionByType.constEnd()) {
                extensionByType.insert(type, entry.key());
            } else if (profile.defaults.value(*other) != entry.value()) {
                throw ProfileError(
                    ProfileError::Problem::sharedContentType,
                    QStringLiteral("프로필의 .%1(%2)과 .%3(%4)은 같은 형식(%5)이라 기본 앱을 하나만 "
                                   "가질 수 있습니다. 두 항목의 앱을 같게 맞추세요.")
                        .arg(*other, profile.defaults.value(*other), entry.key(), entry.value(), type));
            }
        }

        // One bulk plan per application, built with the state's rules.
        QMap<QString, QStringList> extensionsByApp;
        for (auto entry = profile.defaults.constBegin(); entry != profile.defaults.constEnd(); ++entry)
            extensionsByApp[entry.value()].append(entry.key());
        QList<BulkAssociationChangePlan> plans;
        QList<UnresolvedEntry> unresolved;
        for (auto entry = extensionsByApp.constBegin(); entry != extensionsByApp.constEnd(); ++entry) {
            const std::optional<AssociatedApp> app = context_.applications.applicationWithId(entry.key());
            if (!app) {
                for (const QString &extension : entry.value())
                    unresolved.append({extension, entry.key(), QStringLiteral("알 수 없는 앱"),
                                       QStringLiteral("이 컴퓨터에 설치되지 않은 앱입니다.")});
                continue;
            }
            session.state.setBulkSelectionEnabled(true);
            for (const QString &extension : entry.value()) {
                if (const auto found = loaded.constFind(extension); found != loaded.constEnd())
                    session.state.toggleBulkSelection(*found);
                else
                    unresolved.append({extension, entry.key(), title(BulkAssociationRowStatus::blocked),
                                       lookupFailures.value(extension)});
            }
            const BulkAssociationChangePlan plan = session.state.makeBulkPlan(*app, false);
            session.state.setBulkSelectionEnabled(false);
            if (!plan.rows().isEmpty())
                plans.append(plan);
        }

        QJsonArray plansJson;
        QJsonArray unresolvedJson;
        int ready = 0;
        for (const BulkAssociationChangePlan &plan : plans) {
            ready += plan.readyCount();
            plansJson.append(planJson(plan));
            if (!json())
                out(planTable(plan, colour()) + u'\n');
        }
        QList<QList<TableCell>> unresolvedRows;
        for (const UnresolvedEntry &entry : unresolved) {
            unresolvedJson.append(QJsonObject{{"fileExtension", entry.fileExtension},
                                              {"application", entry.application},
                                              {"title", entry.title},
                                              {"note", entry.note}});
            unresolvedRows.append({{u'.' + entry.fileExtension},
                                   {entry.application},
                                   {entry.title, CellColour::yellow},
                                   {entry.note}});
        }
        if (!json() && !unresolved.isEmpty()) {
            out(QStringLiteral("적용할 수 없는 항목:\n") +
                renderTable({{QStringLiteral("확장자")},
                             {QStringLiteral("앱")},
                             {QStringLiteral("상태")},
                             {QStringLiteral("비고")}},
                            unresolvedRows, colour()) +
                u'\n');
        }
        QJsonObject document{{"plans", plansJson}, {"unresolved", unresolvedJson}};
        auto finish = [&](ExitCode code) {
            if (json())
                out(jsonText(document));
            return code;
        };
        const ExitCode incomplete = unresolved.isEmpty() ? ExitCode::success : ExitCode::notApplied;
        if (dryRun)
            return finish(ExitCode::success);
        if (ready > 0 && !confirm(context_.console,
                                  QStringLiteral("프로필대로 확장자 %1개의 기본 앱을 변경합니다.").arg(ready),
                                  command_.has("--yes"))) {
            message(notChanged);
            return finish(ExitCode::notApplied);
        }
        int verified = 0;
        int failed = 0;
        int skipped = 0;
        int blocked = 0;
        int unrecorded = 0;
        for (const BulkAssociationChangePlan &plan : plans) {
            runToEnd(session.state.confirmBulkPlan(plan));
            const BulkAssociationApplySummary summary = *session.state.bulkApplySummary();
            verified += summary.verifiedCount();
            failed += summary.failedCount();
            skipped += summary.skippedCount();
            blocked += summary.blockedCount();
            unrecorded += summary.unrecordedCount();
        }
        const BulkAssociationApplySummary total(verified, failed, skipped, blocked, unrecorded);
        document.insert(QStringLiteral("summary"), summaryJson(total));
        if (!json())
            out(total.message() + u'\n');
        if (!unresolved.isEmpty())
            message(QStringLiteral("적용할 수 없는 항목 %1개").arg(unresolved.size()));
        finish(ExitCode::success);
        raiseFirst(*session.manager, {Operation::apply, Operation::history});
        return failed > 0 || blocked > 0 ? ExitCode::notApplied : incomplete;
    }

    const ParsedCommand &command_;
    CliContext &context_;
};

} // namespace

int runCli(const QStringList &arguments, CliContext &context)
{
    try {
        const ParsedCommand command = parseCommandLine(arguments);
        if (command.versionRequested) {
            context.console.writeOut(QStringLiteral("halvora-cli ") + QCoreApplication::applicationVersion() +
                                     u'\n');
            return 0;
        }
        if (command.helpRequested || command.command.isEmpty()) {
            context.console.writeOut(command.command.isEmpty() ? generalHelp()
                                                               : commandHelp(command.command));
            return 0;
        }
        return static_cast<int>(Runner(command, context).run());
    } catch (...) {
        const std::exception_ptr failure = std::current_exception();
        context.console.error(localizedDescription(failure));
        return static_cast<int>(exitCodeFor(failure));
    }
}

} // namespace halvora::cli
