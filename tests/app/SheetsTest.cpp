#include "WindowTestSupport.h"

#include "app/ExtensionSidebarView.h"
#include "app/PlaceholderPanel.h"
#include "app/sheets/AddExtensionSheet.h"
#include "app/sheets/ChangeHistorySheet.h"
#include "app/sheets/SheetWidgets.h"
#include "core/state/AssociationSidebarMode.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QRegularExpression>
#include <QScrollBar>

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
            const auto [name, description] = announced(widget);
            EXPECT_FALSE(name.isEmpty()) << widget->metaObject()->className();
            EXPECT_TRUE(widget->toolTip().isEmpty() || description == widget->toolTip())
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
        for (int i = 0; view && view->model() && i < view->model()->rowCount(); ++i) {
            for (int role : {int(Qt::DisplayRole), int(Qt::ToolTipRole), int(Qt::AccessibleDescriptionRole)})
                texts << view->model()->index(i, 0).data(role).toString();
        }
    }
    for (QAction *action : root->findChildren<QAction *>())
        texts << action->text() << action->toolTip();
    return texts;
}

TEST_F(ChangeCommandTest, AddSheetIsEnabledByTrimmedTextAndGivesTheStateTheTextAsTyped)
{
    window().addExtensionAction()->trigger();
    auto *sheet = qobject_cast<AddExtensionSheet *>(current());
    ASSERT_NE(sheet, nullptr);
    manager->clearCalls();
    // A tab cannot be typed into the field, but it can be pasted.
    sheet->textField()->insert(u"  \t "_qs);
    EXPECT_FALSE(sheet->addButton()->isEnabled());
    QTest::keyClick(sheet->textField(), Qt::Key_Return);
    EXPECT_EQ(current(), sheet);

    QTest::keyClicks(sheet->textField(), u" MD"_qs);
    EXPECT_TRUE(sheet->addButton()->isEnabled());
    QTest::keyClick(sheet->textField(), Qt::Key_Return);
    EXPECT_FALSE(window().isAddingExtension());
    ASSERT_TRUE(processEventsUntil([&] { return !manager->calls().isEmpty(); }));
    EXPECT_EQ(manager->calls().first(),
              (ScriptedFileAssociationManager::Call{Op::loadAssociation, u"  \t  MD"_qs}));
    window().addExtensionAction()->trigger();
    qobject_cast<AddExtensionSheet *>(current())->cancelButton()->click();
    EXPECT_FALSE(window().isAddingExtension());
}

// Which record a row's undo reaches and what it leaves are the state's rules; its texts are
// in the survey below.
TEST_F(ChangeCommandTest, HistorySheetOffersUndoPerRowAndUndoesThePressedRecord)
{
    window().historyAction()->trigger();
    auto *sheet = qobject_cast<ChangeHistorySheet *>(current());
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(sheet->findChild<PlaceholderPanel *>()->isVisible());
    manager->setHistory({record(u"3"_qs, u"pdf"_qs, viewer, AssociationVerificationStatus::apiFailed),
                         record(u"2"_qs, u"txt"_qs, viewer, AssociationVerificationStatus::undoVerified),
                         record(u"1"_qs, u"md"_qs, std::nullopt, AssociationVerificationStatus::verified)});
    waitForTask(state.load());
    EXPECT_FALSE(sheet->findChild<PlaceholderPanel *>()->isVisible());
    QList<bool> enabled;
    for (QPushButton *undo : sheet->undoButtons())
        enabled.append(undo->isEnabled());
    EXPECT_EQ(enabled, (QList<bool>{true, false, false}));
    // Hours and minutes, never seconds, whatever the locale's own short time says.
    QLocale::setDefault(QLocale::c());
    const QString time = ChangeHistorySheet::formattedTime(state.changeHistory().first());
    QLocale::setDefault(QLocale::system());
    EXPECT_TRUE(QRegularExpression(u"^(?!.*:\\d\\d:\\d\\d).*\\d\\d:\\d\\d$"_qs).match(time).hasMatch())
        << time.toStdString();

    sheet->undoButtons().first()->click();
    EXPECT_EQ(manager->calls().at(manager->calls().size() - 2),
              (ScriptedFileAssociationManager::Call{Op::undoChange, u"3"_qs}));
    QCoreApplication::processEvents();
    EXPECT_FALSE(sheet->undoButtons().first()->isEnabled());
    sheet->closeButton()->click();
    EXPECT_FALSE(window().isShowingHistory());
}

