#include "StateTestSupport.h"

#include <functional>

namespace halvora::test {
namespace {

using Status = AssociationVerificationStatus;
using RowStatus = BulkAssociationRowStatus;
using Call = ScriptedFileAssociationManager::Call;

FileAssociation jpeg(const QString &extension, const AssociatedApp &current)
{
    return FileAssociation(extension, u"image/jpeg"_qs, current, {viewer, editor});
}

std::optional<AssociatedApp> currentOf(const HalvoraState &state, const QString &extension)
{
    return listed(state, extension).currentApp();
}

TEST_F(StateTest, ConfirmReportsOutcomesAndKeepsStateOnFailure)
{
    loadWith({assoc(u"pdf"_qs, viewer, {viewer, editor}), assoc(u"txt"_qs, editor, {editor, viewer})});
    const auto txt = state.associations()[1];

    manager->clearCalls();
    state.confirmPendingChange(); // nothing pending
    EXPECT_TRUE(manager->calls().isEmpty());

    state.setAlertMessage(u"old"_qs);
    state.confirmPendingChange(PendingAssociationChange(state.associations()[0], editor));
    EXPECT_FALSE(state.alertMessage());
    EXPECT_EQ(state.changeHistory().size(), 1);
    EXPECT_EQ(state.associations()[0].currentApp(), editor);

    auto confirmTxt = [&] {
        state.setPendingChange(PendingAssociationChange(txt, viewer));
        state.confirmPendingChange();
    };
    // A failed outcome is reported by its title when it brings no message.
    manager->setApplyOutcome(u"txt"_qs, Status::apiFailed);
    confirmTxt();
    EXPECT_EQ(state.alertMessage(), u"적용 실패"_qs);
    EXPECT_FALSE(state.pendingChange());
    EXPECT_EQ(state.associations()[1].currentApp(), editor);

    // A history that cannot be read after a recorded change leaves everything as it was.
    const auto history = state.changeHistory();
    manager->setApplyOutcome(u"txt"_qs, Status::verified);
    manager->failChangeHistory(failure(u"기록 실패"_qs));
    confirmTxt();
    EXPECT_EQ(state.alertMessage(), u"기록 실패"_qs);
    EXPECT_TRUE(state.pendingChange());
    EXPECT_EQ(state.changeHistory(), history);
    EXPECT_EQ(state.associations()[1].currentApp(), editor);

    // A failed refresh is silent; the outcome is still reported.
    manager->failChangeHistory(nullptr);
    manager->failLoadAssociation(u"txt"_qs, failure(u"새로고침 실패"_qs));
    manager->setApplyOutcome(u"txt"_qs, Status::apiFailed, u"거부됨"_qs);
    confirmTxt();
    EXPECT_EQ(state.alertMessage(), u"거부됨"_qs);
}

TEST_F(StateTest, UndoWalksBackThroughUndoableRecords)
{
    loadWith({assoc(u"pdf"_qs, editor), assoc(u"txt"_qs, editor)},
             {record(u"3"_qs, u"pdf"_qs, viewer, Status::undoVerified),
              record(u"2"_qs, u"txt"_qs, std::nullopt, Status::verified),
              record(u"1"_qs, u"pdf"_qs, viewer, Status::verificationFailed),
              record(u"0"_qs, u"txt"_qs, player, Status::verified)});
    EXPECT_EQ(state.latestChange(u"pdf"_qs)->id(), u"3"_qs);

    state.setAlertMessage(u"old"_qs);
    state.undoRecentChange();
    EXPECT_FALSE(state.alertMessage());
    EXPECT_EQ(state.changeHistory()[2].verificationStatus(), Status::undoVerified);
    EXPECT_EQ(state.associations()[0].currentApp(), viewer);

    state.undoRecentChange();
    EXPECT_EQ(state.associations()[1].currentApp(), player);

    manager->clearCalls();
    state.undoRecentChange();
    EXPECT_TRUE(manager->calls().isEmpty());

    const auto history = state.changeHistory();
    state.undoChange(history[1]);
    EXPECT_EQ(state.alertMessage(),
              FileAssociationError::noPreviousApplication(u"txt"_qs).localizedDescription());
    EXPECT_EQ(state.changeHistory(), history);

    manager->setUndoOutcome(u"pdf"_qs, Status::undoFailed);
    state.undoChange(history[0]);
    EXPECT_EQ(state.alertMessage(), u"되돌림 실패"_qs);
}

TEST_F(StateTest, BulkSelectionKeepsCheckingOrderAndPlansRowByRow)
{
    const AssociatedApp viewerElsewhere = app(u"Other name"_qs, viewer.bundleIdentifier(), u"/opt"_qs);
    loadWith({assoc(u"pdf"_qs, viewer, {viewer, editor, player}),
              assoc(u"txt"_qs, editor, {player, editor, viewer, viewerElsewhere}),
              assoc(u"csv"_qs, std::nullopt, {viewer}), assoc(u"md"_qs, std::nullopt)});
    auto find = [&](const QString &extension) { return listed(state, extension); };
    const QString noUndo = u"이전 기본 앱이 없어 되돌리기 대상은 저장되지 않습니다."_qs;

    EXPECT_TRUE(state.commonCandidateAppsForBulkSelection().isEmpty());
    state.setBulkSelectionEnabled(true);
    for (const auto &extension : {u"pdf"_qs, u"txt"_qs, u"pdf"_qs, u"pdf"_qs})
        state.toggleBulkSelection(find(extension));
    EXPECT_EQ(extensionsOf(state.bulkSelectedAssociations()), (QStringList{u"txt"_qs, u"pdf"_qs}));

    // Same bundle identifier means same app; names and locations come from the first
    // checked association, where the later duplicate wins.
    EXPECT_EQ(state.commonCandidateAppsForBulkSelection(),
              (QList<AssociatedApp>{viewerElsewhere, player, editor}));

    state.toggleBulkSelection(find(u"csv"_qs));
    state.toggleBulkSelection(find(u"md"_qs));
    EXPECT_TRUE(state.commonCandidateAppsForBulkSelection().isEmpty());

    EXPECT_EQ(rowsOf(state.makeBulkPlan(viewerElsewhere, false)),
              (QList<PlannedRow>{{RowStatus::ready, std::nullopt},
                                 {RowStatus::skipped, u"이미 현재 기본 앱입니다."_qs},
                                 {RowStatus::ready, noUndo},
                                 {RowStatus::blocked, u"선택한 앱이 이 확장자의 호환 후보에 없습니다."_qs}}));
    EXPECT_EQ(rowsOf(state.makeBulkPlan(viewerElsewhere, true))[3], PlannedRow(RowStatus::ready, noUndo));

    // An extension that drops out of the list stays checked but is left out.
    manager->setRegisteredAssociations({find(u"pdf"_qs), find(u"txt"_qs), find(u"md"_qs)});
    state.load();
    EXPECT_TRUE(state.isSelectedForBulk(u"csv"_qs));
    EXPECT_EQ(extensionsOf(state.bulkSelectedAssociations()), (QStringList{u"txt"_qs, u"pdf"_qs, u"md"_qs}));

    state.setBulkSelectionEnabled(false);
    EXPECT_TRUE(state.selectedExtensionsForBulk().isEmpty());
}

TEST_F(StateTest, BulkApplyRunsReadyRowsInTurnCountsOutcomesAndEndsBulkMode)
{
    loadWith({jpeg(u"jpg"_qs, editor), jpeg(u"jpeg"_qs, editor), assoc(u"pdf"_qs, editor, {editor, viewer}),
              assoc(u"md"_qs, viewer), assoc(u"csv"_qs, editor)});
    state.setBulkSelectionEnabled(true);
    for (const auto &extension : {u"pdf"_qs, u"jpg"_qs, u"jpeg"_qs, u"md"_qs, u"csv"_qs})
        state.toggleBulkSelection(listed(state, extension));
    state.setPendingBulkPlan(state.makeBulkPlan(editor, false)); // confirm uses its argument
    manager->setApplyOutcome(u"pdf"_qs, Status::apiFailed);
    manager->clearCalls();

    // Ready rows only, in turn, each refreshed with its type (jpeg is jpg's, so already done).
    state.confirmBulkPlan(state.makeBulkPlan(viewer, false));
    EXPECT_EQ(manager->calls(), (QList<Call>{{Op::applyDefaultApplication, u"pdf"_qs},
                                             {Op::loadAssociation, u"pdf"_qs},
                                             {Op::applyDefaultApplication, u"jpg"_qs},
                                             {Op::loadAssociation, u"jpg"_qs},
                                             {Op::loadAssociation, u"jpeg"_qs}}));
    EXPECT_EQ(state.bulkApplySummary(), BulkAssociationApplySummary(1, 1, 2, 1));
    EXPECT_EQ(currentOf(state, u"jpeg"_qs), viewer);
    EXPECT_FALSE(state.alertMessage());
    EXPECT_FALSE(state.pendingBulkPlan());
    EXPECT_TRUE(state.selectedExtensionsForBulk().isEmpty());
    EXPECT_FALSE(state.isBulkSelectionEnabled());

    // A plan that still sends both rows of the type records for the second what it really replaced.
    state.confirmBulkPlan(BulkAssociationChangePlan(
        editor,
        {BulkAssociationChangeRow(listed(state, u"jpg"_qs), editor, RowStatus::ready, std::nullopt),
         BulkAssociationChangeRow(listed(state, u"jpeg"_qs), editor, RowStatus::ready, std::nullopt)}));
    EXPECT_EQ(state.changeHistory()[0].previousApp(), editor);
    EXPECT_EQ(state.changeHistory()[1].previousApp(), viewer);

    // Nothing ready: no change, still a summary; a history failure is shown.
    state.toggleBulkSelection(listed(state, u"md"_qs));
    manager->failChangeHistory(failure(u"기록 실패"_qs));
    state.confirmBulkPlan(state.makeBulkPlan(viewer, false));
    EXPECT_EQ(state.bulkApplySummary(), BulkAssociationApplySummary(0, 0, 1, 0));
    EXPECT_EQ(state.alertMessage(), u"기록 실패"_qs);
}

TEST_F(StateTest, OverlappingOperationsInterleaveAndTheLastWriteWins)
{
    // Two loads: the second finishes first and clears isLoading; the first still lands.
    manager->hold(Op::loadRegisteredAssociations);
    state.load();
    state.load();
    EXPECT_TRUE(state.isLoading());
    manager->setRegisteredAssociations({assoc(u"txt"_qs, editor)});
    manager->releaseLatest(Op::loadRegisteredAssociations);
    EXPECT_FALSE(state.isLoading());
    EXPECT_EQ(state.selectedExtension(), u"txt"_qs);
    manager->setRegisteredAssociations({assoc(u"pdf"_qs, viewer, {viewer, editor})});
    manager->releaseNext(Op::loadRegisteredAssociations);
    EXPECT_EQ(extensionsOf(state.associations()), QStringList{u"pdf"_qs});
    EXPECT_EQ(state.selectedExtension(), u"pdf"_qs);

    // A confirmation while a load waits; the load's older answer wins when it lands.
    const auto stale = state.associations();
    state.load();
    state.confirmPendingChange(PendingAssociationChange(stale[0], editor));
    EXPECT_EQ(state.associations()[0].currentApp(), editor);
    manager->setRegisteredAssociations(stale);
    manager->releaseAll();
    EXPECT_EQ(state.associations(), stale);
    EXPECT_EQ(state.changeHistory().size(), 1);

    // A bulk apply nobody awaits, while the checked set changes and a row leaves the list.
    loadWith({assoc(u"pdf"_qs, editor, {editor, viewer}), assoc(u"txt"_qs, editor, {editor, viewer}),
              assoc(u"md"_qs, viewer)});
    state.setBulkSelectionEnabled(true);
    state.toggleBulkSelection(state.associations()[0]);
    state.toggleBulkSelection(state.associations()[1]);
    manager->hold(Op::applyDefaultApplication);
    state.confirmBulkPlan(state.makeBulkPlan(viewer, false));
    state.toggleBulkSelection(state.associations()[0]);
    state.toggleBulkSelection(state.associations()[2]);
    manager->setRegisteredAssociations({assoc(u"pdf"_qs, editor, {editor, viewer}), assoc(u"md"_qs, viewer)});
    state.load();
    EXPECT_EQ(manager->heldCount(), 1);
    manager->releaseNext(Op::applyDefaultApplication);
    state.toggleBulkSelection(state.associations()[0]);
    manager->releaseNext(Op::applyDefaultApplication);
    EXPECT_EQ(manager->heldCount(), 0);
    EXPECT_EQ(state.bulkApplySummary(), BulkAssociationApplySummary(2, 0, 0, 0));
    EXPECT_EQ(extensionsOf(state.associations()), (QStringList{u"pdf"_qs, u"md"_qs}));
    EXPECT_TRUE(state.bulkSelectedAssociations().isEmpty()); // also what was checked meanwhile
}

TEST(StateLifetimeTest, OperationsResumingAfterTheStateIsGoneDoNothing)
{
    auto manager = std::make_shared<ScriptedFileAssociationManager>();
    auto state = std::make_unique<HalvoraState>(manager, ExtensionCatalog::defaultCatalog());
    const FileAssociation pdf = assoc(u"pdf"_qs, viewer, {viewer, editor});
    manager->hold(Op::loadRegisteredAssociations);
    manager->hold(Op::applyDefaultApplication);
    state->load();
    state->confirmBulkPlan(BulkAssociationChangePlan(
        editor, {BulkAssociationChangeRow(pdf, editor, RowStatus::ready, std::nullopt)}));
    state->confirmPendingChange(PendingAssociationChange(pdf, editor));
    state.reset();
    manager->releaseAll();
    EXPECT_EQ(manager->callCount(Op::loadAssociation), 0);
}

TEST_F(StateTest, ChangeTheStoreCouldNotRecordShowsTheRealDefaultAndSaysSo)
{
    const std::pair<const char *, std::function<void()>> cases[] = {
        {"change",
         [&] { state.confirmPendingChange(PendingAssociationChange(listed(state, u"jpg"_qs), editor)); }},
        {"undo", [&] { state.undoRecentChange(); }},
        {"bulk row",
         [&] {
             state.setBulkSelectionEnabled(true);
             state.toggleBulkSelection(listed(state, u"jpeg"_qs));
             state.confirmBulkPlan(state.makeBulkPlan(editor, false));
         }},
    };
    for (const auto &[name, act] : cases) {
        SCOPED_TRACE(name);
        manager->failRecording(nullptr);
        loadWith({jpeg(u"jpg"_qs, viewer), jpeg(u"jpeg"_qs, viewer)},
                 {AssociationChangeRecord(u"r"_qs, u"jpg"_qs, u"image/jpeg"_qs, editor, viewer,
                                          Timestamp(1.0), Status::verified, std::nullopt)});
        const auto history = state.changeHistory();
        manager->failRecording(failure(u"디스크 가득 참"_qs));
        act();
        // Every extension of the type shows the default the system has now.
        EXPECT_EQ(currentOf(state, u"jpeg"_qs), editor);
        EXPECT_EQ(state.changeHistory(), history);
        if (state.bulkApplySummary())
            EXPECT_EQ(state.bulkApplySummary(), BulkAssociationApplySummary(0, 0, 0, 0, 1));
        else
            EXPECT_EQ(state.alertMessage(),
                      u"기본 앱은 바뀌었을 수 있지만 변경 기록을 저장하지 못했습니다: 디스크 가득 참"_qs);
    }
}

TEST_F(StateTest, AnOlderConfirmationKeepsANewerProposalAndAnUndoRunsOncePerRecord)
{
    loadWith({assoc(u"pdf"_qs, editor, {editor, viewer, player})},
             {record(u"1"_qs, u"pdf"_qs, viewer, Status::verified)});
    const auto pdf = state.associations()[0];
    manager->hold(Op::applyDefaultApplication);
    state.requestApply(viewer, pdf);
    state.confirmPendingChange();
    state.requestApply(player, pdf);
    manager->releaseAll();
    EXPECT_EQ(state.pendingChange(), PendingAssociationChange(pdf, player));

    manager->hold(Op::undoChange);
    const auto target = state.changeHistory().last();
    state.undoChange(target);
    state.undoChange(target);
    EXPECT_EQ(manager->callCount(Op::undoChange), 1);
    manager->releaseAll();
    state.undoChange(target);
    EXPECT_EQ(manager->callCount(Op::undoChange), 2);
}

} // namespace
} // namespace halvora::test
