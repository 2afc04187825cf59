#include "WindowTestSupport.h"

#include "app/ExtensionSidebarView.h"
#include "app/PresentationQueue.h"
#include "app/SymbolIcons.h"
#include "core/state/AssociationSidebarMode.h"

#include <QAbstractButton>
#include <QAction>
#include <QDialog>
#include <QMessageBox>
#include <QSplitter>
#include <QTest>
#include <QToolBar>

namespace halvora::test {
namespace {

using Op = ScriptedFileAssociationManager::Operation;

QStringList toolbarTitles(const MainWindow &window)
{
    QStringList titles;
    for (QAction *action : window.toolbar()->actions())
        titles.append(action->text());
    return titles;
}

TEST_F(WindowTest, FirstShowStartsExactlyOneLoadAtTheMinimumSize)
{
    manager->setRegisteredAssociations({association(u"pdf"_qs, viewer)});
    EXPECT_EQ(manager->callCount(Op::loadRegisteredAssociations), 0); // building loads nothing
    window().show();
    window().hide();
    window().show();
    ASSERT_TRUE(processEventsUntil([&] { return !state.isLoading(); }));
    EXPECT_EQ(manager->callCount(Op::loadRegisteredAssociations), 1);
    EXPECT_GE(window().width(), MainWindow::minimumWidth);
    EXPECT_GE(window().height(), MainWindow::minimumHeight);
    EXPECT_EQ(window().minimumSize(), QSize(MainWindow::minimumWidth, MainWindow::minimumHeight));

    const QList<int> sizes = window().splitter()->sizes();
    EXPECT_EQ(sizes.first(), MainWindow::sidebarIdealWidth);
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

TEST_F(WindowTest, ToolbarItemsHaveTheirTitlesHelpAndEnabling)
{
    EXPECT_EQ(toolbarTitles(window()), (QStringList{u"새로고침"_qs, u"확장자 추가"_qs, u"변경 이력"_qs}));
    EXPECT_EQ(window().refreshAction()->toolTip(), u"선택한 확장자의 기본 앱 정보를 다시 읽습니다."_qs);
    EXPECT_EQ(window().addExtensionAction()->toolTip(), u"목록에 없는 확장자를 직접 추가합니다."_qs);
    EXPECT_EQ(window().historyAction()->toolTip(), u"기본 앱 변경 이력과 검증 상태를 확인합니다."_qs);
    for (QAction *action : window().toolbar()->actions()) {
        EXPECT_TRUE(action->shortcut().isEmpty());
        EXPECT_FALSE(action->icon().isNull());
    }

    // No selection: refresh is off, the other two are always on.
    EXPECT_FALSE(window().refreshAction()->isEnabled());
    EXPECT_TRUE(window().addExtensionAction()->isEnabled());
    EXPECT_TRUE(window().historyAction()->isEnabled());

    showWith({association(u"pdf"_qs, viewer), association(u"txt"_qs, editor)});
    EXPECT_TRUE(window().refreshAction()->isEnabled());
    manager->clearCalls();
    window().refreshAction()->trigger();
    EXPECT_EQ(manager->calls(),
              (QList<ScriptedFileAssociationManager::Call>{{Op::loadAssociation, u"pdf"_qs}}));

    // A selection naming an extension that is not listed selects nothing.
    state.setSelectedExtension(u"nothere"_qs);
    EXPECT_FALSE(window().refreshAction()->isEnabled());

    // The change commands join the same toolbar after the third item, in order.
    QAction first(u"A"_qs), second(u"B"_qs), third(u"C"_qs);
    window().insertChangeCommandActions({&first, &second});
    window().insertChangeCommandActions({&third});
    EXPECT_EQ(toolbarTitles(window()),
              (QStringList{u"새로고침"_qs, u"확장자 추가"_qs, u"변경 이력"_qs, u"A"_qs, u"B"_qs, u"C"_qs}));
}

TEST_F(WindowTest, ErrorAlertShowsTheMessageVerbatimAndEveryDismissalClearsIt)
{
    showWith({association(u"pdf"_qs, viewer)});
    PresentationQueue &queue = window().presentations();

    const QString markup = u"<b>실패</b> & 다시"_qs;
    state.setAlertMessage(markup);
    auto *alert = qobject_cast<QMessageBox *>(queue.currentDialog());
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(queue.currentKey(), MainWindow::errorAlertKey);
    EXPECT_EQ(alert->windowTitle(), u"오류"_qs);
    EXPECT_EQ(alert->text(), markup);
    EXPECT_EQ(alert->textFormat(), Qt::PlainText);
    ASSERT_EQ(alert->buttons().size(), 1);
    EXPECT_EQ(alert->buttons().first()->text(), u"확인"_qs);

    // A newer message replaces the text on screen instead of queueing a second alert.
    state.setAlertMessage(u"두 번째"_qs);
    EXPECT_EQ(queue.currentDialog(), alert);
    EXPECT_EQ(alert->text(), u"두 번째"_qs);

    alert->buttons().first()->click();
    EXPECT_FALSE(state.alertMessage());
    EXPECT_EQ(queue.currentDialog(), nullptr);

    state.setAlertMessage(u"세 번째"_qs);
    ASSERT_NE(queue.currentDialog(), nullptr);
    QTest::keyClick(queue.currentDialog(), Qt::Key_Escape);
    EXPECT_FALSE(state.alertMessage());
    EXPECT_EQ(queue.currentDialog(), nullptr);

    // Cleared by the state itself: the alert goes away.
    state.setAlertMessage(u"네 번째"_qs);
    state.setAlertMessage(std::nullopt);
    EXPECT_EQ(queue.currentDialog(), nullptr);
}

TEST_F(WindowTest, PresentationsShowOneAtATimeInRequestOrder)
{
    showWith({association(u"pdf"_qs, viewer)});
    PresentationQueue &queue = window().presentations();
    int sheetsMade = 0;
    window().setHistorySheetFactory([&](MainWindow &w) {
        ++sheetsMade;
        return new QDialog(&w);
    });

    window().historyAction()->trigger();
    window().historyAction()->trigger(); // already showing: no second sheet
    EXPECT_TRUE(window().isShowingHistory());
    state.setAlertMessage(u"실패"_qs);
    EXPECT_EQ(queue.currentKey(), MainWindow::historySheetKey);
    EXPECT_EQ(queue.waitingKeys(), QList<QString>{MainWindow::errorAlertKey});

    // A request withdrawn while waiting never shows; a new one waits its turn again.
    state.setAlertMessage(std::nullopt);
    EXPECT_TRUE(queue.waitingKeys().isEmpty());
    state.setAlertMessage(u"다시 실패"_qs);

    QTest::keyClick(queue.currentDialog(), Qt::Key_Escape);
    EXPECT_FALSE(window().isShowingHistory());
    EXPECT_EQ(queue.currentKey(), MainWindow::errorAlertKey);
    EXPECT_EQ(qobject_cast<QMessageBox *>(queue.currentDialog())->text(), u"다시 실패"_qs);
    EXPECT_EQ(sheetsMade, 1);

    // Without a factory the add-extension item does nothing at all.
    window().addExtensionAction()->trigger();
    EXPECT_FALSE(window().isAddingExtension());
    EXPECT_FALSE(queue.contains(MainWindow::addExtensionSheetKey));
}

TEST_F(WindowTest, PickingAnApplicationStagesAChangeOrReportsTheEntry)
{
    const FileAssociation pdf = association(u"pdf"_qs, viewer);
    showWith({pdf});
    const AssociatedApp picked = testApp(u"Other"_qs, u"org.example.Other.desktop"_qs, u"/opt"_qs);
    describable.insert(picked.url(), picked);

    window().pickApplication(pdf); // cancelled
    EXPECT_EQ(picker->runs, 1);
    EXPECT_FALSE(state.pendingChange());
    EXPECT_FALSE(state.alertMessage());

    const QUrl noIdentifier = QUrl::fromLocalFile(u"/tmp/이름 없는.desktop"_qs);
    picker->answers.push_back(noIdentifier);
    window().pickApplication(pdf);
    EXPECT_FALSE(state.pendingChange());
    EXPECT_EQ(state.alertMessage(), u"/tmp/이름 없는.desktop에서 앱 번들 식별자를 찾을 수 없습니다."_qs);
    state.setAlertMessage(std::nullopt);

    picker->answers.push_back(picked.url());
    window().pickApplication(pdf);
    EXPECT_EQ(state.pendingChange(), PendingAssociationChange(pdf, picked));
    EXPECT_FALSE(state.alertMessage());
    EXPECT_EQ(manager->callCount(Op::applyDefaultApplication), 0);
}

TEST(SymbolIconsTest, EverySymbolTheInterfaceNamesHasAMappingThatDraws)
{
    ensureIconTheme();
    QStringList symbols{u"arrow.clockwise"_qs,
                        u"plus"_qs,
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
        EXPECT_FALSE(themeIconNames(symbol).isEmpty());
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