TEST_F(ChangeCommandTest, EveryQuotedTextAppearsAndEveryControlAnnouncesItself)
{
    QSet<QString> texts;
    // What is on top: the sheet or alert just asked for (then closed), or else the window.
    const auto survey = [&] {
        texts += visibleTexts(current() ? static_cast<QWidget *>(current()) : &window());
        if (current())
            QTest::keyClick(current(), Qt::Key_Escape);
    };
    state.toggleGroup(ExtensionCategory::documents);
    survey(); // pdf: a default application and two candidates
    window().addExtensionAction()->trigger();
    survey();
    window().historyAction()->trigger();
    survey(); // no history
    state.setAlertMessage(u"문제"_qs);
    survey();
    state.setPendingChange(PendingAssociationChange(listed(u"pdf"_qs), editor));
    survey();

    manager->setHistory({record(u"2"_qs, u"txt"_qs, std::nullopt, AssociationVerificationStatus::apiFailed,
                                u"다시 시도하세요"_qs),
                         record(u"1"_qs, u"pdf"_qs, viewer, AssociationVerificationStatus::undoVerified)});
    waitForTask(state.load());
    window().historyAction()->trigger();
    survey();

    state.setSelectedExtension(u"md"_qs);
    survey(); // no default application
    checkForBulk({u"md"_qs, u"txt"_qs});
    commands->bulkMenu()->aboutToShow();
    survey();
    state.setPendingBulkPlan(state.makeBulkPlan(editor, false));
    survey();
    waitForTask(state.confirmBulkPlan(BulkAssociationChangePlan(editor, {})));
    survey();

    manager->setAssociation(assoc(u"mp4"_qs, player, {player}));
    waitForTask(state.addExtension(u"mp4"_qs));
    state.setBulkSelectionEnabled(false);
    checkForBulk({u"mp4"_qs, u"md"_qs});
    commands->bulkMenu()->aboutToShow();
    survey(); // no shared candidate
    state.setBulkSelectionEnabled(false);
    manager->setAssociation(assoc(u"ogg"_qs, std::nullopt, {}));
    waitForTask(state.addExtension(u"ogg"_qs));
    survey(); // no candidates
    state.setSidebarMode(AssociationSidebarMode::applications);
    state.toggleApplicationGroup(AppAssociationGroup::unassignedID);
    survey();
    QTest::keyClicks(window().sidebar()->searchField(), u"zzzz"_qs);
    survey(); // nothing selected

    for (const QString &text :
         {// The window
          u"새로고침"_qs, u"선택한 확장자의 기본 앱 정보를 다시 읽습니다."_qs,
          u"목록에 없는 확장자를 직접 추가합니다."_qs, u"기본 앱 변경 이력과 검증 상태를 확인합니다."_qs,
          u"목록 보기"_qs, u"확장자"_qs, u"응용프로그램"_qs, u"확장자 또는 UTI 검색"_qs,
          u"앱, 번들 ID, 확장자 검색"_qs, u"필터"_qs, u"전체"_qs, u".pdf"_qs, u"문서 보기 앱 아이콘"_qs,
          u"연결된 앱 없음"_qs, u"일괄 적용 선택"_qs, u"현재 기본 앱"_qs, u"Finder에서 보기"_qs,
          u"Finder에서 앱 위치를 엽니다."_qs, u"번들 ID 복사"_qs, u"Bundle ID를 클립보드에 복사합니다."_qs,
          u"등록된 기본 앱 없음"_qs, u"호환 앱"_qs, u"직접 선택"_qs, u"현재"_qs, u"적용"_qs,
          u"호환 앱 없음"_qs, u"직접 선택으로 .app 번들을 지정할 수 있습니다."_qs, u"확장자를 선택하세요"_qs,
          u"왼쪽 목록에서 확장자를 선택하거나 + 버튼으로 추가하세요."_qs, u"오류"_qs, u"확인"_qs,
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

} // namespace

} // namespace halvora::test
