#pragma once

#include "app/DesktopServices.h"
#include "core/model/Models.h"

#include <QList>
#include <QMainWindow>
#include <QString>

#include <functional>
#include <optional>

class QAction;
class QDialog;
class QMessageBox;
class QSplitter;
class QToolBar;

namespace halvora {

class AssociationDetailView;
class ExtensionSidebarView;
class HalvoraState;
class PresentationQueue;

// The one window: sidebar and detail pane side by side, the toolbar, the error alert and
// the open panel. It starts the state's first load when it first appears.
//
// The change commands (undo, bulk mode, bulk menu, confirmation and result alerts, bulk
// preview) and the add-extension and history sheets plug in from outside through
// insertChangeCommandActions(), setSheetFactory() and presentations(); the window itself
// knows nothing of them.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    static constexpr int minimumWidth = 920;
    static constexpr int minimumHeight = 560;
    static constexpr int sidebarMinimumWidth = 260;
    static constexpr int sidebarIdealWidth = 300;
    static constexpr int sidebarMaximumWidth = 360;

    // Keys of the window's own presentations in presentations().
    static inline const QString errorAlertKey = QStringLiteral("error");
    static inline const QString addExtensionSheetKey = QStringLiteral("addExtension");
    static inline const QString historySheetKey = QStringLiteral("history");

    // The state and the services outlive the window.
    MainWindow(HalvoraState &state, DesktopServices services, QWidget *parent = nullptr);
    ~MainWindow() override;

    HalvoraState &state() const { return state_; }
    const DesktopServices &services() const { return services_; }
    PresentationQueue &presentations() const { return *presentations_; }
    QToolBar *toolbar() const { return toolbar_; }
    ExtensionSidebarView *sidebar() const { return sidebar_; }
    AssociationDetailView *detail() const { return detail_; }
    QSplitter *splitter() const { return splitter_; }

    QAction *refreshAction() const { return refreshAction_; }
    QAction *addExtensionAction() const { return addExtensionAction_; }
    QAction *historyAction() const { return historyAction_; }

    // Puts the change-command items into the toolbar's one group, right after the first
    // three items and in the given order; a second call adds after the earlier ones.
    void insertChangeCommandActions(const QList<QAction *> &actions);

    // What the "확장자 추가" and "변경 이력" items open. The factory makes a fresh sheet each
    // time (parented to the window); while it is shown isAddingExtension() or
    // isShowingHistory() is true. Without a factory the item does nothing.
    using SheetFactory = std::function<QDialog *(MainWindow &window)>;
    void setAddExtensionSheetFactory(SheetFactory factory);
    void setHistorySheetFactory(SheetFactory factory);
    bool isAddingExtension() const { return isAddingExtension_; }
    bool isShowingHistory() const { return isShowingHistory_; }
    void setAddingExtension(bool adding);
    void setShowingHistory(bool showing);

    // Runs the open panel and describes the picked desktop entry. Empty when the user
    // cancels; when the entry is no application, also empty, and the failure's description
    // is in the state's alertMessage.
    std::optional<AssociatedApp> pickAndDescribeApplication();
    // The detail pane's "직접 선택": the picked application becomes the state's pending change.
    void pickApplication(const FileAssociation &association);

    // A message box for the window's alerts: the title, the message as plain text (never
    // interpreted as markup), no buttons yet.
    static QMessageBox *makeAlert(QWidget *parent, const QString &title, const QString &message);
    // Replaces an alert's message, wrapped to the alert's width.
    static void setAlertText(QMessageBox *alert, const QString &message);

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void makeKeyboardOperable(QWidget *button);
    void refreshAppIcons();
    void buildToolbar();
    void updateToolbar();
    void updateErrorAlert();
    QDialog *makeErrorAlert();
    void presentSheet(const QString &key, const SheetFactory &factory, bool &flag);

    HalvoraState &state_;
    DesktopServices services_;
    PresentationQueue *presentations_ = nullptr;
    QToolBar *toolbar_ = nullptr;
    QSplitter *splitter_ = nullptr;
    ExtensionSidebarView *sidebar_ = nullptr;
    AssociationDetailView *detail_ = nullptr;
    QAction *refreshAction_ = nullptr;
    QAction *addExtensionAction_ = nullptr;
    QAction *historyAction_ = nullptr;
    QList<QAction *> changeCommandActions_;
    SheetFactory addExtensionSheetFactory_;
    SheetFactory historySheetFactory_;
    bool isAddingExtension_ = false;
    bool isShowingHistory_ = false;
    bool hasAppeared_ = false;
};

} // namespace halvora
