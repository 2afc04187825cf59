#include "linux/desktop/GioDesktopEntries.h"

#include "linux/mimeapps/GlibHandles.h"

#include <gio/gdesktopappinfo.h>

#include <QFile>
#include <QFileInfo>

namespace halvora {

std::optional<QString> desktopEntryIconName(const QUrl &desktopEntry)
{
    // Only regular files (or links to them) reach GIO: opening a FIFO or device named like a
    // desktop entry would block or read forever.
    if (!desktopEntry.isLocalFile() || !QFileInfo(desktopEntry.toLocalFile()).isFile())
        return std::nullopt;
    const glib::Object<GDesktopAppInfo> info(
        g_desktop_app_info_new_from_filename(QFile::encodeName(desktopEntry.toLocalFile()).constData()));
    if (!info)
        return std::nullopt;
    GIcon *icon = g_app_info_get_icon(G_APP_INFO(info.get()));
    if (!icon)
        return std::nullopt;
    const glib::String name(g_icon_to_string(icon));
    if (!name)
        return std::nullopt;
    return glib::text(name.get());
}

} // namespace halvora
