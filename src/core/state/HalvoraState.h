#pragma once

#include "core/model/ExtensionCatalog.h"
#include "core/model/Models.h"
#include "core/service/FileAssociationManaging.h"
#include "core/state/AssociationSidebarMode.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <memory>
#include <optional>

namespace halvora {

// The one observable state behind the main window, shared by every view. It lives on the
// main thread and must only be used there (debug builds assert it in every operation).
//
// Observation: each observed field has a read accessor and a change signal. Assigning an
// equal value stores silently; the in-place changes (toggleGroup, toggleApplicationGroup,
// toggleBulkSelection, clearBulkSelection and replacing one association) signal every time.
//
// Asynchronous operations return a task that has already started when the call returns.
// A view may drop the task: the operation still runs to its end, and it never throws,
// since every failure becomes alertMessage. Overlapping operations interleave where they
// wait for the service; the last write to a field wins. Queries recompute from the fields
// on every call.
class HalvoraState : public QObject {
    Q_OBJECT
    Q_PROPERTY(QList<FileAssociation> associations READ associations NOTIFY associationsChanged)
    Q_PROPERTY(std::optional<QString> selectedExtension READ selectedExtension WRITE setSelectedExtension
                   NOTIFY selectedExtensionChanged)
    Q_PROPERTY(
        AssociationSidebarMode sidebarMode READ sidebarMode WRITE setSidebarMode NOTIFY sidebarModeChanged)
    Q_PROPERTY(AssociationFilter associationFilter READ associationFilter WRITE setAssociationFilter NOTIFY
                   associationFilterChanged)
    Q_PROPERTY(QString searchText READ searchText WRITE setSearchText NOTIFY searchTextChanged)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(std::optional<QString> alertMessage READ alertMessage WRITE setAlertMessage NOTIFY
                   alertMessageChanged)
    Q_PROPERTY(std::optional<PendingAssociationChange> pendingChange READ pendingChange WRITE setPendingChange
                   NOTIFY pendingChangeChanged)
    Q_PROPERTY(QList<AssociationChangeRecord> changeHistory READ changeHistory NOTIFY changeHistoryChanged)
    Q_PROPERTY(bool isBulkSelectionEnabled READ isBulkSelectionEnabled WRITE setBulkSelectionEnabled NOTIFY
                   isBulkSelectionEnabledChanged)
    Q_PROPERTY(QSet<QString> selectedExtensionsForBulk READ selectedExtensionsForBulk NOTIFY
                   selectedExtensionsForBulkChanged)
    Q_PROPERTY(std::optional<BulkAssociationChangePlan> pendingBulkPlan READ pendingBulkPlan WRITE
                   setPendingBulkPlan NOTIFY pendingBulkPlanChanged)
    Q_PROPERTY(std::optional<BulkAssociationApplySummary> bulkApplySummary READ bulkApplySummary NOTIFY
                   bulkApplySummaryChanged)
    Q_PROPERTY(QSet<ExtensionCategory> expandedExtensionCategories READ expandedExtensionCategories NOTIFY
                   expandedExtensionCategoriesChanged)
    Q_PROPERTY(QSet<QString> expandedApplicationGroupIDs READ expandedApplicationGroupIDs NOTIFY
                   expandedApplicationGroupIDsChanged)

public:
    // Does no work: nothing is loaded until load() is called. manager must not be null.
    HalvoraState(std::shared_ptr<FileAssociationManaging> manager, ExtensionCatalog extensionCatalog,
                 QObject *parent = nullptr);
    ~HalvoraState() override;

    // --- Observed fields --------------------------------------------------------------

    // Every known association, one per extension, in catalog order.
    const QList<FileAssociation> &associations() const;
    // May name an extension that is not listed; then selectedAssociation() is empty.
    const std::optional<QString> &selectedExtension() const;
    void setSelectedExtension(const std::optional<QString> &extension);
    AssociationSidebarMode sidebarMode() const;
    void setSidebarMode(AssociationSidebarMode mode);
    AssociationFilter associationFilter() const;
    void setAssociationFilter(AssociationFilter filter);
    const QString &searchText() const;
    void setSearchText(const QString &text);
    // True while a load() runs (the first of overlapping loads to finish clears it).
    bool isLoading() const;
    // The window shows it in an alert and sets it back to empty when the alert is dismissed.
    const std::optional<QString> &alertMessage() const;
    void setAlertMessage(const std::optional<QString> &message);
    const std::optional<PendingAssociationChange> &pendingChange() const;
    void setPendingChange(const std::optional<PendingAssociationChange> &change);
    // Newest first, as the service returns it.
    const QList<AssociationChangeRecord> &changeHistory() const;
    bool isBulkSelectionEnabled() const;
    const QSet<QString> &selectedExtensionsForBulk() const;
    const std::optional<BulkAssociationChangePlan> &pendingBulkPlan() const;
    void setPendingBulkPlan(const std::optional<BulkAssociationChangePlan> &plan);
    const std::optional<BulkAssociationApplySummary> &bulkApplySummary() const;
    const QSet<ExtensionCategory> &expandedExtensionCategories() const;
    const QSet<QString> &expandedApplicationGroupIDs() const;

    // --- Loading and selection --------------------------------------------------------

    // Reloads every association and the history, then repairs the selection.
    QCoro::Task<void> load();
    std::optional<FileAssociation> selectedAssociation() const;
    // Reloads the selected extension's association; does nothing without a selection.
    QCoro::Task<void> refreshSelectedAssociation();
    // Loads the typed extension (the service normalises and validates it), lists and
    // selects it, and clears the search text.
    QCoro::Task<void> addExtension(QString text);

