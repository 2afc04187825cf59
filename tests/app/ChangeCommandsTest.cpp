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
    EXPECT_FALSE(commands->undoAction()->isEnabled()); // nothing to undo yet
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
}

// Which default counts as taken over is the service's rule; the window marks it, notes it and
// offers the chosen app back through the confirmation alert.
TEST_F(ChangeCommandTest, TakenOverDefaultIsMarkedNotedAndProposedBackThroughTheConfirmationAlert)
{
    manager->setHistory({record(u"R1"_qs, u"pdf"_qs, viewer, AssociationVerificationStatus::verified)});
    waitForTask(state.load());
    state.toggleGroup(ExtensionCategory::documents);
    SidebarListModel &model = *window().sidebar()->listModel();
    for (const QString &extension : {u"pdf"_qs, u"txt"_qs})
        EXPECT_EQ(model.index(model.firstRowOf(extension)).data(SidebarListModel::TakenOverRole).toBool(),
                  extension == u"pdf"_qs);

    state.setSelectedExtension(u"pdf"_qs);
    auto *note = window().detail()->findChild<QWidget *>(u"takeoverNote"_qs);
    ASSERT_NE(note, nullptr);
    EXPECT_TRUE(note->findChild<QLabel *>(u"takeoverChosenApp"_qs)->text().contains(editor.name()));
    button(note, u"Text Editor(으)로 되돌리기"_qs)->click();
    EXPECT_EQ(state.pendingChange(), PendingAssociationChange(listed(u"pdf"_qs), editor));
    EXPECT_EQ(currentKey(), ChangeCommands::confirmChangeAlertKey);
}

// Which candidates are common and how a plan is made are the state's rules.
TEST_F(ChangeCommandTest, BulkMenuOffersTheCommonCandidatesAndAnAppPickedFromDisk)
{
    EXPECT_FALSE(commands->bulkMenuAction()->isEnabled());
    commands->bulkModeAction()->trigger();
    EXPECT_TRUE(state.isBulkSelectionEnabled());
    state.toggleBulkSelection(listed(u"txt"_qs));
    state.toggleBulkSelection(listed(u"pdf"_qs));
    EXPECT_TRUE(commands->bulkMenuAction()->isEnabled());
    EXPECT_EQ(menuTexts(commands->bulkMenu()),
              (QStringList{u"Text Editor"_qs, u"문서 보기"_qs, u"---"_qs, u"직접 선택"_qs}));
    commands->bulkMenu()->actions().at(1)->trigger();
    EXPECT_EQ(state.pendingBulkPlan(), state.makeBulkPlan(viewer, false));
    EXPECT_EQ(currentKey(), ChangeCommands::bulkPreviewSheetKey);

    // Picking from disk (cancelled, then an app outside the candidates) allows any app.
    state.setPendingBulkPlan(std::nullopt);
    const AssociatedApp tool = app(u"Tool"_qs, u"org.other.Tool.desktop"_qs, u"/opt"_qs);
    describable.insert(tool.url(), tool);
    desktop->answers = {std::nullopt, tool.url()};
    commands->bulkMenu()->actions().last()->trigger();
    EXPECT_FALSE(state.pendingBulkPlan());
    commands->bulkMenu()->actions().last()->trigger();
    EXPECT_EQ(state.pendingBulkPlan(), state.makeBulkPlan(tool, true));
}

TEST_F(ChangeCommandTest, BulkPreviewAppliesAReadyPlanOnceShowingProgressUntilTheSummary)
{
    // Nothing ready: the sheet cannot apply, and closing it keeps the checked extensions.
    checkForBulk({u"txt"_qs});
    state.setPendingBulkPlan(state.makeBulkPlan(editor, false));
    BulkPreviewSheet *sheet = commands->bulkPreview();
    ASSERT_NE(sheet, nullptr);
    EXPECT_FALSE(sheet->applyButton()->isEnabled());
    QTest::keyClick(sheet, Qt::Key_Return);
    EXPECT_EQ(manager->callCount(Op::applyDefaultApplication), 0);
    QTest::keyClick(sheet, Qt::Key_Escape);
    EXPECT_FALSE(state.pendingBulkPlan());
    EXPECT_EQ(state.selectedExtensionsForBulk(), QSet<QString>{u"txt"_qs});

    state.toggleBulkSelection(listed(u"md"_qs));
    state.setPendingBulkPlan(state.makeBulkPlan(editor, false)); // txt skipped, md ready
    sheet = commands->bulkPreview();
    ASSERT_NE(sheet, nullptr);
    manager->hold(Op::applyDefaultApplication);

    QTest::mouseDClick(sheet->applyButton(), Qt::LeftButton);
    sheet->applyButton()->click();
    QTest::keyClick(sheet, Qt::Key_Return);
    EXPECT_EQ(manager->heldCount(Op::applyDefaultApplication), 1);
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
    EXPECT_EQ(currentKey(), ChangeCommands::bulkResultAlertKey);
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
    const QString markup = u"<b>다시</b> & 문제"_qs;
    state.setAlertMessage(markup);
    const QList<QString> order{ChangeCommands::confirmChangeAlertKey, ChangeCommands::bulkResultAlertKey,
                               MainWindow::errorAlertKey};
    EXPECT_EQ(window().presentations().waitingKeys(), order);

    for (const QString &key : order) {
        QTest::keyClick(current(), Qt::Key_Escape);
        EXPECT_EQ(currentKey(), key);
    }
    // The message is shown verbatim, and a newer one replaces it on the alert already shown.
    auto *alert = qobject_cast<QMessageBox *>(current());
    EXPECT_EQ(alert->text(), markup);
    EXPECT_EQ(alert->textFormat(), Qt::PlainText);
    state.setAlertMessage(u"두 번째"_qs);
    EXPECT_EQ(current(), alert);
    EXPECT_EQ(alert->text(), u"두 번째"_qs);
    QTest::keyClick(alert, Qt::Key_Escape);
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
