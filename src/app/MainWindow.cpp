#include "app/MainWindow.h"

#include "app/AppIcon.h"
#include "app/AssociationDetailView.h"
#include "app/ExtensionSidebarView.h"
#include "app/PresentationQueue.h"
#include "app/SymbolIcons.h"
#include "core/model/LocalizedError.h"
#include "core/state/HalvoraState.h"

#include <QAction>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QResizeEvent>
#include <QShowEvent>
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>

namespace halvora {

namespace {

// QSplitter bounds its panes by their maximum widths only for panes that stretch; a fixed
// pane asked for more than its maximum (by setSizes, for example from a damaged settings
// file) is laid out wider than the widget can be, leaving a gap. So both panes stretch here,
// and resizing the window keeps the sidebar's width and gives the change to the detail pane.
class SidebarSplitter final : public QSplitter {
public:
    SidebarSplitter(int initialSidebarWidth, QWidget *parent)
        : QSplitter(Qt::Horizontal, parent), initialSidebarWidth_(initialSidebarWidth)
    {}

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        const int available = contentsRect().width() - handleWidth();
        if (count() != 2 || available <= 0) {
            QSplitter::resizeEvent(event);
            return;
        }
        // Until the splitter first has room for both panes, its sizes are those of a widget
        // that was never laid out; the sidebar then starts at its ideal width.
        const int sidebar = laidOut_ ? sizes().constFirst() : initialSidebarWidth_;
        laidOut_ = available >= minimumSizeHint().width() - handleWidth();
        setSizes({sidebar, std::max(0, available - sidebar)});
    }

private:
    int initialSidebarWidth_;
    bool laidOut_ = false;
};

} // namespace

MainWindow::MainWindow(HalvoraState &state, DesktopServices services, QWidget *parent)
    : QMainWindow(parent), state_(state), services_(std::move(services))
{
    setWindowTitle(QStringLiteral("Halvora"));
    setMinimumSize(minimumWidth, minimumHeight);
    resize(1040, 660);

    presentations_ = new PresentationQueue(this);

    // Built first so that Tab reaches the toolbar before the sidebar and the detail pane.
    buildToolbar();

    splitter_ = new SidebarSplitter(sidebarIdealWidth, this);
    splitter_->setChildrenCollapsible(false);
    sidebar_ = new ExtensionSidebarView(state_, splitter_);
    sidebar_->setMinimumWidth(sidebarMinimumWidth);
    sidebar_->setMaximumWidth(sidebarMaximumWidth);
    detail_ = new AssociationDetailView(
        state_, services_, [this](const FileAssociation &association) { pickApplication(association); },
        splitter_);
    // A fixed floor, so that a long text in the detail pane is cut there instead of taking
    // width from the sidebar.
    detail_->setMinimumWidth(minimumWidth - sidebarMaximumWidth - 20);
    splitter_->addWidget(sidebar_);
    splitter_->addWidget(detail_);
    setCentralWidget(splitter_);

    connect(&state_, &HalvoraState::selectedExtensionChanged, this, &MainWindow::updateToolbar);
    connect(&state_, &HalvoraState::associationsChanged, this, &MainWindow::updateToolbar);
    connect(&state_, &HalvoraState::associationsChanged, this, &MainWindow::refreshAppIcons);
    connect(&state_, &HalvoraState::alertMessageChanged, this, &MainWindow::updateErrorAlert);
    updateToolbar();
    updateErrorAlert();
}

MainWindow::~MainWindow() = default;

void MainWindow::buildToolbar()
{
    toolbar_ = new QToolBar(QStringLiteral("도구 막대"), this);
    toolbar_->setObjectName(QStringLiteral("mainToolbar"));
    toolbar_->setMovable(false);
    toolbar_->setFloatable(false);
    toolbar_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolbar_->setContextMenuPolicy(Qt::PreventContextMenu);
    addToolBar(Qt::TopToolBarArea, toolbar_);

    const auto makeItem = [this](const QString &title, const QString &symbol, const QString &help) {
        auto *action = new QAction(symbolIcon(symbol), title, this);
        action->setToolTip(help);
        action->setStatusTip(help);
        action->setIconVisibleInMenu(true);
        toolbar_->addAction(action);
        makeKeyboardOperable(toolbar_->widgetForAction(action));
        return action;
    };
    refreshAction_ = makeItem(QStringLiteral("새로고침"), QStringLiteral("arrow.clockwise"),
                              QStringLiteral("선택한 확장자의 기본 앱 정보를 다시 읽습니다."));
    addExtensionAction_ = makeItem(QStringLiteral("확장자 추가"), QStringLiteral("plus"),
                                   QStringLiteral("목록에 없는 확장자를 직접 추가합니다."));
    historyAction_ = makeItem(QStringLiteral("변경 이력"), QStringLiteral("clock.arrow.circlepath"),
                              QStringLiteral("기본 앱 변경 이력과 검증 상태를 확인합니다."));

    connect(refreshAction_, &QAction::triggered, this, [this] {
        // Runs to its end on its own; failures arrive as alertMessage.
        state_.refreshSelectedAssociation();
    });
    connect(addExtensionAction_, &QAction::triggered, this, [this] { setAddingExtension(true); });
    connect(historyAction_, &QAction::triggered, this, [this] { setShowingHistory(true); });
}

void MainWindow::updateToolbar()
{
    refreshAction_->setEnabled(state_.selectedAssociation().has_value());
}

