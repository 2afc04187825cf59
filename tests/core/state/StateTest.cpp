#include "core/model/FileAssociationError.h"
#include "core/state/HalvoraState.h"
#include "support/SampleAssociations.h"
#include "support/doubles/ScriptedFileAssociationManager.h"

#include <QMap>
#include <QSignalSpy>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

namespace halvora::test {
namespace {

using Status = AssociationVerificationStatus;
using RowStatus = BulkAssociationRowStatus;
using Op = ScriptedFileAssociationManager::Operation;
using Call = ScriptedFileAssociationManager::Call;

const AssociatedApp viewer = app(u"Document Viewer"_qs, u"org.example.Viewer.desktop"_qs);
const AssociatedApp editor = app(u"text editor"_qs, u"org.example.Editor.desktop"_qs);
const AssociatedApp player = app(u"Player"_qs, u"org.example.Player.desktop"_qs);

AssociationChangeRecord record(const QString &id, const QString &extension,
                               std::optional<AssociatedApp> previous, AssociationVerificationStatus status)
{
    return AssociationChangeRecord(id, extension, u"application/x-"_qs + extension, std::move(previous),
                                   editor, Timestamp(1000.0), status, std::nullopt);
}

FileAssociation listed(const HalvoraState &state, const QString &extension)
{
    for (const auto &a : state.associations()) {
        if (a.fileExtension() == extension)
            return a;
    }
    throw std::logic_error("not listed");
}

using PlannedRow = std::pair<RowStatus, std::optional<QString>>;
QList<PlannedRow> rowsOf(const BulkAssociationChangePlan &plan)
{
    QList<PlannedRow> rows;
    for (const auto &row : plan.rows())
        rows.append({row.status(), row.note()});
    return rows;
}

std::exception_ptr failure(const QString &message)
{
    return std::make_exception_ptr(FileAssociationError::systemFailure(message));
}

class StateTest : public ::testing::Test {
protected:
    void TearDown() override { manager->releaseAll(); }

    // Registers the associations and loads them (unheld calls finish at once).
    void loadWith(QList<FileAssociation> associations, QList<AssociationChangeRecord> history = {})
    {
        manager->setRegisteredAssociations(std::move(associations));
        manager->setHistory(std::move(history));
        state.load();
    }

