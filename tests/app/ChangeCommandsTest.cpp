#include "ChangeCommandTestSupport.h"

#include "app/sheets/BulkPreviewSheet.h"
#include "support/doubles/WaitForTask.h"

#include <QProgressBar>
#include <QSignalSpy>
#include <QSplitter>
#include <QTemporaryDir>

#include <fstream>

namespace halvora::test {

namespace {

TEST_F(ChangeCommandTest, ConfirmationAlertAppliesOrCancelsAndAlwaysClearsThePendingChange)
{
    const PendingAssociationChange change(listed(u"pdf"_qs), editor);
    state.setPendingChange(change);
    ASSERT_EQ(currentKey(), ChangeCommands::confirmChangeAlertKey);
    auto *alert = qobject_cast<QMessageBox *>(current());
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->windowTitle(), u"기본 앱 변경"_qs);
    EXPECT_EQ(alert->text(), u".pdf의 기본 앱을 Text Editor(으)로 변경합니다."_qs);

    button(alert, u"취소"_qs)->click();
    EXPECT_FALSE(state.pendingChange());
    EXPECT_EQ(currentKey(), QString());
    EXPECT_EQ(manager->callCount(Op::applyDefaultApplication), 0);

    // Escape is a cancel too.
    state.setPendingChange(change);
    QTest::keyClick(current(), Qt::Key_Escape);
    EXPECT_FALSE(state.pendingChange());
    EXPECT_EQ(manager->callCount(Op::applyDefaultApplication), 0);

