#include "WindowTestSupport.h"

#include "app/AssociationDetailView.h"
#include "app/ExtensionSidebarView.h"
#include "app/SidebarListModel.h"
#include "app/sheets/BulkPreviewSheet.h"

#include <QDir>
#include <QFileInfo>
#include <QProgressBar>
#include <QSignalSpy>
#include <QSplitter>

#include <fstream>

namespace halvora::test {

namespace {

TEST_F(ChangeCommandTest, ConfirmationAlertAppliesOnceOrCancelsAndAlwaysClearsThePendingChange)
{
    const PendingAssociationChange change(listed(u"pdf"_qs), editor);
    state.setPendingChange(change);
    ASSERT_EQ(currentKey(), ChangeCommands::confirmChangeAlertKey);
    button(current(), u"취소"_qs)->click();
    EXPECT_FALSE(state.pendingChange());
    EXPECT_EQ(currentKey(), QString());
    state.setPendingChange(change);
    QTest::keyClick(current(), Qt::Key_Escape);
    EXPECT_FALSE(state.pendingChange());
    EXPECT_EQ(manager->callCount(Op::applyDefaultApplication), 0);

    // A replaced proposal gets its own alert.
    state.setPendingChange(PendingAssociationChange(listed(u"txt"_qs), viewer));
    state.setPendingChange(change);
    EXPECT_EQ(qobject_cast<QMessageBox *>(current())->text(),
              u".pdf의 기본 앱을 Text Editor(으)로 변경합니다."_qs);

    // "적용" clears the value before the change runs, and runs the change the alert showed, once.
    manager->hold(Op::applyDefaultApplication);
    button(current(), u"적용"_qs)->click();
    EXPECT_FALSE(state.pendingChange());
    EXPECT_EQ(currentKey(), QString());
    ASSERT_EQ(manager->heldCount(Op::applyDefaultApplication), 1);
    manager->releaseAll();
    EXPECT_EQ(manager->callCount(Op::applyDefaultApplication), 1);
    EXPECT_EQ(listed(u"pdf"_qs).currentApp(), editor);
    ASSERT_EQ(state.changeHistory().size(), 1);
    EXPECT_EQ(state.changeHistory().first().replacementApp(), editor);
}

// The user chose the editor for pdf and had it confirmed; the list loaded now says the viewer.
TEST_F(ChangeCommandTest, TakenOverDefaultIsMarkedNotedAndProposedBackThroughTheConfirmationAlert)
{
    manager->setHistory(
        {record(u"R1"_qs, u"pdf"_qs, viewer, AssociationVerificationStatus::verified),
         record(u"R2"_qs, u"txt"_qs, viewer, AssociationVerificationStatus::verificationFailed)});
    waitForTask(state.load());
    state.toggleGroup(ExtensionCategory::documents);
    SidebarListModel &model = *window().sidebar()->listModel();
    QStringList marked;
    for (int i = 0; i < model.rowCount(); ++i) {
        if (model.index(i).data(SidebarListModel::TakenOverRole).toBool())
            marked.append(model.index(i).data().toString());
    }
    EXPECT_EQ(marked, QStringList{u".pdf"_qs});

    state.setSelectedExtension(u"txt"_qs);
    EXPECT_EQ(window().detail()->findChild<QWidget *>(u"takeoverNote"_qs), nullptr);
    state.setSelectedExtension(u"pdf"_qs);
    auto *note = window().detail()->findChild<QWidget *>(u"takeoverNote"_qs);
    ASSERT_NE(note, nullptr);
    EXPECT_TRUE(note->findChild<QLabel *>(u"takeoverChosenApp"_qs)->text().contains(editor.name()));
    button(note, u"Text Editor(으)로 되돌리기"_qs)->click();
    EXPECT_EQ(state.pendingChange(), PendingAssociationChange(listed(u"pdf"_qs), editor));
    ASSERT_EQ(currentKey(), ChangeCommands::confirmChangeAlertKey);
    EXPECT_EQ(qobject_cast<QMessageBox *>(current())->text(),
              u".pdf의 기본 앱을 Text Editor(으)로 변경합니다."_qs);

    // Put back and confirmed: the note and the mark go.
    button(current(), u"적용"_qs)->click();
    EXPECT_EQ(listed(u"pdf"_qs).currentApp(), editor);
    EXPECT_EQ(window().detail()->findChild<QWidget *>(u"takeoverNote"_qs), nullptr);
    EXPECT_FALSE(model.index(model.firstRowOf(u"pdf"_qs)).data(SidebarListModel::TakenOverRole).toBool());
}

// Which record comes next is the state's rule; the item follows it.
TEST_F(ChangeCommandTest, UndoItemIsEnabledWhileSomethingCanBeUndoneAndUndoesTheNewest)
{
    EXPECT_FALSE(commands->undoAction()->isEnabled());
    manager->setHistory({record(u"C"_qs, u"txt"_qs, viewer, AssociationVerificationStatus::verified)});
    waitForTask(state.load());
    commands->undoAction()->trigger();
    EXPECT_EQ(manager->calls().at(manager->calls().size() - 2),
              (ScriptedFileAssociationManager::Call{Op::undoChange, u"C"_qs}));
    EXPECT_FALSE(commands->undoAction()->isEnabled());
}

TEST_F(ChangeCommandTest, BulkMenuOffersTheCommonCandidatesOnceExtensionsAreChecked)
{
    QAction *mode = commands->bulkModeAction();
    EXPECT_FALSE(commands->bulkMenuAction()->isEnabled());
    mode->trigger();
    EXPECT_TRUE(state.isBulkSelectionEnabled());
    state.toggleBulkSelection(listed(u"txt"_qs));
    state.toggleBulkSelection(listed(u"pdf"_qs));
    EXPECT_TRUE(commands->bulkMenuAction()->isEnabled());
    EXPECT_EQ(menuTexts(commands->bulkMenu()),
              (QStringList{u"Text Editor"_qs, u"문서 보기"_qs, u"---"_qs, u"직접 선택"_qs}));

    commands->bulkMenu()->actions().at(1)->trigger();
    ASSERT_TRUE(state.pendingBulkPlan());
    EXPECT_EQ(*state.pendingBulkPlan(), state.makeBulkPlan(viewer, false));
    EXPECT_EQ(currentKey(), ChangeCommands::bulkPreviewSheetKey);

    // Checking md, whose only candidate is Editor, narrows the menu.
    state.setPendingBulkPlan(std::nullopt);
    state.toggleBulkSelection(listed(u"md"_qs));
    EXPECT_EQ(menuTexts(commands->bulkMenu()), (QStringList{u"Text Editor"_qs, u"---"_qs, u"직접 선택"_qs}));
    // Turning the mode off clears the selection; without a shared candidate the menu says so.
    mode->trigger();
    EXPECT_TRUE(state.selectedExtensionsForBulk().isEmpty());
    EXPECT_FALSE(commands->bulkMenuAction()->isEnabled());
    manager->setAssociation(assoc(u"mp4"_qs, player, {player}));
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

    picker->answers.push_back(QUrl::fromLocalFile(u"/opt/tools/nameless.desktop"_qs));
    commands->pickBulkApplication();
    EXPECT_FALSE(state.pendingBulkPlan());
    EXPECT_TRUE(state.alertMessage());
    state.setAlertMessage(std::nullopt);
    const AssociatedApp tool = app(u"Tool"_qs, u"org.other.Tool.desktop"_qs, u"/opt"_qs);
    describable.insert(tool.url(), tool);
    picker->answers.push_back(tool.url());
    commands->pickBulkApplication();
    ASSERT_TRUE(state.pendingBulkPlan());
    EXPECT_EQ(*state.pendingBulkPlan(), state.makeBulkPlan(tool, true));
    EXPECT_EQ(state.pendingBulkPlan()->readyCount(), 2);
}

TEST_F(ChangeCommandTest, PreviewWithoutReadyRowsCannotApplyAndClosingKeepsTheSelection)
{
    checkForBulk({u"pdf"_qs});
    state.setPendingBulkPlan(state.makeBulkPlan(viewer, false));
    BulkPreviewSheet *sheet = commands->bulkPreview();
    ASSERT_NE(sheet, nullptr);
    EXPECT_FALSE(sheet->applyButton()->isEnabled());
    QTest::keyClick(sheet, Qt::Key_Return);
    EXPECT_EQ(manager->callCount(Op::applyDefaultApplication), 0);
    EXPECT_TRUE(state.pendingBulkPlan());

    sheet->cancelButton()->click();
    EXPECT_FALSE(state.pendingBulkPlan());
    EXPECT_EQ(currentKey(), QString());
    EXPECT_EQ(state.selectedExtensionsForBulk(), QSet<QString>{u"pdf"_qs});
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
    EXPECT_EQ(result->text(), u"검증 완료 1개, 실패 0개, 건너뜀 1개, 확인 필요 0개"_qs);
    button(result, u"확인"_qs)->click();
    EXPECT_FALSE(state.bulkApplySummary());
    EXPECT_EQ(currentKey(), QString());
}

TEST_F(ChangeCommandTest, PresentationsShowOneAtATimeInRequestOrderAndEachDismissalClearsItsValue)
{
    window().historyAction()->trigger();
    window().historyAction()->trigger(); // already showing: no second sheet
    state.setAlertMessage(u"문제"_qs);
    state.setPendingChange(PendingAssociationChange(listed(u"pdf"_qs), editor));
    waitForTask(state.confirmBulkPlan(BulkAssociationChangePlan(editor, {})));
    EXPECT_EQ(currentKey(), MainWindow::historySheetKey);
    // A request withdrawn while waiting never shows; a new one waits its turn again.
    state.setAlertMessage(std::nullopt);
    state.setAlertMessage(u"다시 문제"_qs);
    const QList<QString> order{ChangeCommands::confirmChangeAlertKey, ChangeCommands::bulkResultAlertKey,
                               MainWindow::errorAlertKey};
    EXPECT_EQ(window().presentations().waitingKeys(), order);

    for (const QString &key : order) {
        QTest::keyClick(current(), Qt::Key_Escape);
        EXPECT_EQ(currentKey(), key);
    }
    EXPECT_EQ(qobject_cast<QMessageBox *>(current())->text(), u"다시 문제"_qs);
    QTest::keyClick(current(), Qt::Key_Escape);
    EXPECT_EQ(current(), nullptr);
    EXPECT_FALSE(window().isShowingHistory());
    EXPECT_FALSE(state.bulkApplySummary());
    EXPECT_FALSE(state.pendingChange());
    EXPECT_FALSE(state.alertMessage());
    EXPECT_EQ(manager->callCount(Op::applyDefaultApplication), 0);
}

// The window as the program builds it, keeping its geometry where it does by default.
TEST(WindowGeometryTest, SizeAndSidebarWidthSurviveARestartUnderTheConfigHome)
{
    const QString path = qEnvironmentVariable("XDG_CONFIG_HOME") + u"/halvora/window.ini"_qs;
    ASSERT_EQ(defaultWindowGeometryPath(), path);
    auto manager = std::make_shared<ScriptedFileAssociationManager>();
    HalvoraState state{manager, ExtensionCatalog::defaultCatalog()};
    const auto write = [&](const char *text) {
        QDir().mkpath(QFileInfo(path).path());
        std::ofstream(path.toStdString()) << text;
    };
    const auto open = [&] {
        auto window = std::make_unique<MainWindow>(state, DesktopServices{});
        installChangeCommands(*window);
        QSignalSpy restored(window->findChild<WindowGeometryKeeper *>(), &WindowGeometryKeeper::restored);
        window->show();
        EXPECT_TRUE(restored.wait());
        QCoreApplication::processEvents();
        return window;
    };

    write("[window]\nwidth=abc\nheight=700\n");
    EXPECT_FALSE(readWindowGeometry(path));
    write("[window]\nwidth=100\nheight=-5\n");
    EXPECT_FALSE(readWindowGeometry(path));
    // Too small a size and too wide a sidebar never take the window past its limits.
    write("[window]\nwidth=300\nheight=200\nsidebarWidth=9999\n");
    {
        auto window = open();
        EXPECT_EQ(window->size(), QSize(MainWindow::minimumWidth, MainWindow::minimumHeight));
        EXPECT_LE(window->splitter()->sizes().first(), MainWindow::sidebarMaximumWidth);
        window->resize(1234, 700);
        QCoreApplication::processEvents();
        // As a drag of the handle leaves it: the two panes fill the splitter.
        QSplitter *splitter = window->splitter();
        splitter->setSizes({333, splitter->contentsRect().width() - splitter->handleWidth() - 333});
        QSignalSpy saved(window->findChild<WindowGeometryKeeper *>(), &WindowGeometryKeeper::saved);
        window->close();
        ASSERT_TRUE(saved.wait());
    }
    EXPECT_EQ(readWindowGeometry(path), (WindowGeometry{QSize(1234, 700), 333}));

    auto window = open();
    EXPECT_EQ(window->size(), QSize(1234, 700));
    EXPECT_EQ(window->splitter()->sizes().first(), 333);
}

} // namespace

} // namespace halvora::test
