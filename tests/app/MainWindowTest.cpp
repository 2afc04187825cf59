#include "WindowTestSupport.h"

#include "app/ExtensionSidebarView.h"
#include "app/commands/ChangeCommands.h"

#include <QAccessible>
#include <QApplication>
#include <QScrollBar>
#include <QSplitter>
#include <QToolBar>

#include <functional>

namespace halvora::test {
namespace {

QStringList toolbarTitles(const MainWindow &window)
{
    QStringList titles;
    for (QAction *action : window.toolbar()->actions())
        titles.append(action->text());
    return titles;
}

TEST_F(WindowTest, FirstShowStartsExactlyOneLoadAtTheMinimumSize)
{
    manager->setRegisteredAssociations({assoc(u"pdf"_qs, viewer)});
    EXPECT_EQ(manager->callCount(Op::loadRegisteredAssociations), 0); // building loads nothing
    window().show();
    window().hide();
    window().show();
    ASSERT_TRUE(processEventsUntil([&] { return !state.isLoading(); }));
    EXPECT_EQ(manager->callCount(Op::loadRegisteredAssociations), 1);
    EXPECT_GE(window().width(), MainWindow::minimumWidth);
    EXPECT_GE(window().height(), MainWindow::minimumHeight);
    EXPECT_EQ(window().minimumSize(), QSize(MainWindow::minimumWidth, MainWindow::minimumHeight));

    EXPECT_EQ(window().splitter()->sizes().first(), MainWindow::sidebarIdealWidth);
    window().splitter()->setSizes({1000, 100});
    EXPECT_LE(window().splitter()->sizes().first(), MainWindow::sidebarMaximumWidth);
    window().splitter()->setSizes({10, 1000});
    const int sidebar = window().splitter()->sizes().first();
    EXPECT_GE(sidebar, MainWindow::sidebarMinimumWidth);
    // A wider window widens the detail pane only.
    window().resize(1300, 700);
    QCoreApplication::processEvents();
    EXPECT_EQ(window().splitter()->sizes().first(), sidebar);
    EXPECT_EQ(window().sidebar()->width(), sidebar);
}

TEST_F(WindowTest, ToolbarItemsFollowTheSelectionAndTheCommandsJoinThemInOrder)
{
    EXPECT_EQ(toolbarTitles(window()), (QStringList{u"새로고침"_qs, u"확장자 추가"_qs, u"변경 이력"_qs}));
    for (QAction *action : window().toolbar()->actions())
        EXPECT_FALSE(action->icon().isNull());
    // No selection: refresh is off, the other two are always on.
    EXPECT_FALSE(window().refreshAction()->isEnabled());
    EXPECT_TRUE(window().addExtensionAction()->isEnabled());
    EXPECT_TRUE(window().historyAction()->isEnabled());

    showWith({assoc(u"pdf"_qs, viewer), assoc(u"txt"_qs, editor)});
    manager->clearCalls();
    window().refreshAction()->trigger();
    EXPECT_EQ(manager->calls(),
              (QList<ScriptedFileAssociationManager::Call>{{Op::loadAssociation, u"pdf"_qs}}));
    // A selection naming an extension that is not listed selects nothing.
    state.setSelectedExtension(u"nothere"_qs);
    EXPECT_FALSE(window().refreshAction()->isEnabled());

    QAction first(u"A"_qs), second(u"B"_qs), third(u"C"_qs);
    window().insertChangeCommandActions({&first, &second});
    window().insertChangeCommandActions({&third});
    EXPECT_EQ(toolbarTitles(window()),
              (QStringList{u"새로고침"_qs, u"확장자 추가"_qs, u"변경 이력"_qs, u"A"_qs, u"B"_qs, u"C"_qs}));
    // Without a factory the add-extension item does nothing at all.
    window().addExtensionAction()->trigger();
    EXPECT_FALSE(window().isAddingExtension());
    EXPECT_EQ(window().presentations().currentDialog(), nullptr);
}

TEST_F(WindowTest, ErrorAlertShowsTheMessageVerbatimAndEveryDismissalClearsIt)
{
    showWith({assoc(u"pdf"_qs, viewer)});
    PresentationQueue &queue = window().presentations();
    const QString markup = u"<b>실패</b> & 다시"_qs;
    state.setAlertMessage(markup);
    auto *alert = qobject_cast<QMessageBox *>(queue.currentDialog());
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(queue.currentKey(), MainWindow::errorAlertKey);
    EXPECT_EQ(alert->text(), markup);
    EXPECT_EQ(alert->textFormat(), Qt::PlainText);
    ASSERT_EQ(alert->buttons().size(), 1);

    // A newer message replaces the text on screen instead of queueing a second alert.
    state.setAlertMessage(u"두 번째"_qs);
    EXPECT_EQ(queue.currentDialog(), alert);
    EXPECT_EQ(alert->text(), u"두 번째"_qs);
    alert->buttons().first()->click();
    EXPECT_FALSE(state.alertMessage());
    EXPECT_EQ(queue.currentDialog(), nullptr);

    state.setAlertMessage(u"세 번째"_qs);
    QTest::keyClick(queue.currentDialog(), Qt::Key_Escape);
    EXPECT_FALSE(state.alertMessage());
    EXPECT_EQ(queue.currentDialog(), nullptr);
    // Cleared by the state itself: the alert goes away.
    state.setAlertMessage(u"네 번째"_qs);
    state.setAlertMessage(std::nullopt);
    EXPECT_EQ(queue.currentDialog(), nullptr);
}

// Tab from where the focus is (the window itself when nothing has it) until the focus is on
// `target`; false when a whole round of the focus chain never gets there.
bool tabTo(QWidget *target)
{
    for (int i = 0; i < 200 && QApplication::focusWidget() != target; ++i)
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : target->window(),
                        Qt::Key_Tab);
    return QApplication::focusWidget() == target;
}

TEST_F(ChangeCommandTest, KeyboardAloneReachesAndPressesEveryToolbarCommandInOrder)
{
    manager->setHistory({record(u"C"_qs, u"txt"_qs, viewer, AssociationVerificationStatus::verified)});
    waitForTask(state.load());
    window().activateWindow();
    ASSERT_TRUE(processEventsUntil([&] { return QApplication::activeWindow() == &window(); }));
    QMenu *bulkMenu = commands->bulkMenuAction()->menu();
    bool menuShown = false;
    QObject::connect(bulkMenu, &QMenu::aboutToShow, bulkMenu, [&] {
        menuShown = true;
        QMetaObject::invokeMethod(bulkMenu, &QMenu::close, Qt::QueuedConnection);
    });
    checkForBulk({u"pdf"_qs, u"txt"_qs});

    // Reached in toolbar order before the sidebar, each with no shortcut of its own.
    QList<QWidget *> buttons;
    for (QAction *action : window().toolbar()->actions()) {
        EXPECT_TRUE(action->shortcut().isEmpty()) << action->text().toStdString();
        buttons.append(window().toolbar()->widgetForAction(action));
    }
    ASSERT_EQ(buttons.size(), 6);
    window().sidebar()->searchField()->setFocus();
    ASSERT_TRUE(tabTo(buttons.first()));
    const QList<QWidget *> following = buttons.mid(1) << window().sidebar()->modeButton(0);
    for (QWidget *next : following) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next);
    }

    // Pressed with Space or Return (the menu before bulk mode is switched off again).
    struct Item {
        QAction *action;
        Qt::Key key;
        std::function<bool()> done;
    };
    const QList<Item> items{
        {window().refreshAction(), Qt::Key_Space,
         [&] {
             return manager->calls().contains({Op::loadAssociation, u"pdf"_qs});
         }},
        {window().addExtensionAction(), Qt::Key_Return, [&] { return window().isAddingExtension(); }},
        {window().historyAction(), Qt::Key_Space, [&] { return window().isShowingHistory(); }},
        {commands->undoAction(), Qt::Key_Return,
         [&] {
             return manager->calls().contains({Op::undoChange, u"C"_qs});
         }},
        {commands->bulkMenuAction(), Qt::Key_Return, [&] { return menuShown; }},
        {commands->bulkModeAction(), Qt::Key_Space, [&] { return !state.isBulkSelectionEnabled(); }},
    };
    for (const Item &item : items) {
        SCOPED_TRACE(item.action->text().toStdString());
        QWidget *button = window().toolbar()->widgetForAction(item.action);
        // The offscreen platform leaves a closed menu as the active window.
        window().activateWindow();
        ASSERT_TRUE(processEventsUntil([&] { return QApplication::activeWindow() == &window(); }));
        ASSERT_TRUE(tabTo(button));
        QTest::keyClick(button, item.key);
        EXPECT_TRUE(processEventsUntil(item.done));
        if (QDialog *sheet = current())
            sheet->reject();
    }
}

