#include "app/DesktopServices.h"

#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QStringList>
#include <QTreeView>

namespace halvora {

std::unique_ptr<QFileDialog> FileDialogApplicationPicker::makePanel(QWidget *parent)
{
    // Qt's own dialog, so that the accept button reads "선택" whatever the desktop's
    // native dialog would call it.
    auto dialog = std::make_unique<QFileDialog>(parent);
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setOption(QFileDialog::ReadOnly, true);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setNameFilter(QStringLiteral("*.desktop"));
    dialog->setDirectory(startDirectory);
    dialog->setLabelText(QFileDialog::Accept, QStringLiteral("선택"));
    // The detail view, with room for its name, size, type and date columns without cutting any.
    dialog->setViewMode(QFileDialog::Detail);
    dialog->resize(dialog->sizeHint().expandedTo(QSize(880, 520)));
    // The name takes the free width; size, type and date are as wide as what they show.
    if (auto *view = dialog->findChild<QTreeView *>()) {
        QHeaderView *header = view->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(QHeaderView::ResizeToContents);
        header->setSectionResizeMode(0, QHeaderView::Stretch);
    }
    return dialog;
}

std::optional<QUrl> FileDialogApplicationPicker::pickApplication(QWidget *parent)
{
    const std::unique_ptr<QFileDialog> dialog = makePanel(parent);
    if (dialog->exec() != QDialog::Accepted)
        return std::nullopt;
    const QList<QUrl> urls = dialog->selectedUrls();
    if (urls.isEmpty() || !urls.first().isValid())
        return std::nullopt;
    return urls.first();
}

namespace {

void openContainingFolder(const QUrl &fileUrl)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(fileUrl.toLocalFile()).absolutePath()));
}

} // namespace

void DBusFileManagerRevealer::reveal(const QUrl &fileUrl)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openContainingFolder(fileUrl);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{fileUrl.toString(QUrl::FullyEncoded)} << QString();
    // Asynchronous, so that a slow or absent file manager never stalls the window.
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [fileUrl](QDBusPendingCallWatcher *w) {
                         if (w->isError())
                             openContainingFolder(fileUrl);
                         w->deleteLater();
                     });
}

void SystemClipboardWriter::setText(const QString &text)
{
    QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
}

DesktopServices makeDesktopServices(ApplicationDescriber describeApplication)
{
    return DesktopServices{std::make_shared<FileDialogApplicationPicker>(),
                           std::make_shared<DBusFileManagerRevealer>(),
                           std::make_shared<SystemClipboardWriter>(), std::move(describeApplication)};
}

} // namespace halvora