    // --- Sidebar queries ----------------------------------------------------------------

    // Search (trimmed, lower-cased; extension, content type, current app's name and bundle
    // identifier), then the filter, in catalog order.
    QList<FileAssociation> visibleAssociations() const;
    QList<GroupedFileAssociations> groupedVisibleAssociations() const;
    // By current application (identity), unassigned group last.
    QList<AppAssociationGroup> applicationGroupedVisibleAssociations() const;

    bool isGroupExpanded(ExtensionCategory category) const;
    void toggleGroup(ExtensionCategory category);
    // The group's associations when it is expanded, otherwise none.
    QList<FileAssociation> displayedAssociations(const GroupedFileAssociations &group) const;
    bool isApplicationGroupExpanded(const QString &groupID) const;
    void toggleApplicationGroup(const QString &groupID);
    QList<FileAssociation> displayedAssociations(const AppAssociationGroup &group) const;

    // --- Single change and undo ---------------------------------------------------------

    void requestApply(const AssociatedApp &app, const FileAssociation &association);
    void cancelPendingChange();
    // Confirms pendingChange if there is one.
    QCoro::Task<void> confirmPendingChange();
    // Applies the given change, whatever pendingChange holds by now; clears pendingChange only
    // while it still holds this change.
    QCoro::Task<void> confirmPendingChange(PendingAssociationChange change);

    // The newest record for the extension (exact text), whatever its status.
    std::optional<AssociationChangeRecord> latestChange(const QString &fileExtension) const;
    // The newest record with a previous application that is not undone yet.
    std::optional<AssociationChangeRecord> latestUndoableChange() const;
    QCoro::Task<void> undoRecentChange();
    // Does nothing while an undo of the same record is still running.
    QCoro::Task<void> undoChange(AssociationChangeRecord record);

    // --- Bulk selection and apply -------------------------------------------------------

    // Turning bulk mode off also clears the checked extensions.
    void setBulkSelectionEnabled(bool enabled);
    void toggleBulkSelection(const FileAssociation &association);
    bool isSelectedForBulk(const QString &fileExtension) const;
    // The checked associations in the order they were checked; extensions no longer
    // listed are left out.
    QList<FileAssociation> bulkSelectedAssociations() const;
    // Applications (by bundle identifier) that every checked association accepts, in
    // application order, as the first checked association lists them.
    QList<AssociatedApp> commonCandidateAppsForBulkSelection() const;
    // allowsDirectApp: the target was picked from disk, so it need not be a candidate.
    BulkAssociationChangePlan makeBulkPlan(const AssociatedApp &targetApp, bool allowsDirectApp) const;
    void requestBulkPlan(const AssociatedApp &targetApp, bool allowsDirectApp);
    void cancelBulkPlan();
    // Applies the plan's ready rows one after another, then sets the summary and ends bulk
    // mode.
    QCoro::Task<void> confirmBulkPlan(BulkAssociationChangePlan plan);
    void clearBulkSummary();

Q_SIGNALS:
    void associationsChanged();
    void selectedExtensionChanged();
    void sidebarModeChanged();
    void associationFilterChanged();
    void searchTextChanged();
    void isLoadingChanged();
    void alertMessageChanged();
    void pendingChangeChanged();
    void changeHistoryChanged();
    void isBulkSelectionEnabledChanged();
    void selectedExtensionsForBulkChanged();
    void pendingBulkPlanChanged();
    void bulkApplySummaryChanged();
    void expandedExtensionCategoriesChanged();
    void expandedApplicationGroupIDsChanged();

private:
    void assertOnOwnThread(const char *operation) const;

    void setAssociations(const QList<FileAssociation> &associations);
    void setLoading(bool loading);
    void setChangeHistory(const QList<AssociationChangeRecord> &history);
    void setBulkApplySummary(const std::optional<BulkAssociationApplySummary> &summary);

    void selectFallbackIfNeeded();
    void upsert(const FileAssociation &association);
    void clearBulkSelection();
    void reportOutcome(const AssociationChangeRecord &record);
    QCoro::Task<void> refreshAfterChange(QString fileExtension, QString contentTypeIdentifier);

    std::shared_ptr<FileAssociationManaging> manager_;
    ExtensionCatalog extensionCatalog_;

    QList<FileAssociation> associations_;
    std::optional<QString> selectedExtension_;
    AssociationSidebarMode sidebarMode_ = AssociationSidebarMode::extensions;
    AssociationFilter associationFilter_ = AssociationFilter::all;
    QString searchText_;
    bool isLoading_ = false;
    std::optional<QString> alertMessage_;
    std::optional<PendingAssociationChange> pendingChange_;
    QList<AssociationChangeRecord> changeHistory_;
    bool isBulkSelectionEnabled_ = false;
    QSet<QString> selectedExtensionsForBulk_;
    std::optional<BulkAssociationChangePlan> pendingBulkPlan_;
    std::optional<BulkAssociationApplySummary> bulkApplySummary_;
    QSet<ExtensionCategory> expandedExtensionCategories_;
    QSet<QString> expandedApplicationGroupIDs_;
    // The checked extensions in checking order; always the same extensions as the set.
    QList<QString> bulkSelectionOrder_;
    // Records whose undo is running.
    QSet<QString> undoingRecordIDs_;
};

} // namespace halvora
