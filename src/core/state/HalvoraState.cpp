#include "core/state/HalvoraState.h"

#include "core/model/ChangeNotRecorded.h"
#include "core/model/LocalizedError.h"

#include <QHash>
#include <QPointer>
#include <QScopeGuard>
#include <QStringList>
#include <QThread>

#include <algorithm>
#include <exception>
#include <utility>

namespace halvora {

namespace {

// Rule for every observed field: an equal value is stored silently.
template <typename T> bool assign(T &field, const T &value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}

// The outcome of one service call: a value or the failure it threw.
template <typename T> struct Attempt {
    std::optional<T> value;
    std::exception_ptr failure;
};

// Runs one service call and catches what it throws, also synchronously before it
// returns its task, so that no caller needs a try around a co_await.
template <typename Call>
auto attempt(Call call) -> QCoro::Task<Attempt<typename decltype(call())::value_type>>
{
    Attempt<typename decltype(call())::value_type> outcome;
    try {
        outcome.value.emplace(co_await call());
    } catch (...) {
        outcome.failure = std::current_exception();
    }
    co_return outcome;
}

Attempt<QList<AssociationChangeRecord>> readHistory(FileAssociationManaging &manager)
{
    Attempt<QList<AssociationChangeRecord>> outcome;
    try {
        outcome.value.emplace(manager.loadChangeHistory());
    } catch (...) {
        outcome.failure = std::current_exception();
    }
    return outcome;
}

bool containsLowered(const QString &text, const QString &query)
{
    return text.toLower().contains(query);
}

bool matchesSearch(const FileAssociation &association, const QString &query)
{
    if (containsLowered(association.fileExtension(), query) ||
        containsLowered(association.contentTypeIdentifier(), query))
        return true;
    const auto &app = association.currentApp();
    return app && (containsLowered(app->name(), query) || containsLowered(app->bundleIdentifier(), query));
}

const QString alreadyCurrentNote = QStringLiteral("이미 현재 기본 앱입니다.");
const QString notCandidateNote = QStringLiteral("선택한 앱이 이 확장자의 호환 후보에 없습니다.");
const QString noUndoTargetNote = QStringLiteral("이전 기본 앱이 없어 되돌리기 대상은 저장되지 않습니다.");

} // namespace

HalvoraState::HalvoraState(std::shared_ptr<FileAssociationManaging> manager,
                           ExtensionCatalog extensionCatalog, QObject *parent)
    : QObject(parent), manager_(std::move(manager)), extensionCatalog_(std::move(extensionCatalog))
{
    Q_ASSERT_X(manager_, "HalvoraState", "a state needs an association service");
}

HalvoraState::~HalvoraState() = default;

void HalvoraState::assertOnOwnThread(const char *operation) const
{
    Q_ASSERT_X(QThread::currentThread() == thread(), operation, "HalvoraState is used from another thread");
    Q_UNUSED(operation);
}

// --- Observed fields ------------------------------------------------------------------

const QList<FileAssociation> &HalvoraState::associations() const
{
    return associations_;
}

const std::optional<QString> &HalvoraState::selectedExtension() const
{
    return selectedExtension_;
}

void HalvoraState::setSelectedExtension(const std::optional<QString> &extension)
{
    assertOnOwnThread("setSelectedExtension");
    if (assign(selectedExtension_, extension))
        Q_EMIT selectedExtensionChanged();
}

AssociationSidebarMode HalvoraState::sidebarMode() const
{
    return sidebarMode_;
}

void HalvoraState::setSidebarMode(AssociationSidebarMode mode)
{
    assertOnOwnThread("setSidebarMode");
    if (assign(sidebarMode_, mode))
        Q_EMIT sidebarModeChanged();
}

AssociationFilter HalvoraState::associationFilter() const
{
    return associationFilter_;
}

void HalvoraState::setAssociationFilter(AssociationFilter filter)
{
    assertOnOwnThread("setAssociationFilter");
    if (assign(associationFilter_, filter))
        Q_EMIT associationFilterChanged();
}

const QString &HalvoraState::searchText() const
{
    return searchText_;
}

void HalvoraState::setSearchText(const QString &text)
{
    assertOnOwnThread("setSearchText");
    if (assign(searchText_, text))
        Q_EMIT searchTextChanged();
}

bool HalvoraState::isLoading() const
{
    return isLoading_;
}

const std::optional<QString> &HalvoraState::alertMessage() const
{
    return alertMessage_;
}

void HalvoraState::setAlertMessage(const std::optional<QString> &message)
{
    assertOnOwnThread("setAlertMessage");
    if (assign(alertMessage_, message))
        Q_EMIT alertMessageChanged();
}

const std::optional<PendingAssociationChange> &HalvoraState::pendingChange() const
{
    return pendingChange_;
}

void HalvoraState::setPendingChange(const std::optional<PendingAssociationChange> &change)
{
    assertOnOwnThread("setPendingChange");
    if (assign(pendingChange_, change))
        Q_EMIT pendingChangeChanged();
}

const QList<AssociationChangeRecord> &HalvoraState::changeHistory() const
{
    return changeHistory_;
}

bool HalvoraState::isBulkSelectionEnabled() const
{
    return isBulkSelectionEnabled_;
}

const QSet<QString> &HalvoraState::selectedExtensionsForBulk() const
{
    return selectedExtensionsForBulk_;
}

const std::optional<BulkAssociationChangePlan> &HalvoraState::pendingBulkPlan() const
{
    return pendingBulkPlan_;
}

void HalvoraState::setPendingBulkPlan(const std::optional<BulkAssociationChangePlan> &plan)
{
    assertOnOwnThread("setPendingBulkPlan");
    if (assign(pendingBulkPlan_, plan))
        Q_EMIT pendingBulkPlanChanged();
}

const std::optional<BulkAssociationApplySummary> &HalvoraState::bulkApplySummary() const
{
    return bulkApplySummary_;
}

const QSet<ExtensionCategory> &HalvoraState::expandedExtensionCategories() const
{
    return expandedExtensionCategories_;
}

const QSet<QString> &HalvoraState::expandedApplicationGroupIDs() const
{
    return expandedApplicationGroupIDs_;
}

void HalvoraState::setAssociations(const QList<FileAssociation> &associations)
{
    if (assign(associations_, associations))
        Q_EMIT associationsChanged();
}

void HalvoraState::setLoading(bool loading)
{
    if (assign(isLoading_, loading))
        Q_EMIT isLoadingChanged();
}

void HalvoraState::setChangeHistory(const QList<AssociationChangeRecord> &history)
{
    if (assign(changeHistory_, history))
        Q_EMIT changeHistoryChanged();
}

void HalvoraState::setBulkApplySummary(const std::optional<BulkAssociationApplySummary> &summary)
{
    if (assign(bulkApplySummary_, summary))
        Q_EMIT bulkApplySummaryChanged();
}

// --- Loading and selection --------------------------------------------------------------
//
// Every coroutine below re-checks `alive` after each suspension: the state may have been
// destroyed while the service worked, and then there is nobody left to report to.

QCoro::Task<void> HalvoraState::load()
{
    assertOnOwnThread("load");
    QPointer<HalvoraState> alive(this);
    setLoading(true);
    setAlertMessage(std::nullopt);

    auto loaded = co_await attempt([this] { return manager_->loadRegisteredAssociations(); });
    if (!alive)
        co_return;
    if (loaded.failure) {
        setAlertMessage(localizedDescription(loaded.failure));
    } else {
        // Sorted before it is stored, so no observer ever sees the service's order.
        setAssociations(extensionCatalog_.sort(*loaded.value));
        auto history = readHistory(*manager_);
        if (history.failure) {
            setAlertMessage(localizedDescription(history.failure));
        } else {
            setChangeHistory(*history.value);
            selectFallbackIfNeeded();
        }
    }
    setLoading(false);
}

void HalvoraState::selectFallbackIfNeeded()
{
    if (associations_.isEmpty()) {
        setSelectedExtension(std::nullopt);
        return;
    }
    if (selectedAssociation())
        return;
    setSelectedExtension(associations_.first().fileExtension());
}

std::optional<FileAssociation> HalvoraState::selectedAssociation() const
{
    assertOnOwnThread("selectedAssociation");
    if (!selectedExtension_)
        return std::nullopt;
    for (const auto &association : associations_) {
        if (association.fileExtension() == *selectedExtension_)
            return association;
    }
    return std::nullopt;
}

void HalvoraState::upsert(const FileAssociation &association)
{
    // Replacing an entry always notifies, even when the fresh load equals the old one;
    // the list is re-sorted before observers hear of it.
    QList<FileAssociation> updated = associations_;
    updated.removeIf([&](const FileAssociation &existing) {
        return existing.fileExtension() == association.fileExtension();
    });
    updated.append(association);
    associations_ = extensionCatalog_.sort(updated);
    Q_EMIT associationsChanged();
}

QCoro::Task<void> HalvoraState::refreshSelectedAssociation()
{
    assertOnOwnThread("refreshSelectedAssociation");
    if (!selectedExtension_)
        co_return;
    QPointer<HalvoraState> alive(this);
    const QString extension = *selectedExtension_;

    auto loaded = co_await attempt([&] { return manager_->loadAssociation(extension); });
    if (!alive)
        co_return;
    if (loaded.failure) {
        setAlertMessage(localizedDescription(loaded.failure));
        co_return;
    }
    upsert(*loaded.value);
    setAlertMessage(std::nullopt);
}

QCoro::Task<void> HalvoraState::addExtension(QString text)
{
    assertOnOwnThread("addExtension");
    QPointer<HalvoraState> alive(this);

    auto loaded = co_await attempt([&] { return manager_->loadAssociation(text); });
    if (!alive)
        co_return;
    if (loaded.failure) {
        setAlertMessage(localizedDescription(loaded.failure));
        co_return;
    }
    upsert(*loaded.value);
    setSelectedExtension(loaded.value->fileExtension());
    setSearchText(QString());
    setAlertMessage(std::nullopt);
}

// --- Sidebar queries ----------------------------------------------------------------------

QList<FileAssociation> HalvoraState::visibleAssociations() const
{
    assertOnOwnThread("visibleAssociations");
    const QString query = searchText_.trimmed().toLower();

    // What the history filters need, built once per call.
    QSet<QString> changed;
    QHash<QString, AssociationVerificationStatus> newest;
    if (associationFilter_ == AssociationFilter::recentlyChanged) {
        for (const auto &record : changeHistory_)
            changed.insert(record.fileExtension());
    } else if (associationFilter_ == AssociationFilter::verificationFailed) {
        // The history is newest first, so the first record per extension is its newest.
        for (const auto &record : changeHistory_) {
            if (!newest.contains(record.fileExtension()))
                newest.insert(record.fileExtension(), record.verificationStatus());
        }
    }
    auto keptByFilter = [&](const FileAssociation &a) {
        switch (associationFilter_) {
        case AssociationFilter::all:
            return true;
        case AssociationFilter::missingDefaultApplication:
            return !a.currentApp().has_value();
        case AssociationFilter::missingCandidateApps:
            return a.candidateApps().isEmpty();
        case AssociationFilter::recentlyChanged:
            return changed.contains(a.fileExtension());
        case AssociationFilter::verificationFailed: {
            const auto found = newest.constFind(a.fileExtension());
            return found != newest.constEnd() && isFailure(*found);
        }
        }
        return true;
    };

    if (query.isEmpty() && associationFilter_ == AssociationFilter::all)
        return associations_;
    // The list is always stored in catalog order (load and upsert sort it), and keeping a
    // subsequence of it keeps that order: no second sort is needed.
    QList<FileAssociation> visible;
    visible.reserve(associations_.size());
    for (const auto &association : associations_) {
        if ((query.isEmpty() || matchesSearch(association, query)) && keptByFilter(association))
            visible.append(association);
    }
    return visible;
}

QList<GroupedFileAssociations> HalvoraState::groupedVisibleAssociations() const
{
    assertOnOwnThread("groupedVisibleAssociations");
    return extensionCatalog_.group(visibleAssociations());
}

QList<AppAssociationGroup> HalvoraState::applicationGroupedVisibleAssociations() const
{
    assertOnOwnThread("applicationGroupedVisibleAssociations");
    // The visible list is already in catalog order and the sort is stable, so appending in
    // that order keeps every group sorted without sorting it again on each append.
    struct Bucket {
        std::optional<AssociatedApp> app;
        QList<FileAssociation> associations;
    };
    QList<Bucket> buckets;
    QHash<QString, qsizetype> bucketByID;
    // An app's identity decodes its path, so it is worked out once per distinct app.
    QHash<AssociatedApp, qsizetype> bucketByApp;
    auto bucketFor = [&](const std::optional<AssociatedApp> &app) {
        if (app) {
            const auto known = bucketByApp.constFind(*app);
            if (known != bucketByApp.constEnd())
                return *known;
        }
        const QString id = app ? app->id() : AppAssociationGroup::unassignedID;
        auto found = bucketByID.constFind(id);
        if (found == bucketByID.constEnd()) {
            found = bucketByID.insert(id, buckets.size());
            buckets.append(Bucket{app, {}});
        }
        if (app)
            bucketByApp.insert(*app, *found);
        return *found;
    };

    QList<FileAssociation> visible = visibleAssociations();
    for (auto &association : visible) {
        Bucket &bucket = buckets[bucketFor(association.currentApp())];
        // The group shows the app as the latest of its associations names it.
        bucket.app = association.currentApp();
        bucket.associations.append(std::move(association));
    }

    QList<AppAssociationGroup> groups;
    groups.reserve(buckets.size());
    for (auto &bucket : buckets)
        groups.append(AppAssociationGroup(std::move(bucket.app), std::move(bucket.associations)));
    return sortedInApplicationGroupOrder(std::move(groups));
}

bool HalvoraState::isGroupExpanded(ExtensionCategory category) const
{
    return expandedExtensionCategories_.contains(category);
}

void HalvoraState::toggleGroup(ExtensionCategory category)
{
    assertOnOwnThread("toggleGroup");
    if (!expandedExtensionCategories_.remove(category))
        expandedExtensionCategories_.insert(category);
    Q_EMIT expandedExtensionCategoriesChanged();
}

QList<FileAssociation> HalvoraState::displayedAssociations(const GroupedFileAssociations &group) const
{
    return isGroupExpanded(group.category()) ? group.associations() : QList<FileAssociation>();
}

bool HalvoraState::isApplicationGroupExpanded(const QString &groupID) const
{
    return expandedApplicationGroupIDs_.contains(groupID);
}

void HalvoraState::toggleApplicationGroup(const QString &groupID)
{
    assertOnOwnThread("toggleApplicationGroup");
    if (!expandedApplicationGroupIDs_.remove(groupID))
        expandedApplicationGroupIDs_.insert(groupID);
    Q_EMIT expandedApplicationGroupIDsChanged();
}

QList<FileAssociation> HalvoraState::displayedAssociations(const AppAssociationGroup &group) const
{
    return isApplicationGroupExpanded(group.id()) ? group.associations() : QList<FileAssociation>();
}

// --- Single change and undo -------------------------------------------------------------

void HalvoraState::requestApply(const AssociatedApp &app, const FileAssociation &association)
{
    assertOnOwnThread("requestApply");
    setPendingChange(PendingAssociationChange(association, app));
}

void HalvoraState::cancelPendingChange()
{
    assertOnOwnThread("cancelPendingChange");
    setPendingChange(std::nullopt);
}

QCoro::Task<void> HalvoraState::confirmPendingChange()
{
    assertOnOwnThread("confirmPendingChange");
    if (!pendingChange_)
        co_return;
    co_await confirmPendingChange(*pendingChange_);
}

QCoro::Task<void> HalvoraState::confirmPendingChange(PendingAssociationChange change)
{
    assertOnOwnThread("confirmPendingChange");
    QPointer<HalvoraState> alive(this);

    auto applied = co_await attempt(
        [&] { return manager_->applyDefaultApplication(change.replacementApp(), change.association()); });
    if (!alive)
        co_return;
    // The service throws only when the store fails after the system was asked.
    const bool notRecorded = failedAfterAskingTheSystem(applied.failure);
    if (applied.failure && !notRecorded) {
        setAlertMessage(localizedDescription(applied.failure));
        co_return;
    }
    auto history = readHistory(*manager_);
    if (history.failure && !notRecorded) {
        setAlertMessage(localizedDescription(history.failure));
        co_return;
    }
    if (history.value)
        setChangeHistory(*history.value);
    // A newer proposal made while this one ran stays for the user to decide.
    if (pendingChange_ == change)
        setPendingChange(std::nullopt);

    co_await refreshAfterChange(change.association().fileExtension(),
                                change.association().contentTypeIdentifier());
    if (!alive)
        co_return;
    if (notRecorded)
        setAlertMessage(changeNotRecordedDescription(applied.failure));
    else
        reportOutcome(*applied.value);
}

std::optional<AssociationChangeRecord> HalvoraState::latestChange(const QString &fileExtension) const
{
    assertOnOwnThread("latestChange");
    for (const auto &record : changeHistory_) {
        if (record.fileExtension() == fileExtension)
            return record;
    }
    return std::nullopt;
}

std::optional<AssociationChangeRecord> HalvoraState::latestUndoableChange() const
{
    assertOnOwnThread("latestUndoableChange");
    for (const auto &record : changeHistory_) {
        if (record.canBeUndone())
            return record;
    }
    return std::nullopt;
}

QCoro::Task<void> HalvoraState::undoRecentChange()
{
    assertOnOwnThread("undoRecentChange");
    auto latest = latestUndoableChange();
    if (!latest)
        co_return;
    co_await undoChange(std::move(*latest));
}

QCoro::Task<void> HalvoraState::undoChange(AssociationChangeRecord record)
{
    assertOnOwnThread("undoChange");
    // A second press while the first undo of this record still runs would undo it twice.
    if (undoingRecordIDs_.contains(record.id()))
        co_return;
    undoingRecordIDs_.insert(record.id());
    QPointer<HalvoraState> alive(this);
    const auto done = qScopeGuard([alive, id = record.id()] {
        if (alive)
            alive->undoingRecordIDs_.remove(id);
    });

    auto undone = co_await attempt([&] { return manager_->undoChange(record); });
    if (!alive)
        co_return;
    const bool notRecorded = failedAfterAskingTheSystem(undone.failure);
    if (undone.failure && !notRecorded) {
        setAlertMessage(localizedDescription(undone.failure));
        co_return;
    }
    auto history = readHistory(*manager_);
    if (history.failure && !notRecorded) {
        setAlertMessage(localizedDescription(history.failure));
        co_return;
    }
    if (history.value)
        setChangeHistory(*history.value);

    co_await refreshAfterChange(record.fileExtension(), record.contentTypeIdentifier());
    if (!alive)
        co_return;
    if (notRecorded)
        setAlertMessage(changeNotRecordedDescription(undone.failure));
    else
        reportOutcome(*undone.value);
}

QCoro::Task<void> HalvoraState::refreshAfterChange(QString fileExtension, QString contentTypeIdentifier)
{
    // Extensions of one content type share one default, so all of them are reloaded. A failed
    // refresh is not worth a message: the outcome of the change is reported anyway.
    QPointer<HalvoraState> alive(this);
    QStringList extensions{fileExtension};
    for (const auto &listed : associations_) {
        if (listed.contentTypeIdentifier() == contentTypeIdentifier &&
            !extensions.contains(listed.fileExtension()))
            extensions.append(listed.fileExtension());
    }
    for (const QString &extension : extensions) {
        auto loaded = co_await attempt([&] { return manager_->loadAssociation(extension); });
        if (!alive)
            co_return;
        if (loaded.value)
            upsert(*loaded.value);
    }
}

void HalvoraState::reportOutcome(const AssociationChangeRecord &record)
{
    if (isFailure(record.verificationStatus()))
        setAlertMessage(record.verificationMessage().value_or(title(record.verificationStatus())));
    else
        setAlertMessage(std::nullopt);
}

// --- Bulk selection and apply -------------------------------------------------------------

void HalvoraState::setBulkSelectionEnabled(bool enabled)
{
    assertOnOwnThread("setBulkSelectionEnabled");
    if (assign(isBulkSelectionEnabled_, enabled))
        Q_EMIT isBulkSelectionEnabledChanged();
    if (!enabled)
        clearBulkSelection();
}

void HalvoraState::toggleBulkSelection(const FileAssociation &association)
{
    assertOnOwnThread("toggleBulkSelection");
    const QString &extension = association.fileExtension();
    if (selectedExtensionsForBulk_.remove(extension)) {
        bulkSelectionOrder_.removeAll(extension);
    } else {
        selectedExtensionsForBulk_.insert(extension);
        bulkSelectionOrder_.append(extension);
    }
    Q_EMIT selectedExtensionsForBulkChanged();
}

void HalvoraState::clearBulkSelection()
{
    selectedExtensionsForBulk_.clear();
    bulkSelectionOrder_.clear();
    Q_EMIT selectedExtensionsForBulkChanged();
}

bool HalvoraState::isSelectedForBulk(const QString &fileExtension) const
{
    return selectedExtensionsForBulk_.contains(fileExtension);
}

QList<FileAssociation> HalvoraState::bulkSelectedAssociations() const
{
    assertOnOwnThread("bulkSelectedAssociations");
    QHash<QString, qsizetype> indexByExtension;
    for (qsizetype i = 0; i < associations_.size(); ++i)
        indexByExtension.insert(associations_[i].fileExtension(), i);

    QList<FileAssociation> selected;
    for (const auto &extension : bulkSelectionOrder_) {
        const auto found = indexByExtension.constFind(extension);
        if (found != indexByExtension.constEnd())
            selected.append(associations_[*found]);
    }
    return selected;
}

QList<AssociatedApp> HalvoraState::commonCandidateAppsForBulkSelection() const
{
    assertOnOwnThread("commonCandidateAppsForBulkSelection");
    const auto selected = bulkSelectedAssociations();
    if (selected.isEmpty())
        return {};

    // Applications count as the same by bundle identifier alone; the later duplicate wins.
    QHash<QString, AssociatedApp> appByBundle;
    QList<QString> bundleOrder;
    for (const auto &app : selected.first().candidateApps()) {
        if (!appByBundle.contains(app.bundleIdentifier()))
            bundleOrder.append(app.bundleIdentifier());
        appByBundle.insert(app.bundleIdentifier(), app);
    }
    QSet<QString> common(bundleOrder.cbegin(), bundleOrder.cend());
    for (qsizetype i = 1; i < selected.size() && !common.isEmpty(); ++i) {
        QSet<QString> accepted;
        for (const auto &app : selected[i].candidateApps())
            accepted.insert(app.bundleIdentifier());
        common.intersect(accepted);
    }

    QList<AssociatedApp> apps;
    for (const auto &bundle : bundleOrder) {
        if (common.contains(bundle))
            apps.append(*appByBundle.constFind(bundle));
    }
    return sortedInApplicationOrder(std::move(apps));
}

BulkAssociationChangePlan HalvoraState::makeBulkPlan(const AssociatedApp &targetApp,
                                                     bool allowsDirectApp) const
{
    assertOnOwnThread("makeBulkPlan");
    const QString &target = targetApp.bundleIdentifier();
    // Extensions of one content type share one default: once an earlier row changes it, the
    // later rows of that type are judged against the target, not the default listed now.
    QSet<QString> typesChangedByEarlierRows;
    QList<BulkAssociationChangeRow> rows;
    for (const auto &association : bulkSelectedAssociations()) {
        const bool changedEarlier = typesChangedByEarlierRows.contains(association.contentTypeIdentifier());
        const std::optional<AssociatedApp> current = changedEarlier ? targetApp : association.currentApp();
        BulkAssociationRowStatus status = BulkAssociationRowStatus::ready;
        std::optional<QString> note;
        const bool isCandidate =
            std::any_of(association.candidateApps().cbegin(), association.candidateApps().cend(),
                        [&](const AssociatedApp &app) { return app.bundleIdentifier() == target; });
        if (current && current->bundleIdentifier() == target) {
            status = BulkAssociationRowStatus::skipped;
            note = alreadyCurrentNote;
        } else if (!allowsDirectApp && !isCandidate) {
            status = BulkAssociationRowStatus::blocked;
            note = notCandidateNote;
        } else if (!current) {
            note = noUndoTargetNote;
        }
        if (status == BulkAssociationRowStatus::ready)
            typesChangedByEarlierRows.insert(association.contentTypeIdentifier());
        rows.append(BulkAssociationChangeRow(association, targetApp, status, std::move(note)));
    }
    return BulkAssociationChangePlan(targetApp, std::move(rows));
}

void HalvoraState::requestBulkPlan(const AssociatedApp &targetApp, bool allowsDirectApp)
{
    assertOnOwnThread("requestBulkPlan");
    setPendingBulkPlan(makeBulkPlan(targetApp, allowsDirectApp));
}

void HalvoraState::cancelBulkPlan()
{
    assertOnOwnThread("cancelBulkPlan");
    setPendingBulkPlan(std::nullopt);
}

QCoro::Task<void> HalvoraState::confirmBulkPlan(BulkAssociationChangePlan plan)
{
    assertOnOwnThread("confirmBulkPlan");
    QPointer<HalvoraState> alive(this);
    int verified = 0;
    int failed = 0;
    int unrecorded = 0;

    // Strictly one row after another: each waits for its apply and its refresh.
    for (const auto &row : plan.readyRows()) {
        // Start from the list as refreshed after the earlier rows, so that the record names
        // the default this row really replaces.
        FileAssociation association = row.association();
        for (const auto &listed : associations_) {
            if (listed.fileExtension() == association.fileExtension())
                association = listed;
        }
        auto applied =
            co_await attempt([&] { return manager_->applyDefaultApplication(row.targetApp(), association); });
        if (!alive)
            co_return;
        if (failedAfterAskingTheSystem(applied.failure))
            ++unrecorded;
        else if (applied.failure || isFailure(applied.value->verificationStatus()))
            ++failed;
        else
            ++verified;
        co_await refreshAfterChange(association.fileExtension(), association.contentTypeIdentifier());
        if (!alive)
            co_return;
    }

    auto history = readHistory(*manager_);
    if (history.failure)
        setAlertMessage(localizedDescription(history.failure));
    else
        setChangeHistory(*history.value);
    setBulkApplySummary(
        BulkAssociationApplySummary(verified, failed, plan.skippedCount(), plan.blockedCount(), unrecorded));
    setPendingBulkPlan(std::nullopt);
    clearBulkSelection();
    if (assign(isBulkSelectionEnabled_, false))
        Q_EMIT isBulkSelectionEnabledChanged();
}

void HalvoraState::clearBulkSummary()
{
    assertOnOwnThread("clearBulkSummary");
    setBulkApplySummary(std::nullopt);
}

} // namespace halvora
