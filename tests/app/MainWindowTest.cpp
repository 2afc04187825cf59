#include "WindowTestSupport.h"

#include "app/ExtensionSidebarView.h"
#include "app/commands/ChangeCommands.h"

#include <QApplication>
#include <QScrollBar>
#include <QSplitter>
#include <QToolBar>

#include <functional>
#include <tuple>

namespace halvora::test {
namespace {

// Limits of size and sidebar width across restarts are the geometry test's part.
TEST_F(WindowTest, FirstShowStartsExactlyOneLoadShownBusyAndOnlyTheDetailPaneGrows)
{
    // Without a selection refresh is off; without a factory the add item does nothing.
    EXPECT_FALSE(window().refreshAction()->isEnabled());
    window().addExtensionAction()->trigger();
    EXPECT_FALSE(window().isAddingExtension());

    manager->setRegisteredAssociations({assoc(u"pdf"_qs, viewer)});
    manager->hold(Op::loadRegisteredAssociations);
    EXPECT_EQ(manager->callCount(Op::loadRegisteredAssociations), 0); // building loads nothing
    window().show();
    window().hide();
    window().show();
    EXPECT_TRUE(window().sidebar()->busyIndicator()->isVisible());
    manager->releaseAll();
    ASSERT_TRUE(processEventsUntil([&] { return !state.isLoading(); }));
    EXPECT_FALSE(window().sidebar()->busyIndicator()->isVisible());
    EXPECT_EQ(manager->callCount(Op::loadRegisteredAssociations), 1);
    EXPECT_TRUE(window().refreshAction()->isEnabled());
    state.setSelectedExtension(u"nothere"_qs); // selects nothing
    EXPECT_FALSE(window().refreshAction()->isEnabled());

    QSplitter *splitter = window().splitter();
    EXPECT_EQ(splitter->sizes().first(), MainWindow::sidebarIdealWidth);
    splitter->setSizes({10, 1000});
    const int sidebar = splitter->sizes().first();
    EXPECT_GE(sidebar, MainWindow::sidebarMinimumWidth);
    window().resize(1300, 700);
    QCoreApplication::processEvents();
    EXPECT_EQ(window().sidebar()->width(), sidebar);
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

    // The commands follow the window's own items, each with no shortcut of its own, announced
    // by title and help, and reached in toolbar order before the sidebar.
    const QList<QAction *> actions{window().refreshAction(),   window().addExtensionAction(),
                                   window().historyAction(),   commands->undoAction(),
                                   commands->bulkModeAction(), commands->bulkMenuAction()};
    ASSERT_EQ(window().toolbar()->actions(), actions);
    QList<QWidget *> buttons;
    for (QAction *action : actions) {
        buttons.append(window().toolbar()->widgetForAction(action));
        EXPECT_TRUE(action->shortcut().isEmpty()) << action->text().toStdString();
        EXPECT_EQ(announced(buttons.last()), std::pair(action->text(), action->toolTip()));
    }
    window().sidebar()->searchField()->setFocus();
    ASSERT_TRUE(tabTo(buttons.first()));
    const QList<QWidget *> following = buttons.mid(1) << window().sidebar()->modeButton(0);
    for (QWidget *next : following) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next);
    }

    // Pressed with Space or Return (the menu before bulk mode is switched off again).
    const auto called = [&](Op op, const QString &argument) {
        return manager->calls().contains({op, argument});
    };
    const QList<std::tuple<QAction *, Qt::Key, std::function<bool()>>> presses{
        {actions[0], Qt::Key_Space, [&] { return called(Op::loadAssociation, u"pdf"_qs); }},
        {actions[1], Qt::Key_Return, [&] { return window().isAddingExtension(); }},
        {actions[2], Qt::Key_Space, [&] { return window().isShowingHistory(); }},
        {actions[3], Qt::Key_Return, [&] { return called(Op::undoChange, u"C"_qs); }},
        {actions[5], Qt::Key_Return, [&] { return menuShown; }},
        {actions[4], Qt::Key_Space, [&] { return !state.isBulkSelectionEnabled(); }},
    };
    for (const auto &[action, key, done] : presses) {
        SCOPED_TRACE(action->text().toStdString());
        QWidget *button = window().toolbar()->widgetForAction(action);
        // The offscreen platform leaves a closed menu as the active window.
        window().activateWindow();
        ASSERT_TRUE(processEventsUntil([&] { return QApplication::activeWindow() == &window(); }));
        ASSERT_TRUE(tabTo(button));
        QTest::keyClick(button, key);
        EXPECT_TRUE(processEventsUntil(done));
        if (QDialog *sheet = current())
            sheet->reject();
    }
}

TEST(SymbolIconsTest, EverySymbolTheInterfaceNamesHasAMappingThatDraws)
{
    ensureIconTheme();
    // The symbols the widgets name directly; the enums' symbols are added below.
    QStringList symbols =
        u"arrow.clockwise plus clock clock.arrow.circlepath arrow.uturn.backward checkmark.square "
        u"checkmark.square.fill checklist.checked chevron.down chevron.right square app app.dashed "
        u"folder doc.on.doc doc.badge.gearshape arrow.right"_qs.split(u' ');
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
        QImage blank(image.size(), image.format());
        blank.fill(Qt::transparent);
        EXPECT_NE(image, blank);
    }
    // A name nobody mapped still gets a stand-in icon.
    EXPECT_FALSE(symbolIcon(u"no.such.symbol"_qs).isNull());
}

} // namespace
} // namespace halvora::test