// What a screen reader announces for a control: its accessible name and description.
std::pair<QString, QString> announced(QWidget *widget)
{
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(widget);
    if (!accessible)
        return {};
    return {accessible->text(QAccessible::Name), accessible->text(QAccessible::Description)};
}

TEST_F(ChangeCommandTest, EveryControlAnnouncesItsTitleAndHelp)
{
    manager->setHistory({record(u"C"_qs, u"txt"_qs, viewer, AssociationVerificationStatus::verified)});
    waitForTask(state.load());
    checkForBulk({u"pdf"_qs, u"txt"_qs});
    // Toolbar items: their title, and their help text as description.
    for (QAction *action : window().toolbar()->actions()) {
        ASSERT_FALSE(action->toolTip().isEmpty());
        EXPECT_EQ(announced(window().toolbar()->widgetForAction(action)),
                  std::pair(action->text(), action->toolTip()));
    }

    const QList<std::pair<const char *, std::function<QWidget *()>>> surfaces{
        {"window", [&]() -> QWidget * { return &window(); }},
        {"add sheet",
         [&] {
             window().setAddingExtension(true);
             return current();
         }},
        {"history sheet",
         [&] {
             window().setShowingHistory(true);
             return current();
         }},
        {"bulk preview",
         [&] {
             state.setPendingBulkPlan(state.makeBulkPlan(editor, false));
             return current();
         }},
    };
    for (const auto &[what, open] : surfaces) {
        SCOPED_TRACE(what);
        QWidget *surface = open();
        ASSERT_NE(surface, nullptr);
        for (QWidget *control : surface->findChildren<QWidget *>()) {
            if (!(control->focusPolicy() & Qt::TabFocus) || !control->isVisibleTo(surface) ||
                qobject_cast<QScrollBar *>(control))
                continue;
            const auto [name, description] = announced(control);
            EXPECT_FALSE(name.isEmpty()) << control->metaObject()->className();
            if (!control->toolTip().isEmpty()) {
                EXPECT_EQ(description, control->toolTip()) << name.toStdString();
            }
        }
        if (surface != &window())
            qobject_cast<QDialog *>(surface)->reject();
    }
}

