#pragma once

// The whole program as main() builds it (real client, SQLite store on the default file,
// window on the offscreen platform), for the tests that drive it from outside.

#include "app/ApplicationGraph.h"
#include "app/MainWindow.h"
#include "app/PresentationQueue.h"
#include "app/commands/ChangeCommands.h"
#include "core/state/HalvoraState.h"
#include "support/TestIsolation.h"
#include "support/doubles/WaitForTask.h"
#include "support/fixtures/XdgFixture.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>

#include <gtest/gtest.h>

namespace halvora::test {

// One run: the object graph and its window with the change commands, shown and loaded.
struct RunningProgram {
    explicit RunningProgram(ChangeCommandsOptions options = {})
        : commands(installChangeCommands(window, std::move(options)))
    {
        window.resize(MainWindow::minimumWidth, MainWindow::minimumHeight);
        window.show();
        EXPECT_TRUE(processEventsUntil([this] { return !state().isLoading(); }));
    }

    HalvoraState &state() const { return graph.state(); }
    QString currentKey() const { return window.presentations().currentKey(); }
    QDialog *current() const { return window.presentations().currentDialog(); }

    std::optional<FileAssociation> listed(const QString &extension) const
    {
        for (const FileAssociation &association : state().associations())
            if (association.fileExtension() == extension)
                return association;
        return std::nullopt;
    }

    // The error alert's text as the window shows it; dismissing it must clear the state's
    // message. Empty when the operation that just ended left no message: the state sets it
    // before its task ends, so no waiting decides that.
    std::optional<QString> dismissAlert()
    {
        if (!state().alertMessage())
            return std::nullopt;
        EXPECT_TRUE(processEventsUntil([this] { return currentKey() == MainWindow::errorAlertKey; }));
        auto *alert = qobject_cast<QMessageBox *>(current());
        EXPECT_NE(alert, nullptr);
        const QString shown = alert ? alert->text() : QString();
        EXPECT_EQ(state().alertMessage(), shown);
        current()->reject();
        EXPECT_TRUE(processEventsUntil([this] { return !state().alertMessage(); }));
        return shown;
    }

    // Confirms a change of the listed extension to the candidate with this desktop ID.
    void apply(const QString &extension, const QString &desktopId)
    {
        const std::optional<FileAssociation> association = listed(extension);
        ASSERT_TRUE(association) << extension.toStdString();
        for (const AssociatedApp &app : association->candidateApps())
            if (app.bundleIdentifier() == desktopId)
                return waitForTask(state().confirmPendingChange(PendingAssociationChange(*association, app)));
        FAIL() << desktopId.toStdString() << " is no candidate of " << extension.toStdString();
    }

    ApplicationGraph graph;
    MainWindow window{graph.state(), makeDesktopServices(&ApplicationGraph::describeApplication)};
    ChangeCommands *commands;
};

// main() of these tests: the standard desktop tree, built before anything calls glib.
inline int runOnStandardDesktop(int argc, char **argv, XdgFixture *&tree)
{
    XdgFixture fixture(isolateUserEnvironment());
    fixture.addStandardContents();
    fixture.commit();
    tree = &fixture;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    prepareApplication();
    ::testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    tree = nullptr;
    return status;
}

} // namespace halvora::test