    // "적용" clears the value before the change runs, and runs the change the alert showed.
    manager->hold(Op::applyDefaultApplication);
    state.setPendingChange(change);
    button(current(), u"적용"_qs)->click();
    EXPECT_FALSE(state.pendingChange());
    EXPECT_EQ(currentKey(), QString());
    ASSERT_EQ(manager->heldCount(Op::applyDefaultApplication), 1);
    manager->releaseAll();
    EXPECT_EQ(manager->calls().last(),
              (ScriptedFileAssociationManager::Call{Op::loadAssociation, u"pdf"_qs}));
    EXPECT_EQ(listed(u"pdf"_qs).currentApp(), editor);
    ASSERT_EQ(state.changeHistory().size(), 1);
    EXPECT_EQ(state.changeHistory().first().replacementApp(), editor);
}

TEST_F(ChangeCommandTest, ReplacedProposalGetsItsOwnAlertAndKeepsItsValue)
{
    state.setPendingChange(PendingAssociationChange(listed(u"pdf"_qs), editor));
    const PendingAssociationChange second(listed(u"txt"_qs), viewer);
    state.setPendingChange(second);
    ASSERT_EQ(currentKey(), ChangeCommands::confirmChangeAlertKey);
    EXPECT_EQ(qobject_cast<QMessageBox *>(current())->text(),
              u".txt의 기본 앱을 문서 보기(으)로 변경합니다."_qs);
    EXPECT_EQ(state.pendingChange(), second);
}

TEST_F(ChangeCommandTest, UndoItemWalksBackThroughTheHistory)
{
    EXPECT_FALSE(commands->undoAction()->isEnabled());
    manager->setHistory({
        record(u"C"_qs, u"txt"_qs, viewer, AssociationVerificationStatus::verified),
        record(u"B"_qs, u"pdf"_qs, std::nullopt, AssociationVerificationStatus::verified),
        record(u"A"_qs, u"pdf"_qs, viewer, AssociationVerificationStatus::apiFailed),
    });
    waitForTask(state.load());
    EXPECT_TRUE(commands->undoAction()->isEnabled());
    EXPECT_EQ(commands->undoAction()->toolTip(), u"Halvora에서 최근 적용한 변경을 되돌립니다."_qs);

    commands->undoAction()->trigger();
    EXPECT_EQ(manager->calls().at(manager->calls().size() - 2),
              (ScriptedFileAssociationManager::Call{Op::undoChange, u"C"_qs}));
    // B has no previous application, so the failed A is next; then nothing is left.
    commands->undoAction()->trigger();
    EXPECT_EQ(manager->calls().at(manager->calls().size() - 2),
              (ScriptedFileAssociationManager::Call{Op::undoChange, u"A"_qs}));
    EXPECT_FALSE(commands->undoAction()->isEnabled());
    EXPECT_EQ(manager->callCount(Op::undoChange), 2);
}

TEST_F(ChangeCommandTest, BulkModeItemFlipsTheModeAndTurningItOffClearsTheSelection)
{
    QAction *mode = commands->bulkModeAction();
    EXPECT_EQ(mode->text(), u"다중 선택"_qs);
    EXPECT_FALSE(commands->bulkMenuAction()->isEnabled());

    mode->trigger();
    EXPECT_TRUE(state.isBulkSelectionEnabled());
    EXPECT_EQ(mode->text(), u"다중 선택 해제"_qs);
    state.toggleBulkSelection(listed(u"pdf"_qs));
    EXPECT_TRUE(commands->bulkMenuAction()->isEnabled());

    mode->trigger();
    EXPECT_FALSE(state.isBulkSelectionEnabled());
    EXPECT_TRUE(state.selectedExtensionsForBulk().isEmpty());
    EXPECT_EQ(mode->text(), u"다중 선택"_qs);
    EXPECT_FALSE(commands->bulkMenuAction()->isEnabled());
}

TEST_F(ChangeCommandTest, BulkMenuOffersTheCommonCandidatesAndPlansWithoutDirectApps)
{
    checkForBulk({u"txt"_qs, u"pdf"_qs});
    EXPECT_EQ(menuTexts(commands->bulkMenu()),
              (QStringList{u"Text Editor"_qs, u"문서 보기"_qs, u"---"_qs, u"직접 선택"_qs}));

    commands->bulkMenu()->actions().at(1)->trigger();
    ASSERT_TRUE(state.pendingBulkPlan());
    EXPECT_EQ(*state.pendingBulkPlan(), state.makeBulkPlan(viewer, false));
    EXPECT_EQ(currentKey(), ChangeCommands::bulkPreviewSheetKey);

    // Checking md, whose only candidate is Editor, narrows the menu; without any shared
    // candidate it says so.
    state.setPendingBulkPlan(std::nullopt);
    state.toggleBulkSelection(listed(u"md"_qs));
    EXPECT_EQ(menuTexts(commands->bulkMenu()), (QStringList{u"Text Editor"_qs, u"---"_qs, u"직접 선택"_qs}));
    state.setBulkSelectionEnabled(false);
    manager->setAssociation(association(u"mp4"_qs, player, {player}));
    waitForTask(state.addExtension(u"mp4"_qs));
    checkForBulk({u"mp4"_qs, u"md"_qs});
    EXPECT_EQ(menuTexts(commands->bulkMenu()),
              (QStringList{u"공통 후보 앱 없음"_qs, u"---"_qs, u"직접 선택"_qs}));
    EXPECT_FALSE(commands->bulkMenu()->actions().first()->isEnabled());
}

TEST_F(ChangeCommandTest, BulkPickFromDiskAllowsAppsOutsideTheCandidates)
{
    checkForBulk({u"md"_qs, u"pdf"_qs});
    commands->bulkMenu()->actions().last()->trigger(); // the panel is cancelled
    EXPECT_EQ(picker->runs, 1);
    EXPECT_FALSE(state.pendingBulkPlan());

    const QUrl nameless = QUrl::fromLocalFile(u"/opt/tools/nameless.desktop"_qs);
    picker->answers.push_back(nameless);
    commands->pickBulkApplication();
    EXPECT_FALSE(state.pendingBulkPlan());
    EXPECT_EQ(
        state.alertMessage(),
        FileAssociationError::appMissingBundleIdentifier(nameless.toLocalFile()).localizedDescription());
    EXPECT_EQ(currentKey(), MainWindow::errorAlertKey);
    QTest::keyClick(current(), Qt::Key_Escape);

    const AssociatedApp tool = testApp(u"Tool"_qs, u"org.other.Tool.desktop"_qs, u"/opt"_qs);
    describable.insert(tool.url(), tool);
    picker->answers.push_back(tool.url());
    commands->pickBulkApplication();
    ASSERT_TRUE(state.pendingBulkPlan());
    EXPECT_EQ(*state.pendingBulkPlan(), state.makeBulkPlan(tool, true));
    EXPECT_EQ(state.pendingBulkPlan()->readyCount(), 2);
    EXPECT_EQ(currentKey(), ChangeCommands::bulkPreviewSheetKey);
}

TEST_F(ChangeCommandTest, PreviewWithoutReadyRowsCannotApplyAndCancelKeepsTheSelection)
{
    checkForBulk({u"pdf"_qs});
    state.setPendingBulkPlan(state.makeBulkPlan(viewer, false));
    BulkPreviewSheet *sheet = commands->bulkPreview();
    ASSERT_NE(sheet, nullptr);
    EXPECT_FALSE(sheet->applyButton()->isEnabled());
    EXPECT_TRUE(sheet->cancelButton()->isEnabled());
    QTest::keyClick(sheet, Qt::Key_Return);
    EXPECT_EQ(manager->callCount(Op::applyDefaultApplication), 0);
    EXPECT_TRUE(state.pendingBulkPlan());

    sheet->cancelButton()->click();
    EXPECT_FALSE(state.pendingBulkPlan());
    EXPECT_EQ(currentKey(), QString());
    EXPECT_EQ(state.selectedExtensionsForBulk(), QSet<QString>{u"pdf"_qs});

    // Closing it by Escape clears the plan as well.
    state.setPendingBulkPlan(state.makeBulkPlan(editor, false));
    QTest::keyClick(current(), Qt::Key_Escape);
    EXPECT_FALSE(state.pendingBulkPlan());
}

TEST_F(ChangeCommandTest, BulkRunAppliesThePlanOnceShowsProgressAndEndsWithTheSummary)
{
    checkForBulk({u"txt"_qs, u"md"_qs});
    state.setPendingBulkPlan(state.makeBulkPlan(editor, false)); // txt skipped, md ready
    BulkPreviewSheet *sheet = commands->bulkPreview();
    ASSERT_NE(sheet, nullptr);
    manager->hold(Op::applyDefaultApplication);

    QTest::mouseDClick(sheet->applyButton(), Qt::LeftButton);
    sheet->applyButton()->click();
    QTest::keyClick(sheet, Qt::Key_Return);
    EXPECT_EQ(manager->heldCount(Op::applyDefaultApplication), 1);
    EXPECT_TRUE(sheet->isApplying());
    EXPECT_TRUE(sheet->findChild<QProgressBar *>()->isVisible());
    EXPECT_FALSE(sheet->applyButton()->isEnabled());
    // Neither Escape nor "취소" cuts the run off from its sheet.
    QTest::keyClick(sheet, Qt::Key_Escape);
    sheet->cancelButton()->click();
    EXPECT_EQ(currentKey(), ChangeCommands::bulkPreviewSheetKey);
    EXPECT_TRUE(state.pendingBulkPlan());

    manager->releaseAll();
    EXPECT_EQ(manager->callCount(Op::applyDefaultApplication), 1);
    EXPECT_FALSE(state.pendingBulkPlan());
    ASSERT_EQ(currentKey(), ChangeCommands::bulkResultAlertKey);
    auto *result = qobject_cast<QMessageBox *>(current());
    EXPECT_EQ(result->windowTitle(), u"일괄 적용 결과"_qs);
    EXPECT_EQ(result->text(), u"검증 완료 1개, 실패 0개, 건너뜀 1개, 확인 필요 0개"_qs);

    button(result, u"확인"_qs)->click();
    EXPECT_FALSE(state.bulkApplySummary());
    EXPECT_EQ(currentKey(), QString());
}

TEST_F(ChangeCommandTest, PresentationsWaitTheirTurnAndEscapeClearsTheSummary)
{
    state.setAlertMessage(u"문제"_qs);
    state.setPendingChange(PendingAssociationChange(listed(u"pdf"_qs), editor));
    waitForTask(state.confirmBulkPlan(BulkAssociationChangePlan(editor, {})));
    EXPECT_EQ(currentKey(), MainWindow::errorAlertKey);
    EXPECT_EQ(window().presentations().waitingKeys(),
              (QList<QString>{ChangeCommands::confirmChangeAlertKey, ChangeCommands::bulkResultAlertKey}));

    QTest::keyClick(current(), Qt::Key_Escape);
    EXPECT_EQ(currentKey(), ChangeCommands::confirmChangeAlertKey);
    QTest::keyClick(current(), Qt::Key_Escape);
    EXPECT_EQ(currentKey(), ChangeCommands::bulkResultAlertKey);
    QTest::keyClick(current(), Qt::Key_Escape);
    EXPECT_FALSE(state.bulkApplySummary());
    EXPECT_FALSE(state.pendingChange());
    EXPECT_FALSE(state.alertMessage());
    EXPECT_EQ(manager->callCount(Op::applyDefaultApplication), 0);
}

// --- window geometry ----------------------------------------------------------------------

class WindowGeometryCommandTest : public ::testing::Test {
protected:
    std::unique_ptr<MainWindow> makeWindow()
    {
        auto window = std::make_unique<MainWindow>(state, DesktopServices{});
        keeper = new WindowGeometryKeeper(window.get(), window->splitter(), path, window.get());
        return window;
    }

