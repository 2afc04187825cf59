#pragma once

#include "core/model/Models.h"

#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class QFileDialog;
class QWidget;

namespace halvora {

// The few places where the window acts on the desktop outside the state. Each sits behind
// a small interface so that widget tests can answer the open panel and observe a reveal or
// a copy; the real implementations are made by makeDesktopServices().

// The open panel for choosing an application: desktop entries only.
class ApplicationPicker {
public:
    virtual ~ApplicationPicker() = default;
    // Runs modally on the main thread. Empty when the user cancels or picks nothing.
    virtual std::optional<QUrl> pickApplication(QWidget *parent) = 0;
};

// Shows a file selected in the user's file manager.
class FileManagerRevealer {
public:
    virtual ~FileManagerRevealer() = default;
    // Returns at once; the file manager is asked in the background. Never fails visibly.
    virtual void reveal(const QUrl &fileUrl) = 0;
};

// The system clipboard, as plain text.
class ClipboardWriter {
public:
    virtual ~ClipboardWriter() = default;
    // Replaces whatever the clipboard held with this text alone.
    virtual void setText(const QString &text) = 0;
};

// Describes the desktop entry at a file URL as an application; throws a LocalizedError
// (for example appMissingBundleIdentifier) when it is not one. Each call asks the system
// anew, with a fresh client configured like the one the service uses.
using ApplicationDescriber = std::function<AssociatedApp(const QUrl &url)>;

struct DesktopServices {
    std::shared_ptr<ApplicationPicker> applicationPicker;
    std::shared_ptr<FileManagerRevealer> fileManagerRevealer;
    std::shared_ptr<ClipboardWriter> clipboardWriter;
    ApplicationDescriber describeApplication;
};

// The open panel over QFileDialog, starting at /usr/share/applications, accept button "선택".
class FileDialogApplicationPicker final : public ApplicationPicker {
public:
    static inline const QString startDirectory = QStringLiteral("/usr/share/applications");
    std::optional<QUrl> pickApplication(QWidget *parent) override;
    // The panel as pickApplication() runs it, not yet shown.
    static std::unique_ptr<QFileDialog> makePanel(QWidget *parent);
};

// org.freedesktop.FileManager1.ShowItems on the session bus; when no file manager answers,
// the containing folder is opened with the desktop's default handler instead.
class DBusFileManagerRevealer final : public FileManagerRevealer {
public:
    void reveal(const QUrl &fileUrl) override;
};

class SystemClipboardWriter final : public ClipboardWriter {
public:
    void setText(const QString &text) override;
};

// The real picker, revealer and clipboard, with the given describer.
DesktopServices makeDesktopServices(ApplicationDescriber describeApplication);

} // namespace halvora