void MainWindow::insertChangeCommandActions(const QList<QAction *> &actions)
{
    const QList<QAction *> items = toolbar_->actions();
    QAction *last = changeCommandActions_.isEmpty() ? historyAction_ : changeCommandActions_.last();
    const qsizetype next = items.indexOf(last) + 1;
    if (next < items.size())
        toolbar_->insertActions(items.at(next), actions);
    else
        toolbar_->addActions(actions);
    // Tab goes through the items in toolbar order, also for items added after the panes.
    QWidget *previous = toolbar_->widgetForAction(last);
    for (QAction *action : actions) {
        QWidget *button = toolbar_->widgetForAction(action);
        makeKeyboardOperable(button);
        if (previous && button)
            setTabOrder(previous, button);
        previous = button;
    }
    changeCommandActions_.append(actions);
}

void MainWindow::makeKeyboardOperable(QWidget *button)
{
    if (!button)
        return;
    // Reached with Tab only: the toolbar items have no shortcut of their own.
    button->setFocusPolicy(Qt::TabFocus);
    button->installEventFilter(this);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    // Space presses a tool button already; Return and Enter do the same here, and open the
    // menu of a menu item.
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        auto *button = qobject_cast<QToolButton *>(watched);
        if (button && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
            if (button->isEnabled()) {
                if (button->menu() && button->popupMode() == QToolButton::InstantPopup)
                    button->showMenu();
                else
                    button->click();
            }
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::refreshAppIcons()
{
    QList<QUrl> urls;
    for (const FileAssociation &association : state_.associations()) {
        if (association.currentApp())
            urls.append(association.currentApp()->url());
        for (const AssociatedApp &app : association.candidateApps())
            urls.append(app.url());
    }
    AppIconCache::instance().refresh(urls);
}

void MainWindow::setAddExtensionSheetFactory(SheetFactory factory)
{
    addExtensionSheetFactory_ = std::move(factory);
}

void MainWindow::setHistorySheetFactory(SheetFactory factory)
{
    historySheetFactory_ = std::move(factory);
}

void MainWindow::setAddingExtension(bool adding)
{
    if (adding)
        presentSheet(addExtensionSheetKey, addExtensionSheetFactory_, isAddingExtension_);
    else
        presentations_->withdraw(addExtensionSheetKey);
}

void MainWindow::setShowingHistory(bool showing)
{
    if (showing)
        presentSheet(historySheetKey, historySheetFactory_, isShowingHistory_);
    else
        presentations_->withdraw(historySheetKey);
}

void MainWindow::presentSheet(const QString &key, const SheetFactory &factory, bool &flag)
{
    if (!factory || flag)
        return;
    flag = true;
    presentations_->enqueue(key, [this, &factory, &flag]() -> QDialog * {
        if (!flag)
            return nullptr;
        QDialog *sheet = factory(*this);
        if (!sheet) {
            flag = false;
            return nullptr;
        }
        connect(sheet, &QDialog::finished, this, [&flag] { flag = false; });
        return sheet;
    });
}

void MainWindow::updateErrorAlert()
{
    const std::optional<QString> &message = state_.alertMessage();
    if (!message) {
        presentations_->withdraw(errorAlertKey);
        return;
    }
    // A newer message replaces the one on screen rather than waiting behind it.
    if (presentations_->currentKey() == errorAlertKey) {
        if (auto *box = qobject_cast<QMessageBox *>(presentations_->currentDialog()))
            setAlertText(box, *message);
        return;
    }
    presentations_->enqueue(errorAlertKey, [this] { return makeErrorAlert(); });
}

QDialog *MainWindow::makeErrorAlert()
{
    const std::optional<QString> message = state_.alertMessage();
    if (!message)
        return nullptr;
    QMessageBox *alert = makeAlert(this, QStringLiteral("오류"), *message);
    alert->setIcon(QMessageBox::Warning);
    QPushButton *ok = alert->addButton(QStringLiteral("확인"), QMessageBox::RejectRole);
    alert->setDefaultButton(ok);
    alert->setEscapeButton(ok);
    // "확인", Escape and the close button all end here.
    connect(alert, &QDialog::finished, this, [this] { state_.setAlertMessage(std::nullopt); });
    return alert;
}

QMessageBox *MainWindow::makeAlert(QWidget *parent, const QString &title, const QString &message)
{
    auto *alert = new QMessageBox(parent);
    alert->setWindowTitle(title);
    alert->setTextFormat(Qt::PlainText);
    setAlertText(alert, message);
    alert->setStandardButtons(QMessageBox::NoButton);
    return alert;
}

void MainWindow::setAlertText(QMessageBox *alert, const QString &message)
{
    alert->setText(message);
    // Qt wraps only rich text in a message box; a long plain message would run off the alert.
    if (auto *label = alert->findChild<QLabel *>(QStringLiteral("qt_msgbox_label")))
        label->setWordWrap(true);
}

std::optional<AssociatedApp> MainWindow::pickAndDescribeApplication()
{
    if (!services_.applicationPicker)
        return std::nullopt;
    const std::optional<QUrl> url = services_.applicationPicker->pickApplication(this);
    if (!url)
        return std::nullopt;
    if (!services_.describeApplication)
        return std::nullopt;
    try {
        return services_.describeApplication(*url);
    } catch (...) {
        state_.setAlertMessage(localizedDescription(std::current_exception()));
        return std::nullopt;
    }
}

void MainWindow::pickApplication(const FileAssociation &association)
{
    if (const std::optional<AssociatedApp> app = pickAndDescribeApplication())
        state_.setPendingChange(PendingAssociationChange(association, *app));
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (hasAppeared_)
        return;
    hasAppeared_ = true;
    // The task runs to its end on its own; the window shows its progress through the state.
    state_.load();
}

} // namespace halvora
