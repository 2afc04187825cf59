#pragma once

#include "app/DesktopServices.h"
#include "app/MainWindow.h"
#include "app/PresentationQueue.h"
#include "app/SymbolIcons.h"
#include "app/commands/ChangeCommands.h"
#include "core/model/ExtensionCatalog.h"
#include "core/model/FileAssociationError.h"
#include "core/state/HalvoraState.h"
#include "support/SampleAssociations.h"
#include "support/doubles/ScriptedFileAssociationManager.h"
#include "support/doubles/WaitForTask.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

namespace halvora::test {

using Op = ScriptedFileAssociationManager::Operation;
using Status = AssociationVerificationStatus;

// The open panel answers what the test queued (none left: cancelled); reveals, copies recorded.
class RecordingDesktop final : public ApplicationPicker, public FileManagerRevealer, public ClipboardWriter {
public:
    QList<std::optional<QUrl>> answers;
    QList<QUrl> revealed;
    QList<QString> copied;
    std::optional<QUrl> pickApplication(QWidget *) override
    {
        return answers.isEmpty() ? std::nullopt : answers.takeFirst();
    }
    void reveal(const QUrl &fileUrl) override { revealed.append(fileUrl); }
    void setText(const QString &text) override { copied.append(text); }
};

inline const AssociatedApp viewer = app(u"문서 보기"_qs, u"org.example.Viewer.desktop"_qs);
inline const AssociatedApp editor = app(u"Text Editor"_qs, u"org.example.Editor.desktop"_qs);
inline const AssociatedApp player = app(u"Player"_qs, u"org.example.Player.desktop"_qs);
// The one entry outside /usr/share that the describer knows; any other has no identifier.
inline const AssociatedApp tool = app(u"Tool"_qs, u"org.other.Tool.desktop"_qs, u"/opt"_qs);

// A window over a scripted service and a recording desktop, not shown (nothing loaded) yet.
class WindowTest : public ::testing::Test {
protected:
    WindowTest() { ensureIconTheme(); }

    void TearDown() override { manager->releaseAll(); }

    MainWindow &window()
    {
        if (!window_)
            window_ = std::make_unique<MainWindow>(state, services);
        return *window_;
    }

    // Shows the window, loaded with these associations and this history.
    void showWith(QList<FileAssociation> associations, QList<AssociationChangeRecord> history = {})
    {
        manager->setRegisteredAssociations(std::move(associations));
        manager->setHistory(std::move(history));
        window().resize(MainWindow::minimumWidth, MainWindow::minimumHeight);
        window().show();
        ASSERT_TRUE(processEventsUntil([&] { return !state.isLoading() && window().isVisible(); }));
    }

    std::shared_ptr<ScriptedFileAssociationManager> manager =
        std::make_shared<ScriptedFileAssociationManager>();
    HalvoraState state{manager, ExtensionCatalog::defaultCatalog()};
    std::shared_ptr<RecordingDesktop> desktop = std::make_shared<RecordingDesktop>();
    DesktopServices services{desktop, desktop, desktop, [](const QUrl &url) {
                                 if (url != tool.url())
                                     throw FileAssociationError::appMissingBundleIdentifier(
                                         url.toLocalFile());
                                 return tool;
                             }};

private:
    std::unique_ptr<MainWindow> window_;
};

inline AssociationChangeRecord record(const QString &id, const QString &extension,
                                      std::optional<AssociatedApp> previous, Status status,
                                      std::optional<QString> message = std::nullopt)
{
    return AssociationChangeRecord(id, extension, u"application/x-"_qs + extension, std::move(previous),
                                   editor, Timestamp(800000000.0), status, std::move(message));
}

// The window with its change commands, shown and loaded with pdf, txt and md.
class ChangeCommandTest : public WindowTest {
protected:
    void SetUp() override
    {
        commands = installChangeCommands(window(), ChangeCommandsOptions{std::nullopt});
        showWith({
            assoc(u"pdf"_qs, viewer, {viewer, editor}),
            assoc(u"txt"_qs, editor, {editor, viewer, player}),
            assoc(u"md"_qs, std::nullopt, {editor}),
        });
    }

    const FileAssociation &listed(const QString &extension) const
    {
        return *std::ranges::find(state.associations(), extension, &FileAssociation::fileExtension);
    }

    QDialog *current() { return window().presentations().currentDialog(); }
    QString currentKey() { return window().presentations().currentKey(); }

    void checkForBulk(const QStringList &extensions)
    {
        state.setBulkSelectionEnabled(true);
        for (const QString &extension : extensions)
            state.toggleBulkSelection(listed(extension));
    }

    ChangeCommands *commands = nullptr;
};

} // namespace halvora::test
