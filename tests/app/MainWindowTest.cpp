#include "WindowTestSupport.h"

#include "app/ExtensionSidebarView.h"

#include <QSplitter>
#include <QToolBar>

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
