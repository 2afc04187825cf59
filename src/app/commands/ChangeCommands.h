#pragma once

#include "app/commands/WindowGeometry.h"
#include "app/sheets/BulkPreviewSheet.h"
#include "core/model/Models.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>

class QAction;
class QDialog;
class QMenu;

namespace halvora {

class HalvoraState;
class MainWindow;

// The window's commands that start, confirm and summarise changes: toolbar items for undo,
// bulk mode and the bulk target menu; the confirmation alert of a single change; the bulk
// preview sheet; and the alert with a bulk run's counts. Each presentation follows its
// state value: it is asked for when the value appears, withdrawn when it goes away, and
// dismissing it by any means clears the value it showed.
class ChangeCommands : public QObject {
    Q_OBJECT

public:
    static inline const QString confirmChangeAlertKey = QStringLiteral("confirmChange");
    static inline const QString bulkPreviewSheetKey = QStringLiteral("bulkPreview");
    static inline const QString bulkResultAlertKey = QStringLiteral("bulkResult");

    // Adds the three toolbar items after the window's own; lives as long as the window.
    explicit ChangeCommands(MainWindow &window);

    QAction *undoAction() const { return undoAction_; }
    QAction *bulkModeAction() const { return bulkModeAction_; }
    QAction *bulkMenuAction() const { return bulkMenuAction_; }
    QMenu *bulkMenu() const { return bulkMenu_; }
    // The sheet on screen while a bulk plan is shown, otherwise null.
    BulkPreviewSheet *bulkPreview() const { return bulkPreview_; }

    // Runs the open panel; the picked application becomes the target of a bulk plan that
    // may include extensions whose candidates lack it.
    void pickBulkApplication();

private:
    void buildActions();
    void updateActions();
    void rebuildBulkMenu();

    void updateConfirmationAlert();
    QDialog *makeConfirmationAlert();
    void updateBulkPreview();
    QDialog *makeBulkPreview();
    void updateBulkResultAlert();
    QDialog *makeBulkResultAlert();

    MainWindow &window_;
    HalvoraState &state_;
    QAction *undoAction_ = nullptr;
    QAction *bulkModeAction_ = nullptr;
    QAction *bulkMenuAction_ = nullptr;
    QMenu *bulkMenu_ = nullptr;
    // What the open presentations show, to tell a replaced value from the one on screen.
    std::optional<PendingAssociationChange> shownChange_;
    QPointer<BulkPreviewSheet> bulkPreview_;
};

struct ChangeCommandsOptions {
    // Where the window's size and splitter position are kept; nothing is kept when empty.
    std::optional<QString> windowGeometryPath = defaultWindowGeometryPath();
};

// Everything the window gets from outside: the change commands, the add-extension and
// history sheets, and the remembered window geometry. Owned by the window.
ChangeCommands *installChangeCommands(MainWindow &window, ChangeCommandsOptions options = {});

} // namespace halvora
