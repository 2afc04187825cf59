#include "app/commands/ChangeCommands.h"

#include "app/MainWindow.h"
#include "app/PresentationQueue.h"
#include "app/SymbolIcons.h"
#include "app/sheets/AddExtensionSheet.h"
#include "app/sheets/BulkPreviewSheet.h"
#include "app/sheets/ChangeHistorySheet.h"
#include "core/state/HalvoraState.h"

#include <QAction>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>

namespace halvora {

ChangeCommands::ChangeCommands(MainWindow &window) : QObject(&window), window_(window), state_(window.state())
{
    buildActions();

    connect(&state_, &HalvoraState::changeHistoryChanged, this, &ChangeCommands::updateActions);
    connect(&state_, &HalvoraState::isBulkSelectionEnabledChanged, this, &ChangeCommands::updateActions);
    connect(&state_, &HalvoraState::selectedExtensionsForBulkChanged, this, &ChangeCommands::updateActions);
    connect(&state_, &HalvoraState::selectedExtensionsForBulkChanged, this, &ChangeCommands::rebuildBulkMenu);
    // The common candidates come from the listed associations, which a refresh replaces.
    connect(&state_, &HalvoraState::associationsChanged, this, &ChangeCommands::rebuildBulkMenu);
    connect(&state_, &HalvoraState::pendingChangeChanged, this, &ChangeCommands::updateConfirmationAlert);
    connect(&state_, &HalvoraState::pendingBulkPlanChanged, this, &ChangeCommands::updateBulkPreview);
    connect(&state_, &HalvoraState::bulkApplySummaryChanged, this, &ChangeCommands::updateBulkResultAlert);

    updateActions();
    rebuildBulkMenu();
    updateConfirmationAlert();
    updateBulkPreview();
    updateBulkResultAlert();
}

void ChangeCommands::buildActions()
{
    const auto makeItem = [this](const QString &title, const QString &symbol, const QString &help) {
        auto *action = new QAction(symbolIcon(symbol), title, this);
        action->setToolTip(help);
        action->setStatusTip(help);
        return action;
    };
    undoAction_ = makeItem(QStringLiteral("되돌리기"), QStringLiteral("arrow.uturn.backward"),
                           QStringLiteral("Halvora에서 최근 적용한 변경을 되돌립니다."));
    bulkModeAction_ = makeItem(QStringLiteral("다중 선택"), QStringLiteral("checkmark.square"),
                               QStringLiteral("여러 확장자를 선택해 같은 기본 앱으로 일괄 적용합니다."));
    bulkMenuAction_ = makeItem(QStringLiteral("일괄 적용"), QStringLiteral("checklist.checked"),
                               QStringLiteral("선택한 확장자에 적용할 앱을 고릅니다."));
    bulkMenu_ = new QMenu(QStringLiteral("일괄 적용"), &window_);
    bulkMenuAction_->setMenu(bulkMenu_);

    // Started and left to run: the state reports failures through alertMessage.
    connect(undoAction_, &QAction::triggered, this, [this] { state_.undoRecentChange(); });
    connect(bulkModeAction_, &QAction::triggered, this,
            [this] { state_.setBulkSelectionEnabled(!state_.isBulkSelectionEnabled()); });

    window_.insertChangeCommandActions({undoAction_, bulkModeAction_, bulkMenuAction_});
    // The menu item opens its menu on a plain click, as a toolbar menu does.
    if (auto *button = qobject_cast<QToolButton *>(window_.toolbar()->widgetForAction(bulkMenuAction_)))
        button->setPopupMode(QToolButton::InstantPopup);
}

void ChangeCommands::updateActions()
{
    undoAction_->setEnabled(state_.latestUndoableChange().has_value());
    const bool bulk = state_.isBulkSelectionEnabled();
    bulkModeAction_->setText(bulk ? QStringLiteral("다중 선택 해제") : QStringLiteral("다중 선택"));
    bulkModeAction_->setIcon(
        symbolIcon(bulk ? QStringLiteral("checkmark.square.fill") : QStringLiteral("checkmark.square")));
    bulkMenuAction_->setEnabled(!state_.selectedExtensionsForBulk().isEmpty());
}

void ChangeCommands::rebuildBulkMenu()
{
    bulkMenu_->clear();
    const QList<AssociatedApp> candidates = state_.commonCandidateAppsForBulkSelection();
    if (candidates.isEmpty()) {
        QAction *none = bulkMenu_->addAction(QStringLiteral("공통 후보 앱 없음"));
        none->setEnabled(false);
    }
    for (const AssociatedApp &app : candidates) {
        QAction *item = bulkMenu_->addAction(symbolIcon(QStringLiteral("app")), app.name());
        item->setData(app.id());
        connect(item, &QAction::triggered, this,
                [this, app] { state_.setPendingBulkPlan(state_.makeBulkPlan(app, false)); });
    }
    bulkMenu_->addSeparator();
    QAction *pick = bulkMenu_->addAction(symbolIcon(QStringLiteral("folder")), QStringLiteral("직접 선택"));
    connect(pick, &QAction::triggered, this, &ChangeCommands::pickBulkApplication);
}

void ChangeCommands::pickBulkApplication()
{
    if (const std::optional<AssociatedApp> app = window_.pickAndDescribeApplication())
        state_.setPendingBulkPlan(state_.makeBulkPlan(*app, true));
}

// --- confirmation of a single change ----------------------------------------------------

void ChangeCommands::updateConfirmationAlert()
{
    PresentationQueue &queue = window_.presentations();
    const std::optional<PendingAssociationChange> &change = state_.pendingChange();
    if (queue.currentKey() == confirmChangeAlertKey && shownChange_ != change)
        queue.withdraw(confirmChangeAlertKey); // a replaced proposal is shown afresh below
    if (change)
        queue.enqueue(confirmChangeAlertKey, [this] { return makeConfirmationAlert(); });
    else
        queue.withdraw(confirmChangeAlertKey);
}

QDialog *ChangeCommands::makeConfirmationAlert()
{
    const std::optional<PendingAssociationChange> change = state_.pendingChange();
    if (!change)
        return nullptr;
    shownChange_ = change;
    QMessageBox *alert =
        MainWindow::makeAlert(&window_, QStringLiteral("기본 앱 변경"), change->confirmationText());
    alert->setIcon(QMessageBox::Question);
    QPushButton *cancel = alert->addButton(QStringLiteral("취소"), QMessageBox::RejectRole);
    QPushButton *apply = alert->addButton(QStringLiteral("적용"), QMessageBox::AcceptRole);
    alert->setEscapeButton(cancel);
    alert->setDefaultButton(apply);
    connect(alert, &QDialog::finished, this, [this, alert, apply, change = *change] {
        shownChange_.reset();
        const bool confirmed = alert->clickedButton() == apply;
        // Cleared before the change runs, so the run works on the change this alert showed.
        // A newer proposal that replaced it stays for its own alert.
        if (state_.pendingChange() == change)
            state_.setPendingChange(std::nullopt);
        if (confirmed)
            state_.confirmPendingChange(change);
    });
    return alert;
}

// --- bulk preview ---------------------------------------------------------------------

void ChangeCommands::updateBulkPreview()
{
    PresentationQueue &queue = window_.presentations();
    const std::optional<BulkAssociationChangePlan> &plan = state_.pendingBulkPlan();
    if (bulkPreview_ && (!plan || bulkPreview_->plan() != *plan)) {
        // The run that was going on has ended (or the plan was replaced): let it close.
        bulkPreview_->setApplying(false);
        queue.withdraw(bulkPreviewSheetKey);
    }
    if (plan)
        queue.enqueue(bulkPreviewSheetKey, [this] { return makeBulkPreview(); });
    else
        queue.withdraw(bulkPreviewSheetKey);
}

QDialog *ChangeCommands::makeBulkPreview()
{
    const std::optional<BulkAssociationChangePlan> plan = state_.pendingBulkPlan();
    if (!plan)
        return nullptr;
    auto *sheet = new BulkPreviewSheet(
        *plan,
        [this, plan = *plan] {
            if (state_.pendingBulkPlan() == plan)
                state_.setPendingBulkPlan(std::nullopt);
        },
        // The sheet refuses a second press itself; the run clears the plan when it ends,
        // which closes the sheet.
        [this, plan = *plan] { state_.confirmBulkPlan(plan); }, &window_);
    bulkPreview_ = sheet;
    connect(sheet, &QDialog::finished, this, [this, sheet] {
        if (bulkPreview_ == sheet)
            bulkPreview_ = nullptr;
        if (state_.pendingBulkPlan() == sheet->plan())
            state_.setPendingBulkPlan(std::nullopt);
    });
    return sheet;
}

// --- result of a bulk run ---------------------------------------------------------------

void ChangeCommands::updateBulkResultAlert()
{
    PresentationQueue &queue = window_.presentations();
    const std::optional<BulkAssociationApplySummary> &summary = state_.bulkApplySummary();
    if (!summary) {
        queue.withdraw(bulkResultAlertKey);
        return;
    }
    // A newer summary replaces the counts on screen rather than waiting behind them.
    if (queue.currentKey() == bulkResultAlertKey) {
        if (auto *box = qobject_cast<QMessageBox *>(queue.currentDialog()))
            MainWindow::setAlertText(box, summary->message());
        return;
    }
    queue.enqueue(bulkResultAlertKey, [this] { return makeBulkResultAlert(); });
}

QDialog *ChangeCommands::makeBulkResultAlert()
{
    const std::optional<BulkAssociationApplySummary> summary = state_.bulkApplySummary();
    if (!summary)
        return nullptr;
    QMessageBox *alert =
        MainWindow::makeAlert(&window_, QStringLiteral("일괄 적용 결과"), summary->message());
    alert->setIcon(QMessageBox::Information);
    QPushButton *ok = alert->addButton(QStringLiteral("확인"), QMessageBox::RejectRole);
    alert->setDefaultButton(ok);
    alert->setEscapeButton(ok);
    connect(alert, &QDialog::finished, this, [this] { state_.clearBulkSummary(); });
    return alert;
}

// --- installation -----------------------------------------------------------------------

ChangeCommands *installChangeCommands(MainWindow &window, ChangeCommandsOptions options)
{
    auto *commands = new ChangeCommands(window);
    window.setAddExtensionSheetFactory([](MainWindow &w) -> QDialog * {
        HalvoraState &state = w.state();
        return new AddExtensionSheet([&state](const QString &text) { state.addExtension(text); }, &w);
    });
    window.setHistorySheetFactory(
        [](MainWindow &w) -> QDialog * { return new ChangeHistorySheet(w.state(), &w); });
    if (options.windowGeometryPath)
        new WindowGeometryKeeper(&window, window.splitter(), *options.windowGeometryPath, &window);
    return commands;
}

} // namespace halvora