    std::shared_ptr<ScriptedFileAssociationManager> manager =
        std::make_shared<ScriptedFileAssociationManager>();
    HalvoraState state{manager, ExtensionCatalog::defaultCatalog()};
};

TEST_F(StateTest, LoadSortsOnceRepairsSelectionAndKeepsDataOnFailure)
{
    QList<QStringList> seen;
    QObject::connect(&state, &HalvoraState::associationsChanged,
                     [&] { seen.append(extensionsOf(state.associations())); });
    state.setSearchText(u"zzz"_qs);
    loadWith({assoc(u"zzz"_qs, viewer), assoc(u"md"_qs, editor), assoc(u"pdf"_qs, viewer)});
    const QStringList sorted{u"pdf"_qs, u"md"_qs, u"zzz"_qs};
    EXPECT_EQ(seen, QList<QStringList>{sorted});
    EXPECT_EQ(state.selectedExtension(), u"pdf"_qs); // regardless of the search

    // An unchanged refresh still notifies; an equal load neither notifies nor moves the selection.
    state.setSelectedExtension(u"md"_qs);
    state.refreshSelectedAssociation();
    state.load();
    EXPECT_EQ(seen.size(), 2);
    EXPECT_EQ(state.selectedExtension(), u"md"_qs);

    // A failed list keeps list, history and selection; isLoading goes back to false.
    manager->setHistory({record(u"A"_qs, u"md"_qs, viewer, Status::verified)});
    manager->failRegisteredAssociations(failure(u"목록 실패"_qs));
    state.setSelectedExtension(u"gone"_qs);
    state.load();
    EXPECT_FALSE(state.isLoading());
    EXPECT_EQ(state.alertMessage(), u"목록 실패"_qs);
    EXPECT_EQ(extensionsOf(state.associations()), sorted);
    EXPECT_TRUE(state.changeHistory().isEmpty());
    EXPECT_EQ(state.selectedExtension(), u"gone"_qs);

    // A failed history read keeps the new list, leaves the selection and shows any failure type.
    manager->failRegisteredAssociations(nullptr);
    manager->setRegisteredAssociations({assoc(u"txt"_qs, editor)});
    manager->failChangeHistory(std::make_exception_ptr(std::runtime_error("disk gone")));
    state.load();
    EXPECT_EQ(extensionsOf(state.associations()), QStringList{u"txt"_qs});
    EXPECT_EQ(state.selectedExtension(), u"gone"_qs);
    EXPECT_TRUE(state.alertMessage().has_value());

    manager->failChangeHistory(nullptr);
    manager->setRegisteredAssociations({});
    state.load();
    EXPECT_FALSE(state.alertMessage());
    EXPECT_FALSE(state.selectedExtension());
}

TEST_F(StateTest, AddAndRefreshReplaceEntriesAndReportFailures)
{
    loadWith({assoc(u"pdf"_qs, viewer), assoc(u"zzz"_qs, std::nullopt)});
    state.setSelectedExtension(u"zzz"_qs);
    state.setSearchText(u"z"_qs);

    manager->setAssociation(assoc(u"pdf"_qs, editor));
    state.setAlertMessage(u"old"_qs);
    state.addExtension(u" .PDF"_qs); // the service normalises the text
    // The entry is replaced and the list sorted again.
    const QList<FileAssociation> added{assoc(u"pdf"_qs, editor), assoc(u"zzz"_qs, std::nullopt)};
    EXPECT_EQ(state.associations(), added);
    EXPECT_EQ(state.selectedExtension(), u"pdf"_qs);
    EXPECT_EQ(state.searchText(), QString());
    EXPECT_FALSE(state.alertMessage());

    state.setSearchText(u"p"_qs);
    state.addExtension(QString());
    EXPECT_EQ(state.alertMessage(), u"확장자를 입력하세요."_qs);
    EXPECT_EQ(state.searchText(), u"p"_qs);

    manager->failLoadAssociation(u"pdf"_qs, failure(u"새로고침 실패"_qs));
    state.refreshSelectedAssociation();
    EXPECT_EQ(state.alertMessage(), u"새로고침 실패"_qs);
    EXPECT_EQ(state.associations(), added);

    manager->failLoadAssociation(u"pdf"_qs, nullptr);
    manager->setAssociation(assoc(u"pdf"_qs, player));
    state.refreshSelectedAssociation();
    EXPECT_FALSE(state.alertMessage());
    EXPECT_EQ(state.selectedAssociation(), assoc(u"pdf"_qs, player));
}

// Search looks at four texts only; the history filters at the newest record per extension.
TEST_F(StateTest, SearchAndFiltersPickTheVisibleAssociations)
{
    const AssociatedApp copy = app(u"Viewer"_qs, u"org.example.Viewer.desktop"_qs, u"/opt"_qs);
    loadWith({assoc(u"pdf"_qs, viewer), assoc(u"txt"_qs, editor, {editor, viewer}),
              FileAssociation(u"md"_qs, u"text/markdown"_qs, std::nullopt, {viewer}),
              FileAssociation(u"csv"_qs, u"text/csv"_qs, copy, {})},
             {record(u"4"_qs, u"txt"_qs, viewer, Status::undoVerified),
              record(u"3"_qs, u"md"_qs, viewer, Status::apiFailed),
              record(u"2"_qs, u"txt"_qs, viewer, Status::verificationFailed)});
    using F = AssociationFilter;
    auto visible = [&](AssociationFilter filter, const QString &text) {
        state.setAssociationFilter(filter);
        state.setSearchText(text);
        return extensionsOf(state.visibleAssociations());
    };
    EXPECT_EQ(visible(F::all, u" \n PDF\t"_qs), QStringList{u"pdf"_qs});
    EXPECT_EQ(visible(F::all, u"EXAMPLE.viewer"_qs), (QStringList{u"pdf"_qs, u"csv"_qs})); // not candidates
    EXPECT_EQ(visible(F::all, u"text/"_qs), (QStringList{u"md"_qs, u"csv"_qs}));
    EXPECT_EQ(visible(F::all, u"document v"_qs), QStringList{u"pdf"_qs});
    EXPECT_EQ(visible(F::all, u"/opt"_qs), QStringList{}); // the location is not searched
    EXPECT_EQ(visible(F::missingDefaultApplication, u"text"_qs), QStringList{u"md"_qs});
    EXPECT_EQ(visible(F::missingCandidateApps, {}), QStringList{u"csv"_qs});
    EXPECT_EQ(visible(F::recentlyChanged, {}), (QStringList{u"txt"_qs, u"md"_qs}));
    EXPECT_EQ(visible(F::verificationFailed, {}), QStringList{u"md"_qs});

    QSignalSpy searched(&state, &HalvoraState::searchTextChanged);
    state.setSearchText(state.searchText()); // an equal value is stored silently
    EXPECT_EQ(searched.count(), 0);
}

// The order of groups is the model's; here: which groups there are, and expansion.
TEST_F(StateTest, GroupingsAndTheirExpansion)
{
    const AssociatedApp copy = app(u"Player"_qs, u"org.example.Player.desktop"_qs, u"/opt"_qs);
    loadWith({assoc(u"zzz"_qs, std::nullopt), assoc(u"xxx"_qs, std::nullopt), assoc(u"mp4"_qs, player),
              assoc(u"mkv"_qs, copy), assoc(u"rtf"_qs, editor), assoc(u"md"_qs, editor)});
    const auto groups = state.applicationGroupedVisibleAssociations();
    QMap<QString, QStringList> members; // the same app at two locations makes two groups
    for (const auto &group : groups)
        members.insert(group.id(), extensionsOf(group.associations()));
    EXPECT_EQ(members,
              (QMap<QString, QStringList>{{editor.id(), {u"md"_qs, u"rtf"_qs}},
                                          {player.id(), {u"mp4"_qs}},
                                          {copy.id(), {u"mkv"_qs}},
                                          {AppAssociationGroup::unassignedID, {u"xxx"_qs, u"zzz"_qs}}}));
    EXPECT_TRUE(state.displayedAssociations(groups.last()).isEmpty());
    state.toggleApplicationGroup(AppAssociationGroup::unassignedID);
    EXPECT_EQ(state.displayedAssociations(groups.last()), groups.last().associations());

    state.setSearchText(u"md"_qs);
    const auto categories = state.groupedVisibleAssociations();
    ASSERT_EQ(categories.size(), 2);
    state.toggleGroup(ExtensionCategory::documents);
    state.load(); // expansion survives loads and searches
    EXPECT_EQ(extensionsOf(state.displayedAssociations(categories[1])), QStringList{u"md"_qs});
    EXPECT_TRUE(state.displayedAssociations(categories[0]).isEmpty());
    state.toggleGroup(ExtensionCategory::documents);
    EXPECT_TRUE(state.displayedAssociations(categories[1]).isEmpty());
}

#ifndef QT_NO_DEBUG
TEST(StateThreadDeathTest, UseFromAnotherThreadAssertsNamingTheOperation)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto manager = std::make_shared<ScriptedFileAssociationManager>();
    HalvoraState state(manager, ExtensionCatalog::defaultCatalog());
    EXPECT_DEATH(
        {
            std::unique_ptr<QThread> thread(
                QThread::create([&] { state.toggleGroup(ExtensionCategory::data); }));
            thread->start();
            thread->wait();
        },
        "toggleGroup");
}
#endif

FileAssociation jpeg(const QString &extension, const AssociatedApp &current)
{
    return FileAssociation(extension, u"image/jpeg"_qs, current, {viewer, editor});
}

TEST_F(StateTest, ConfirmReportsOutcomesAndKeepsStateOnFailure)
{
    loadWith({assoc(u"pdf"_qs, viewer, {viewer, editor}), assoc(u"txt"_qs, editor, {editor, viewer})});
    const auto txt = state.associations()[1];

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

    // Nothing left to undo, nothing pending, nothing selected: the system is not asked.
    manager->clearCalls();
    state.undoRecentChange();
    state.confirmPendingChange();
    state.setSelectedExtension(std::nullopt);
    state.refreshSelectedAssociation();
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
    const QString noUndo = u"이전 기본 앱이 없어 되돌리기 대상은 저장되지 않습니다."_qs;

    EXPECT_TRUE(state.commonCandidateAppsForBulkSelection().isEmpty());
    state.setBulkSelectionEnabled(true);
    for (const auto &extension : {u"pdf"_qs, u"txt"_qs, u"pdf"_qs, u"pdf"_qs})
        state.toggleBulkSelection(listed(state, extension));
    EXPECT_EQ(extensionsOf(state.bulkSelectedAssociations()), (QStringList{u"txt"_qs, u"pdf"_qs}));

    // Same bundle identifier means same app; names and locations come from the first
    // checked association, where the later duplicate wins.
    EXPECT_EQ(state.commonCandidateAppsForBulkSelection(),
              (QList<AssociatedApp>{viewerElsewhere, player, editor}));

    state.toggleBulkSelection(listed(state, u"csv"_qs));
    state.toggleBulkSelection(listed(state, u"md"_qs));
    EXPECT_TRUE(state.commonCandidateAppsForBulkSelection().isEmpty());

    EXPECT_EQ(rowsOf(state.makeBulkPlan(viewerElsewhere, false)),
              (QList<PlannedRow>{{RowStatus::ready, std::nullopt},
                                 {RowStatus::skipped, u"이미 현재 기본 앱입니다."_qs},
                                 {RowStatus::ready, noUndo},
                                 {RowStatus::blocked, u"선택한 앱이 이 확장자의 호환 후보에 없습니다."_qs}}));
    EXPECT_EQ(rowsOf(state.makeBulkPlan(viewerElsewhere, true))[3], PlannedRow(RowStatus::ready, noUndo));

    // An extension that drops out of the list stays checked but is left out.
    manager->setRegisteredAssociations(
        {listed(state, u"pdf"_qs), listed(state, u"txt"_qs), listed(state, u"md"_qs)});
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
    EXPECT_EQ(listed(state, u"jpeg"_qs).currentApp(), viewer);
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
        EXPECT_EQ(listed(state, u"jpeg"_qs).currentApp(), editor);
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