    void writeFile(const std::string &text) const { std::ofstream(path.toStdString()) << text; }

    std::shared_ptr<ScriptedFileAssociationManager> manager =
        std::make_shared<ScriptedFileAssociationManager>();
    HalvoraState state{manager, ExtensionCatalog::defaultCatalog()};
    QTemporaryDir dir;
    QString path = dir.filePath(u"halvora/window.ini"_qs);
    WindowGeometryKeeper *keeper = nullptr;
};

TEST_F(WindowGeometryCommandTest, SizeAndSidebarWidthSurviveARestart)
{
    {
        auto window = makeWindow();
        QSignalSpy restored(keeper, &WindowGeometryKeeper::restored);
        window->show();
        ASSERT_TRUE(restored.wait());
        window->resize(1234, 700);
        QCoreApplication::processEvents();
        // As a drag of the handle leaves it: the two panes fill the splitter.
        QSplitter *splitter = window->splitter();
        splitter->setSizes({333, splitter->contentsRect().width() - splitter->handleWidth() - 333});
        QSignalSpy saved(keeper, &WindowGeometryKeeper::saved);
        window->close();
        ASSERT_TRUE(saved.wait());
    }
    const std::optional<WindowGeometry> stored = readWindowGeometry(path);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->size, QSize(1234, 700));
    EXPECT_EQ(stored->sidebarWidth, 333);

