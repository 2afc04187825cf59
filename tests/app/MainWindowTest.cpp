#include "WindowTestSupport.h"

#include "app/ExtensionSidebarView.h"
#include "app/SidebarListModel.h"
#include "app/commands/ChangeCommands.h"

#include <QApplication>
#include <QComboBox>
#include <QMenu>
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
    EXPECT_FALSE(window().refreshAction()->isEnabled()); // nothing is selected yet

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

    QSplitter *splitter = window().splitter();
    EXPECT_EQ(splitter->sizes().first(), MainWindow::sidebarIdealWidth);
    const int sidebar = splitter->sizes().first();
    window().resize(1300, 700);
    QCoreApplication::processEvents();
    EXPECT_EQ(window().sidebar()->width(), sidebar);
}

class SidebarTest : public WindowTest {
protected:
    ExtensionSidebarView &sidebar() { return *window().sidebar(); }
    SidebarListModel &model() { return *sidebar().listModel(); }

    QStringList rows()
    {
        QStringList out;
        for (int i = 0; i < model().rowCount(); ++i)
            out.append(model().index(i).data().toString());
        return out;
    }

    void click(int row, std::optional<QPoint> at = std::nullopt)
    {
        SidebarListView *view = sidebar().listView();
        const QPoint point = at.value_or(view->visualRect(model().index(row)).center());
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, point);
    }

    int rowOf(const QString &text) { return int(rows().indexOf(text)); }

    const QList<FileAssociation> sample{assoc(u"pdf"_qs, viewer), assoc(u"png"_qs, viewer),
                                        assoc(u"md"_qs, editor), assoc(u"mkv"_qs, std::nullopt, {})};
};

// Which rows a search, mode or filter lists is the state's rule; here the controls reach it.
TEST_F(SidebarTest, ControlsDriveTheStateAndACommonExtensionInTwoGroupsIsOneSelection)
{
    showWith(sample);
    state.toggleGroup(ExtensionCategory::frequentlyUsed);
    state.toggleGroup(ExtensionCategory::images);
    const int first = rowOf(u".png"_qs);
    const int second = int(rows().lastIndexOf(u".png"_qs));
    ASSERT_NE(first, second);

    click(second);
    EXPECT_EQ(state.selectedExtension(), u"png"_qs);
    EXPECT_TRUE(model().index(first).data(SidebarListModel::IsSelectedRole).toBool());
    EXPECT_TRUE(model().index(second).data(SidebarListModel::IsSelectedRole).toBool());
    // The keyboard's place stays on the clicked copy, so arrows go on from there.
    EXPECT_EQ(sidebar().listView()->currentIndex().row(), second);
    QTest::keyClick(sidebar().listView(), Qt::Key_Up);
    const std::optional<QString> selected = state.selectedExtension();
    EXPECT_NE(selected, u"png"_qs);
    EXPECT_TRUE(selected.has_value());

    // The bulk check box appears with bulk mode and toggles without selecting.
    state.toggleGroup(ExtensionCategory::documents);
    const int md = rowOf(u".md"_qs);
    EXPECT_TRUE(sidebar().listView()->bulkCheckBoxRect(md).isEmpty());
    state.setBulkSelectionEnabled(true);
    const QRect box = sidebar().listView()->bulkCheckBoxRect(md);
    ASSERT_FALSE(box.isEmpty());
    click(md, box.center());
    EXPECT_TRUE(state.isSelectedForBulk(u"md"_qs));
    EXPECT_EQ(state.selectedExtension(), selected);
    EXPECT_EQ(model().index(md).data(Qt::ToolTipRole).toString(), u"일괄 적용 선택 해제"_qs);
    click(md, box.center());
    EXPECT_FALSE(state.isSelectedForBulk(u"md"_qs));

    // Keystrokes reach the state and text the state sets reaches the field, in either mode.
    QTest::keyClicks(sidebar().searchField(), u"Md"_qs);
    EXPECT_EQ(state.searchText(), u"Md"_qs);
    sidebar().modeButton(1)->click();
    EXPECT_EQ(state.sidebarMode(), AssociationSidebarMode::applications);
    EXPECT_EQ(sidebar().searchField()->text(), u"Md"_qs);
    state.setSearchText(u"zzzz"_qs);
    EXPECT_EQ(sidebar().searchField()->text(), u"zzzz"_qs);
    sidebar().filterMenu()->setCurrentIndex(1);
    Q_EMIT sidebar().filterMenu()->activated(1);
    EXPECT_EQ(state.associationFilter(), AssociationFilter::missingDefaultApplication);
}

