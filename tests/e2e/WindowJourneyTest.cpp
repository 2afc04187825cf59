// The real program, as a person would use it: the real client and SQLite store behind the
// real window on the offscreen platform, in an isolated desktop tree that main() builds
// before anything calls glib.

#include "app/AssociationDetailView.h"
#include "app/sheets/BulkPreviewSheet.h"
#include "e2e/RunningProgram.h"
#include "support/fixtures/GioMime.h"
#include "support/fixtures/StandardFixture.h"

#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>

namespace halvora {
namespace {

using test::patience;
using test::processEventsUntil;
using Program = test::RunningProgram;

test::XdgFixture *tree = nullptr;

std::optional<QString> gioDefault(const QString &contentType)
{
    return test::queryGioMime(tree->environment(), contentType).defaultApplication;
}

QAbstractButton *buttonWithText(QWidget *within, const QString &text)
{
    if (!within)
        return nullptr;
    for (QAbstractButton *b : within->findChildren<QAbstractButton *>()) {
        if (b->text() == text && b->isVisible())
            return b;
    }
    return nullptr;
}

bool hasLabel(QWidget *within, const QString &text)
{
    for (QLabel *label : within->findChildren<QLabel *>()) {
        if (label->text() == text)
            return true;
    }
    return false;
}

// The candidate row of the detail pane that names this application.
QWidget *candidateRow(MainWindow &window, const QString &name)
{
    for (QWidget *row : window.detail()->findChildren<QWidget *>(u"candidateRow"_qs)) {
        if (hasLabel(row, name))
            return row;
    }
    return nullptr;
}

// Each step's rules and texts are the state and window tests' part; here the real stack
// behind the window carries them to GIO and across a restart.
TEST(WindowJourney, ChangeUndoBulkApplyAndRestart)
{
    using namespace test::standard;
    QList<AssociationChangeRecord> historyBeforeQuit;
    {
        Program program(ChangeCommandsOptions{std::nullopt});
        ASSERT_TRUE(program.listed(u"pdf"_qs));

        program.state().setSelectedExtension(u"pdf"_qs);
        QWidget *browserRow = nullptr;
        ASSERT_TRUE(processEventsUntil(
            [&] { return (browserRow = candidateRow(program.window, u"Web Browser"_qs)); }, patience));
        browserRow->findChild<QAbstractButton *>(u"applyButton"_qs)->click();
        ASSERT_TRUE(processEventsUntil(
            [&] { return program.currentKey() == ChangeCommands::confirmChangeAlertKey; }, patience));
        EXPECT_EQ(program.current()->windowTitle(), u"기본 앱 변경"_qs);
        buttonWithText(program.current(), u"적용"_qs)->click();

        ASSERT_TRUE(processEventsUntil(
            [&] {
                QWidget *row = candidateRow(program.window, u"Web Browser"_qs);
                return program.state().changeHistory().size() == 1 && row &&
                       row->findChild<QLabel *>(u"currentMark"_qs);
            },
            patience));
        EXPECT_EQ(gioDefault(u"application/pdf"_qs), browser);
        EXPECT_EQ(program.state().changeHistory().first().verificationStatus(),
                  AssociationVerificationStatus::verified);

        program.commands->undoAction()->trigger();
        ASSERT_TRUE(processEventsUntil(
            [&] {
                return !program.state().changeHistory().isEmpty() &&
                       program.state().changeHistory().first().verificationStatus() ==
                           AssociationVerificationStatus::undoVerified &&
                       !program.state().isLoading();
            },
            patience));
        EXPECT_EQ(gioDefault(u"application/pdf"_qs), documentViewer);

        // md already opens with the editor (skipped), pdf cannot (blocked), txt can.
        const AssociatedApp editor = *program.listed(u"md"_qs)->currentApp();
        ASSERT_EQ(editor.bundleIdentifier(), textEditor);
        program.commands->bulkModeAction()->trigger();
        ASSERT_TRUE(program.state().isBulkSelectionEnabled());
        for (const QString &extension : {u"md"_qs, u"pdf"_qs, u"txt"_qs})
            program.state().toggleBulkSelection(*program.listed(extension));
        program.state().requestBulkPlan(editor, false);
        ASSERT_TRUE(processEventsUntil(
            [&] { return program.currentKey() == ChangeCommands::bulkPreviewSheetKey; }, patience));
        program.commands->bulkPreview()->applyButton()->click();
        ASSERT_TRUE(processEventsUntil(
            [&] { return program.currentKey() == ChangeCommands::bulkResultAlertKey; }, patience));
        auto *result = qobject_cast<QMessageBox *>(program.current());
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(result->text(), u"검증 완료 1개, 실패 0개, 건너뜀 1개, 확인 필요 1개"_qs);
        EXPECT_EQ(gioDefault(u"text/plain"_qs), textEditor);
        buttonWithText(result, u"확인"_qs)->click();

        historyBeforeQuit = program.state().changeHistory();
        EXPECT_EQ(historyBeforeQuit.size(), 2);
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