    auto window = makeWindow();
    QSignalSpy restored(keeper, &WindowGeometryKeeper::restored);
    window->show();
    ASSERT_TRUE(restored.wait());
    QCoreApplication::processEvents();
    EXPECT_EQ(window->size(), QSize(1234, 700));
    EXPECT_EQ(window->splitter()->sizes().first(), 333);
}

TEST_F(WindowGeometryCommandTest, DamagedOrTooSmallValuesNeverShrinkTheWindowBelowItsMinimum)
{
    QDir().mkpath(dir.filePath(u"halvora"_qs));
    writeFile("[window]\nwidth=abc\nheight=700\n");
    EXPECT_FALSE(readWindowGeometry(path));
    writeFile("[window]\nwidth=100\nheight=-5\n");
    EXPECT_FALSE(readWindowGeometry(path));

    writeFile("[window]\nwidth=300\nheight=200\nsidebarWidth=9999\n");
    auto window = makeWindow();
    QSignalSpy restored(keeper, &WindowGeometryKeeper::restored);
    window->show();
    ASSERT_TRUE(restored.wait());
    QCoreApplication::processEvents();
    EXPECT_EQ(window->size(), QSize(MainWindow::minimumWidth, MainWindow::minimumHeight));
    EXPECT_LE(window->splitter()->sizes().first(), MainWindow::sidebarMaximumWidth);
}

} // namespace

} // namespace halvora::test
