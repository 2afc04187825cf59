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

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QDialog>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <stdexcept>

namespace halvora::test {

using Op = ScriptedFileAssociationManager::Operation;

// The open panel answers what the test queued; an empty queue means "cancelled".
class QueuedApplicationPicker final : public ApplicationPicker {
public:
    std::deque<std::optional<QUrl>> answers;
    int runs = 0;
    std::optional<QUrl> pickApplication(QWidget *) override
    {
        ++runs;
        const std::optional<QUrl> answer = answers.empty() ? std::nullopt : answers.front();
        if (!answers.empty())
            answers.pop_front();
        return answer;
    }
};

class RecordingRevealer final : public FileManagerRevealer {
public:
    QList<QUrl> revealed;
    void reveal(const QUrl &fileUrl) override { revealed.append(fileUrl); }
};

class RecordingClipboard final : public ClipboardWriter {
public:
    QList<QString> texts;
    void setText(const QString &text) override { texts.append(text); }
};

inline const AssociatedApp viewer = app(u"문서 보기"_qs, u"org.example.Viewer.desktop"_qs);
inline const AssociatedApp editor = app(u"Text Editor"_qs, u"org.example.Editor.desktop"_qs);
inline const AssociatedApp player = app(u"Player"_qs, u"org.example.Player.desktop"_qs);

// A window over a scripted service and recording desktop services. The window is not
// shown (so nothing is loaded) until a test calls show().
class WindowTest : public ::testing::Test {
protected:
    WindowTest()
    {
        ensureIconTheme();
        services.applicationPicker = picker;
        services.fileManagerRevealer = revealer;
        services.clipboardWriter = clipboard;
        services.describeApplication = [this](const QUrl &url) -> AssociatedApp {
            const auto it = describable.constFind(url);
            if (it == describable.constEnd())
                throw FileAssociationError::appMissingBundleIdentifier(url.toLocalFile());
            return *it;
        };
    }

    void TearDown() override { manager->releaseAll(); }

    MainWindow &window()
    {
        if (!window_)
            window_ = std::make_unique<MainWindow>(state, services);
        return *window_;
    }

    // Shows the window with these associations (each group expanded when asked).
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
    std::shared_ptr<QueuedApplicationPicker> picker = std::make_shared<QueuedApplicationPicker>();
    std::shared_ptr<RecordingRevealer> revealer = std::make_shared<RecordingRevealer>();
    std::shared_ptr<RecordingClipboard> clipboard = std::make_shared<RecordingClipboard>();
    QHash<QUrl, AssociatedApp> describable;
    DesktopServices services;

private:
    std::unique_ptr<MainWindow> window_;
};

// What a screen reader announces for a control: its accessible name and description.
inline std::pair<QString, QString> announced(QWidget *widget)
{
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(widget);
    return accessible
               ? std::pair(accessible->text(QAccessible::Name), accessible->text(QAccessible::Description))
               : std::pair<QString, QString>();
}

inline AssociationChangeRecord record(const QString &id, const QString &extension,
                                      std::optional<AssociatedApp> previous,
                                      AssociationVerificationStatus status,
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
        for (const FileAssociation &a : state.associations())
            if (a.fileExtension() == extension)
                return a;
        throw std::runtime_error("not listed");
    }

    QDialog *current() { return window().presentations().currentDialog(); }
    QString currentKey() { return window().presentations().currentKey(); }

    // The dialog's button with this exact text, or null.
    static QAbstractButton *button(QWidget *dialog, const QString &text)
    {
        for (QAbstractButton *b : dialog->findChildren<QAbstractButton *>())
            if (b->text() == text)
                return b;
        return nullptr;
    }

    static QStringList menuTexts(QMenu *menu)
    {
        QStringList texts;
        for (QAction *action : menu->actions())
            texts.append(action->isSeparator() ? u"---"_qs : action->text());
        return texts;
    }

    void checkForBulk(const QStringList &extensions)
    {
        state.setBulkSelectionEnabled(true);
        for (const QString &extension : extensions)
            state.toggleBulkSelection(listed(extension));
    }

    ChangeCommands *commands = nullptr;
};

} // namespace halvora::test
