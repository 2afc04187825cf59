#include "WindowTestSupport.h"

#include "app/AssociationDetailView.h"
#include "app/ExtensionSidebarView.h"
#include "app/SidebarListModel.h"
#include "app/sheets/AddExtensionSheet.h"
#include "app/sheets/BulkPreviewSheet.h"
#include "app/sheets/ChangeHistorySheet.h"
#include "app/sheets/SheetWidgets.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QProgressBar>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSplitter>

#include <fstream>

namespace halvora::test {
namespace {

// Every text the window shows, collected from what is on screen; on the way, every control
// that Tab reaches must announce a name, and its tool tip as description.
QSet<QString> visibleTexts(QWidget *root)
{
    QSet<QString> texts{root->windowTitle()};
    for (QWidget *widget : root->findChildren<QWidget *>()) {
        if ((widget->focusPolicy() & Qt::TabFocus) && widget->isVisibleTo(root) &&
            !qobject_cast<QScrollBar *>(widget)) {
            QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(widget);
            const QString name = accessible->text(QAccessible::Name);
            EXPECT_FALSE(name.isEmpty()) << widget->metaObject()->className();
            EXPECT_TRUE(widget->toolTip().isEmpty() ||
                        accessible->text(QAccessible::Description) == widget->toolTip())
                << name.toStdString();
        }
        texts << widget->toolTip() << widget->accessibleName() << widget->property("text").toString()
              << widget->property("placeholderText").toString(); // labels, buttons, fields
        if (auto *line = qobject_cast<ElidedLabel *>(widget))
            texts << line->text();
        if (auto *combo = qobject_cast<QComboBox *>(widget))
            for (int i = 0; i < combo->count(); ++i)
                texts << combo->itemText(i);
        // Rows painted by a delegate show their model's texts.
        const auto *view = qobject_cast<QAbstractItemView *>(widget);
        for (int i = 0; view && view->model() && i < view->model()->rowCount(); ++i)
            for (int role : {int(Qt::DisplayRole), int(Qt::ToolTipRole), int(Qt::AccessibleDescriptionRole)})
                texts << view->model()->index(i, 0).data(role).toString();
    }
    for (QAction *action : root->findChildren<QAction *>())
        texts << action->text() << action->toolTip();
    return texts;
}

// What counts as an extension and which records can be undone are the state's rules.
TEST_F(ChangeCommandTest, AddSheetHandsOverTheTextAsTypedAndAHistoryRowUndoesItsOwnRecord)
{
    window().addExtensionAction()->trigger();
    auto *add = qobject_cast<AddExtensionSheet *>(current());
    ASSERT_NE(add, nullptr);
    manager->clearCalls();
    // Blank text cannot be added; a tab cannot be typed into the field, but it can be pasted.
    add->textField()->insert(u"  \t "_qs);
    EXPECT_FALSE(add->addButton()->isEnabled());
    QTest::keyClick(add->textField(), Qt::Key_Return);
    EXPECT_EQ(current(), add);
    QTest::keyClicks(add->textField(), u" MD"_qs);
    EXPECT_TRUE(add->addButton()->isEnabled());
    QTest::keyClick(add->textField(), Qt::Key_Return);
    EXPECT_FALSE(window().isAddingExtension());
    ASSERT_TRUE(processEventsUntil([&] { return !manager->calls().isEmpty(); }));
    EXPECT_EQ(manager->calls().first(),
              (ScriptedFileAssociationManager::Call{Op::loadAssociation, u"  \t  MD"_qs}));

    manager->setHistory({record(u"2"_qs, u"pdf"_qs, viewer, Status::apiFailed),
                         record(u"1"_qs, u"txt"_qs, viewer, Status::verified)});
    waitForTask(state.load());
    window().historyAction()->trigger();
    auto *history = qobject_cast<ChangeHistorySheet *>(current());
    ASSERT_NE(history, nullptr);
    history->undoButtons().last()->click();
    EXPECT_EQ(manager->calls().at(manager->calls().size() - 2),
              (ScriptedFileAssociationManager::Call{Op::undoChange, u"1"_qs}));
    // Hours and minutes, never seconds, whatever the locale's own short time says.
    QLocale::setDefault(QLocale::c());
    const QString time = ChangeHistorySheet::formattedTime(state.changeHistory().first());
    QLocale::setDefault(QLocale::system());
    EXPECT_TRUE(QRegularExpression(u"^(?!.*:\\d\\d:\\d\\d).*\\d\\d:\\d\\d$"_qs).match(time).hasMatch())
        << time.toStdString();
}

// Sheets and alerts show one at a time in request order, each dismissal clearing its value; on
// the way every quoted text must appear and every control announce itself.
TEST_F(ChangeCommandTest, PresentationsShowInTurnWithEveryQuotedTextAndEveryControlAnnounced)
{
    QSet<QString> texts;
    // The window, then each sheet or alert waiting to be shown, closed in turn.
    const auto survey = [&] {
        texts += visibleTexts(&window());
        while (QDialog *top = current()) {
            texts += visibleTexts(top);
            QTest::keyClick(top, Qt::Key_Escape);
            ASSERT_NE(current(), top);
        }
    };
    state.toggleGroup(ExtensionCategory::documents);
    window().historyAction()->trigger();
    window().historyAction()->trigger(); // already showing: no second sheet
    window().addExtensionAction()->trigger();
    state.setAlertMessage(u"문제"_qs);
    state.setPendingChange(PendingAssociationChange(listed(u"pdf"_qs), editor));
    waitForTask(state.confirmBulkPlan(BulkAssociationChangePlan(editor, {})));
    // A request withdrawn while waiting never shows; a new one waits its turn again.
    state.setAlertMessage(std::nullopt);
    const QString markup = u"<b>다시</b> & 문제"_qs;
    state.setAlertMessage(markup);
    EXPECT_EQ(currentKey(), MainWindow::historySheetKey);
    const QList<QString> order{MainWindow::addExtensionSheetKey, ChangeCommands::confirmChangeAlertKey,
                               ChangeCommands::bulkResultAlertKey, MainWindow::errorAlertKey};
    EXPECT_EQ(window().presentations().waitingKeys(), order);
    for (const QString &key : order) {
        texts += visibleTexts(current());
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
    survey(); // pdf with a default application and two candidates; an empty history
    EXPECT_FALSE(window().isShowingHistory() || window().isAddingExtension());
    EXPECT_FALSE(state.bulkApplySummary());
    EXPECT_FALSE(state.pendingChange());
    EXPECT_FALSE(state.alertMessage());

    manager->setHistory({record(u"2"_qs, u"txt"_qs, std::nullopt, Status::apiFailed, u"다시 시도하세요"_qs),
                         record(u"1"_qs, u"pdf"_qs, viewer, Status::undoVerified)});
    waitForTask(state.load());
    state.setSelectedExtension(u"md"_qs);
    window().historyAction()->trigger();
    checkForBulk({u"md"_qs, u"txt"_qs});
    commands->bulkMenu()->aboutToShow();
    state.setPendingBulkPlan(state.makeBulkPlan(editor, false));
    survey(); // md without a default application

    manager->setAssociation(assoc(u"mp4"_qs, player, {player}));
    waitForTask(state.addExtension(u"mp4"_qs));
    checkForBulk({u"mp4"_qs}); // with md and txt
    commands->bulkMenu()->aboutToShow();
    EXPECT_FALSE(commands->bulkMenu()->actions().first()->isEnabled());
    manager->setAssociation(assoc(u"ogg"_qs, std::nullopt, {}));
    waitForTask(state.addExtension(u"ogg"_qs));
    state.setSidebarMode(AssociationSidebarMode::applications);
    state.toggleApplicationGroup(AppAssociationGroup::unassignedID);
    survey(); // no shared candidate; no candidates at all
    QTest::keyClicks(window().sidebar()->searchField(), u"zzzz"_qs);
    survey(); // nothing selected

    for (const QString &text :
         {// The window
          u"새로고침"_qs, u"선택한 확장자의 기본 앱 정보를 다시 읽습니다."_qs,
          u"목록에 없는 확장자를 직접 추가합니다."_qs, u"기본 앱 변경 이력과 검증 상태를 확인합니다."_qs,
          u"목록 보기"_qs, u"일괄 적용 선택 해제"_qs, u"확장자"_qs, u"응용프로그램"_qs,
          u"확장자 또는 UTI 검색"_qs, u"앱, 번들 ID, 확장자 검색"_qs, u"필터"_qs, u"전체"_qs, u".pdf"_qs,
          u"문서 보기 앱 아이콘"_qs, u"연결된 앱 없음"_qs, u"일괄 적용 선택"_qs, u"현재 기본 앱"_qs,
          u"Finder에서 보기"_qs, u"Finder에서 앱 위치를 엽니다."_qs, u"번들 ID 복사"_qs,
          u"Bundle ID를 클립보드에 복사합니다."_qs, u"등록된 기본 앱 없음"_qs, u"호환 앱"_qs, u"직접 선택"_qs,
          u"현재"_qs, u"적용"_qs, u"호환 앱 없음"_qs, u"직접 선택으로 .app 번들을 지정할 수 있습니다."_qs,
          u"확장자를 선택하세요"_qs, u"왼쪽 목록에서 확장자를 선택하거나 + 버튼으로 추가하세요."_qs,
          u"오류"_qs, u"확인"_qs,
          // The change commands and their sheets
          u"확장자 추가"_qs, u"예: md, pdf, jpg"_qs, u"취소"_qs, u"추가"_qs, u"변경 이력"_qs, u"닫기"_qs,
          u"변경 이력 없음"_qs, u"기본 앱을 변경하면 이곳에 검증 결과가 기록됩니다."_qs, u".txt"_qs,
          u"없음 -> Text Editor"_qs, u"문서 보기 -> Text Editor"_qs, u"다시 시도하세요"_qs, u"되돌리기"_qs,
          u"적용 실패"_qs, u"되돌림 완료"_qs, u"일괄 적용 미리보기"_qs, u"현재 앱"_qs, u"변경 후"_qs,
          u"상태"_qs, u"메모"_qs, u"없음"_qs, u"Halvora에서 최근 적용한 변경을 되돌립니다."_qs,
          u"다중 선택"_qs, u"다중 선택 해제"_qs, u"여러 확장자를 선택해 같은 기본 앱으로 일괄 적용합니다."_qs,
          u"일괄 적용"_qs, u"선택한 확장자에 적용할 앱을 고릅니다."_qs, u"공통 후보 앱 없음"_qs,
          u"기본 앱 변경"_qs, u".pdf의 기본 앱을 Text Editor(으)로 변경합니다."_qs, u"일괄 적용 결과"_qs,
          u"2개 확장자를 Text Editor(으)로 변경"_qs, u"1 적용"_qs, u"1 건너뜀"_qs, u"0 확인 필요"_qs,
          u"검증 완료 0개, 실패 0개, 건너뜀 0개, 확인 필요 0개"_qs})
        EXPECT_TRUE(texts.contains(text)) << text.toStdString();
}

// Which default counts as taken over is the service's rule; the window marks it and offers
// the chosen app back through the confirmation alert.
TEST_F(ChangeCommandTest, TakenOverDefaultIsProposedBackAndTheConfirmationAppliesOnceOrCancels)
{
    EXPECT_FALSE(commands->undoAction()->isEnabled()); // nothing to undo yet
    manager->setHistory({record(u"R1"_qs, u"pdf"_qs, viewer, Status::verified)});
    waitForTask(state.load());
    state.toggleGroup(ExtensionCategory::documents);
    SidebarListModel &model = *window().sidebar()->listModel();
    EXPECT_TRUE(model.index(model.firstRowOf(u"pdf"_qs)).data(SidebarListModel::TakenOverRole).toBool());
    state.setSelectedExtension(u"pdf"_qs);
    auto *restore = window().detail()->findChild<QPushButton *>(u"takeoverRestoreButton"_qs);
    ASSERT_NE(restore, nullptr);
    EXPECT_EQ(restore->text(), u"Text Editor(으)로 되돌리기"_qs);
    restore->click();
    const PendingAssociationChange change(listed(u"pdf"_qs), editor);
    EXPECT_EQ(state.pendingChange(), change);
    ASSERT_EQ(currentKey(), ChangeCommands::confirmChangeAlertKey);
    QTest::keyClick(current(), Qt::Key_Escape); // "취소"
    EXPECT_FALSE(state.pendingChange());

    // A replaced proposal gets its own alert.
    state.setPendingChange(PendingAssociationChange(listed(u"txt"_qs), viewer));
    state.setPendingChange(change);
    EXPECT_EQ(qobject_cast<QMessageBox *>(current())->text(),
              u".pdf의 기본 앱을 Text Editor(으)로 변경합니다."_qs);

    // "적용" clears the value before the change runs, and runs the change the alert showed, once.
    manager->hold(Op::applyDefaultApplication);
    QTest::keyClick(current(), Qt::Key_Return); // "적용"
    EXPECT_FALSE(state.pendingChange());
    ASSERT_EQ(manager->heldCount(Op::applyDefaultApplication), 1);
    manager->releaseAll();
    EXPECT_EQ(manager->callCount(Op::applyDefaultApplication), 1);
    EXPECT_EQ(listed(u"pdf"_qs).currentApp(), editor);
}

// Which candidates are common and how a plan is made are the state's rules.
TEST_F(ChangeCommandTest, BulkMenuOffersCommonCandidatesOrAnyAppAndThePreviewAppliesOnceUntilTheSummary)
{
    EXPECT_FALSE(commands->bulkMenuAction()->isEnabled());
    checkForBulk({u"txt"_qs, u"pdf"_qs});
    QStringList offered;
    for (QAction *action : commands->bulkMenu()->actions())
        offered.append(action->isSeparator() ? u"---"_qs : action->text());
    EXPECT_EQ(offered, (QStringList{u"Text Editor"_qs, u"문서 보기"_qs, u"---"_qs, u"직접 선택"_qs}));
    // From disk, an app outside the candidates may be chosen.
    desktop->answers = {tool.url()};
    commands->bulkMenu()->actions().last()->trigger();
    EXPECT_EQ(state.pendingBulkPlan(), state.makeBulkPlan(tool, true));
    commands->bulkMenu()->actions().at(1)->trigger();
    EXPECT_EQ(state.pendingBulkPlan(), state.makeBulkPlan(viewer, false)); // pdf skipped, txt ready
    BulkPreviewSheet *sheet = commands->bulkPreview();
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
    EXPECT_EQ(currentKey(), ChangeCommands::bulkPreviewSheetKey); // so the plan is still pending

    manager->releaseAll();
    EXPECT_EQ(manager->callCount(Op::applyDefaultApplication), 1);
    EXPECT_EQ(currentKey(), ChangeCommands::bulkResultAlertKey);
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
    auto window = open();
    EXPECT_EQ(window->size(), QSize(1234, 700));
    EXPECT_EQ(window->splitter()->sizes().first(), 333);
}

} // namespace
} // namespace halvora::test