TEST(SymbolIconsTest, EverySymbolTheInterfaceNamesHasAMappingThatDraws)
{
    ensureIconTheme();
    QStringList symbols{u"arrow.clockwise"_qs,
                        u"plus"_qs,
                        u"clock"_qs,
                        u"clock.arrow.circlepath"_qs,
                        u"arrow.uturn.backward"_qs,
                        u"checkmark.square"_qs,
                        u"checkmark.square.fill"_qs,
                        u"checklist.checked"_qs,
                        u"chevron.down"_qs,
                        u"chevron.right"_qs,
                        u"square"_qs,
                        u"app"_qs,
                        u"app.dashed"_qs,
                        u"folder"_qs,
                        u"doc.on.doc"_qs,
                        u"doc.badge.gearshape"_qs,
                        u"arrow.right"_qs};
    for (ExtensionCategory category : EnumTraits<ExtensionCategory>::allCases)
        symbols.append(iconSystemName(category));
    for (AssociationFilter filter : EnumTraits<AssociationFilter>::allCases)
        symbols.append(systemImageName(filter));
    for (AssociationVerificationStatus status : EnumTraits<AssociationVerificationStatus>::allCases)
        symbols.append(systemImageName(status));
    for (BulkAssociationRowStatus status : EnumTraits<BulkAssociationRowStatus>::allCases)
        symbols.append(systemImageName(status));

    for (const QString &symbol : symbols) {
        SCOPED_TRACE(symbol.toStdString());
        // The installed theme has one of the names, and the tinted icon paints pixels.
        EXPECT_FALSE(resolvedThemeIconName(symbol).isEmpty());
        const QImage image = symbolIcon(symbol, QColor(Qt::red)).pixmap(QSize(16, 16)).toImage();
        bool painted = false;
        for (int y = 0; y < image.height() && !painted; ++y)
            for (int x = 0; x < image.width() && !painted; ++x)
                painted = qAlpha(image.pixel(x, y)) > 0;
        EXPECT_TRUE(painted);
    }
    // A name nobody mapped still gets a stand-in icon.
    EXPECT_FALSE(symbolIcon(u"no.such.symbol"_qs).isNull());
}

} // namespace
} // namespace halvora::test