// The list view moves its cursor by itself (on focus, after a reset); only the user's own
// keys and clicks may change the selection, and the clicked header stays where it was.
TEST_F(SidebarTest, HeadersToggleInPlaceWhateverTheScrollAndHomeEndReachExtensionRows)
{
    QList<FileAssociation> many;
    for (const QString &extension :
         u"pdf txt md docx doc rtf odt log html css js py go rs c h cpp sh ini plist"_qs.split(u' '))
        many.append(assoc(extension, viewer));
    for (int i = 0; i < 30; ++i)
        many.append(assoc(u"zz%1"_qs.arg(i, 2, 10, QChar(u'0')), viewer));
    showWith(many);
    for (ExtensionCategory category :
         {ExtensionCategory::documents, ExtensionCategory::development, ExtensionCategory::other})
        state.toggleGroup(category);
    SidebarListView *view = sidebar().listView();
    QScrollBar *scroll = view->verticalScrollBar();
    const QString development = u"개발"_qs;
    const auto top = [&] { return view->visualRect(model().index(rowOf(development))).top(); };
    state.setSelectedExtension(u"plist"_qs);
    // Nothing current and the focus elsewhere: the click's focus-in must not pick a row.
    sidebar().searchField()->setFocus();
    view->selectionModel()->clearCurrentIndex();

    const QList<std::pair<const char *, int>> steps{
        {"scrolled, close the selection's group by a click", 40},
        {"scrolled otherwise, open it again", 53},
        {"close it with Return", 53},
    };
    for (const auto &[what, headerY] : steps) {
        SCOPED_TRACE(what);
        scroll->setValue(scroll->value() + top() - headerY);
        ASSERT_EQ(top(), headerY);
        const bool wasExpanded = state.isGroupExpanded(ExtensionCategory::development);
        if (view->hasFocus()) {
            view->setCurrentIndex(model().index(rowOf(development)));
            QTest::keyClick(view, Qt::Key_Return);
        } else {
            click(rowOf(development));
        }
        EXPECT_NE(state.isGroupExpanded(ExtensionCategory::development), wasExpanded);
        EXPECT_EQ(top(), headerY);
        EXPECT_EQ(state.selectedExtension(), u"plist"_qs);
    }

    // The view moving its cursor by itself does not select.
    view->setCurrentIndex(model().index(rowOf(u".pdf"_qs)));
    EXPECT_EQ(state.selectedExtension(), u"plist"_qs);

    QTest::keyClick(view, Qt::Key_End);
    EXPECT_EQ(state.selectedExtension(), u"zz29"_qs);
    QTest::keyClick(view, Qt::Key_Home);
    EXPECT_EQ(state.selectedExtension(), u"pdf"_qs);

    // A new search shows the top of the list, or the selected row when it is listed.
    scroll->setValue(scroll->maximum());
    QTest::keyClicks(sidebar().searchField(), u"zz"_qs);
    EXPECT_EQ(scroll->value(), 0);
    scroll->setValue(scroll->maximum());
    click(rowOf(u".zz29"_qs));
    scroll->setValue(0);
    QTest::keyClick(sidebar().searchField(), Qt::Key_2);
    EXPECT_TRUE(view->viewport()->rect().contains(view->visualRect(model().index(rowOf(u".zz29"_qs)))));
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

    // The commands follow the window's own items, each with no shortcut of its own, and are
    // reached in toolbar order before the sidebar.
    const QList<QAction *> actions{window().refreshAction(),   window().addExtensionAction(),
                                   window().historyAction(),   commands->undoAction(),
                                   commands->bulkModeAction(), commands->bulkMenuAction()};
    ASSERT_EQ(window().toolbar()->actions(), actions);
    QList<QWidget *> buttons;
    for (QAction *action : actions) {
        buttons.append(window().toolbar()->widgetForAction(action));
        EXPECT_TRUE(action->shortcut().isEmpty()) << action->text().toStdString();
    }
    window().sidebar()->searchField()->setFocus();
    ASSERT_TRUE(tabTo(buttons.first()));
    const QList<QWidget *> following = buttons.mid(1) << window().sidebar()->modeButton(0);
    for (QWidget *next : following) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next);
    }

    // Pressed with Space or Return (the menu before bulk mode is switched off again).
    const QList<std::tuple<QAction *, Qt::Key, std::function<bool()>>> presses{
        {actions[0], Qt::Key_Space,
         [&] {
             return manager->calls().contains({Op::loadAssociation, u"pdf"_qs});
         }},
        {actions[1], Qt::Key_Return, [&] { return window().isAddingExtension(); }},
        {actions[2], Qt::Key_Space, [&] { return window().isShowingHistory(); }},
        {actions[3], Qt::Key_Return,
         [&] {
             return manager->calls().contains({Op::undoChange, u"C"_qs});
         }},
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

} // namespace
} // namespace halvora::test
