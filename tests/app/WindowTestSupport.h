#pragma once

#include "app/DesktopServices.h"
#include "app/MainWindow.h"
#include "app/SymbolIcons.h"
#include "core/model/ExtensionCatalog.h"
#include "core/model/FileAssociationError.h"
#include "core/state/HalvoraState.h"
#include "support/doubles/ScriptedFileAssociationManager.h"
#include "support/doubles/WaitForTask.h"

#include <QHash>
#include <QList>
#include <QUrl>

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <ostream>

inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace halvora::test {

// The open panel answers what the test queued; an empty queue means "cancelled".
class QueuedApplicationPicker final : public ApplicationPicker {
public:
    std::deque<std::optional<QUrl>> answers;
    int runs = 0;
    std::optional<QUrl> pickApplication(QWidget *) override
    {
        ++runs;
        if (answers.empty())
            return std::nullopt;
        auto answer = answers.front();
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

inline AssociatedApp testApp(const QString &name, const QString &bundle,
                             const QString &dir = u"/usr/share"_qs)
{
    return AssociatedApp(name, bundle, QUrl::fromLocalFile(dir + u"/applications/"_qs + bundle));
}

inline const AssociatedApp viewer = testApp(u"문서 보기"_qs, u"org.example.Viewer.desktop"_qs);
inline const AssociatedApp editor = testApp(u"Text Editor"_qs, u"org.example.Editor.desktop"_qs);
inline const AssociatedApp player = testApp(u"Player"_qs, u"org.example.Player.desktop"_qs);

inline FileAssociation association(const QString &extension, std::optional<AssociatedApp> current,
                                   QList<AssociatedApp> candidates = {})
{
    if (candidates.isEmpty() && current)
        candidates.append(*current);
    return FileAssociation(extension, u"application/x-"_qs + extension, std::move(current),
                           std::move(candidates));
}

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

} // namespace halvora::test
