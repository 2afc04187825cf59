#include "cli/LinuxApplicationDirectory.h"

#include "core/model/FileAssociationError.h"

#include <gio/gdesktopappinfo.h>

namespace halvora::cli {

std::optional<AssociatedApp> LinuxApplicationDirectory::applicationWithId(const QString &desktopFileId) const
{
    const QByteArray id = desktopFileId.toUtf8();
    GDesktopAppInfo *info = g_desktop_app_info_new(id.constData());
    if (!info)
        return std::nullopt;
    const char *filename = g_desktop_app_info_get_filename(info);
    const QString path = filename ? QString::fromLocal8Bit(filename) : QString();
    g_object_unref(info);
    if (path.isEmpty())
        return std::nullopt;
    try {
        return client_->app(QUrl::fromLocalFile(path));
    } catch (const FileAssociationError &) {
        return std::nullopt;
    }
}

AssociatedApp LinuxApplicationDirectory::applicationAt(const QString &absolutePath) const
{
    return client_->app(QUrl::fromLocalFile(absolutePath));
}

} // namespace halvora::cli
