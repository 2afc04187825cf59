#include "StateTestSupport.h"

#include <QMap>
#include <QThread>

#include <stdexcept>

namespace halvora::test {
namespace {

using Status = AssociationVerificationStatus;

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
    EXPECT_EQ(state.associations(), added);
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

    state.setSelectedExtension(std::nullopt);
    manager->clearCalls();
    state.refreshSelectedAssociation();
    EXPECT_TRUE(manager->calls().isEmpty());
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
    EXPECT_EQ(visible(F::all, u"   "_qs).size(), 4);
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

} // namespace
} // namespace halvora::test
