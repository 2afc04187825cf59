// The real program in an isolated desktop tree that main() builds before anything calls glib
// (glib reads XDG once); ctest runs each test in a process of its own.

#include "app/sheets/BulkPreviewSheet.h"
#include "e2e/RunningProgram.h"
#include "support/SampleAssociations.h"
#include "support/fixtures/DesktopService.h"
#include "support/fixtures/GioMime.h"
#include "support/fixtures/StandardFixture.h"

#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>

namespace halvora {
namespace {

using test::processEventsUntil;
using test::waitForTask;
using Program = test::RunningProgram;

test::XdgFixture *tree = nullptr;

std::optional<QString> gioDefault(const QString &contentType)
{
    return test::queryGioMime(tree->environment(), contentType).defaultApplication;
}

QString currentId(const FileAssociation &association)
{
    return association.currentApp() ? association.currentApp()->bundleIdentifier() : QString();
}

// Other processes change the desktop's associations while the service runs: every load
// afterwards must answer from the files as they are now. Every kind of change (in place,
// renamed, entries, caches), many rounds and the agreement with GIO are the resolver's
// freshness test; here `gio mime` changes reach the service's full and single loads.
TEST(OutsideChanges, EveryLoadAfterAnotherProcessChangedTheDesktopSeesTheChange)
{
    const auto service = test::makeDesktopService();
    const QList<FileAssociation> before = waitForTask(service->loadRegisteredAssociations());
    ASSERT_FALSE(test::extensionsOf(before).contains(u"epub"_qs));
    ASSERT_EQ(currentId(waitForTask(service->loadAssociation(u"md"_qs))), test::standard::textEditor);

    // `gio mime TYPE APP` renames a new list over the user's one, registering a new type.
    test::setDefaultWithGioMime(tree->environment(), u"application/epub+zip"_qs,
                                test::standard::documentViewer);
    const QList<FileAssociation> after = waitForTask(service->loadRegisteredAssociations());
    const qsizetype epub = test::extensionsOf(after).indexOf(u"epub"_qs);
    ASSERT_GE(epub, 0);
    EXPECT_EQ(currentId(after[epub]), test::standard::documentViewer);
    EXPECT_EQ(after.size(), before.size() + 1);
    test::setDefaultWithGioMime(tree->environment(), u"text/markdown"_qs, test::standard::notes);
    EXPECT_EQ(currentId(waitForTask(service->loadAssociation(u"md"_qs))), test::standard::notes);
}

// Each step's rules, texts and buttons are the state and window tests' part; here the real
// stack behind the window carries them to GIO and across a restart.
TEST(WindowJourney, ChangeUndoBulkApplyAndRestart)
{
    using namespace test::standard;
    QList<AssociationChangeRecord> historyBeforeQuit;
    {
        Program program(ChangeCommandsOptions{std::nullopt});
        program.apply(u"pdf"_qs, browser);
        EXPECT_EQ(gioDefault(u"application/pdf"_qs), browser);
        EXPECT_EQ(program.state().changeHistory().first().verificationStatus(),
                  AssociationVerificationStatus::verified);

        waitForTask(program.state().undoRecentChange());
        EXPECT_EQ(program.state().changeHistory().first().verificationStatus(),
                  AssociationVerificationStatus::undoVerified);
        EXPECT_EQ(gioDefault(u"application/pdf"_qs), documentViewer);

        // md already opens with the editor (skipped), pdf cannot (blocked), txt can.
        const AssociatedApp editor = program.listed(u"md"_qs).value().currentApp().value();
        program.commands->bulkModeAction()->trigger();
        for (const QString &extension : {u"md"_qs, u"pdf"_qs, u"txt"_qs})
            program.state().toggleBulkSelection(*program.listed(extension));
        program.state().requestBulkPlan(editor, false);
        ASSERT_TRUE(
            processEventsUntil([&] { return program.currentKey() == ChangeCommands::bulkPreviewSheetKey; }));
        program.commands->bulkPreview()->applyButton()->click();
        ASSERT_TRUE(
            processEventsUntil([&] { return program.currentKey() == ChangeCommands::bulkResultAlertKey; }));
        auto *result = qobject_cast<QMessageBox *>(program.current());
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(result->text(), u"검증 완료 1개, 실패 0개, 건너뜀 1개, 확인 필요 1개"_qs);
        EXPECT_EQ(gioDefault(u"text/plain"_qs), textEditor);
        result->accept();

        historyBeforeQuit = program.state().changeHistory();
        program.window.close();
    }

    Program again(ChangeCommandsOptions{std::nullopt});
    EXPECT_EQ(again.state().changeHistory(), historyBeforeQuit);
}

} // namespace
} // namespace halvora

int main(int argc, char **argv)
{
    return halvora::test::runOnStandardDesktop(argc, argv, halvora::tree);
}
