#include "linux/desktop/GioDesktopEntries.h"

#include "core/model/FileAssociationError.h"
#include "linux/desktop/GioChangeSync.h"
#include "linux/desktop/GlibHandles.h"
#include "linux/mimeapps/MimeAppsWriter.h"

#include <gio/gdesktopappinfo.h>

#include <QFile>
#include <QFileInfo>

namespace halvora {

namespace {

// Only regular files (or links to them) reach GIO: opening a FIFO or device named like a
// desktop entry would block or read forever.
glib::Object<GDesktopAppInfo> loadFile(const QUrl &url)
{
    if (!url.isLocalFile())
        return nullptr;
    const QString path = url.toLocalFile();
    if (!QFileInfo(path).isFile())
        return nullptr;
    return glib::Object<GDesktopAppInfo>(
        g_desktop_app_info_new_from_filename(QFile::encodeName(path).constData()));
}

std::optional<QString> keyValue(gchar *owned)
{
    const glib::String value(owned);
    if (!value)
        return std::nullopt;
    return glib::text(value.get());
}

DesktopEntry describe(GDesktopAppInfo *info, const QUrl &url)
{
    DesktopEntry entry{url, std::nullopt, std::nullopt, std::nullopt};
    // A hidden entry is one the user or vendor deleted: it launches nothing.
    if (const char *id = g_app_info_get_id(G_APP_INFO(info)); id && !g_desktop_app_info_get_is_hidden(info))
        entry.identifier = glib::text(id);
    entry.localizedName = keyValue(g_desktop_app_info_get_locale_string(info, G_KEY_FILE_DESKTOP_KEY_NAME));
    entry.name = keyValue(g_desktop_app_info_get_string(info, G_KEY_FILE_DESKTOP_KEY_NAME));
    return entry;
}

// GIO on Linux answers only with desktop entries; anything without a file is skipped.
std::optional<DesktopEntry> describeListed(GAppInfo *info)
{
    if (!info || !G_IS_DESKTOP_APP_INFO(info))
        return std::nullopt;
    GDesktopAppInfo *desktop = G_DESKTOP_APP_INFO(info);
    const char *filename = g_desktop_app_info_get_filename(desktop);
    if (!filename)
        return std::nullopt;
    return describe(desktop, QUrl::fromLocalFile(QFile::decodeName(filename)));
}

QByteArray utf8(const QString &text)
{
    return text.toUtf8();
}

} // namespace

std::optional<DesktopEntry> GioDesktopEntries::read(const QUrl &fileUrl) const
{
    const glib::Object<GDesktopAppInfo> info = loadFile(fileUrl);
    if (!info)
        return std::nullopt;
    return describe(info.get(), fileUrl);
}

std::optional<DesktopEntry> GioApplications::defaultApplication(const QString &contentType) const
{
    return GioChangeSync::instance().query([&] {
        const glib::Object<GAppInfo> info(
            g_app_info_get_default_for_type(utf8(contentType).constData(), FALSE));
        return describeListed(info.get());
    });
}

QList<DesktopEntry> GioApplications::applications(const QString &contentType) const
{
    return GioChangeSync::instance().query([&] {
        GList *all = g_app_info_get_all_for_type(utf8(contentType).constData());
        QList<DesktopEntry> entries;
        for (GList *item = all; item; item = item->next) {
            if (std::optional<DesktopEntry> entry = describeListed(G_APP_INFO(item->data)))
                entries.append(std::move(*entry));
        }
        g_list_free_full(all, g_object_unref);
        return entries;
    });
}

void GioApplications::setDefaultApplication(const QUrl &application, const QString &contentType) const
{
    GioChangeSync::instance().change([&] {
        const mimeapps::MimeAppsWriter writer(
            std::make_shared<MimeAppsResolver>(XdgEnvironment::fromProcess()));
        writer.setDefault(application.isLocalFile() ? application.toLocalFile() : application.toString(),
                          contentType);
    });
}

std::optional<QString> desktopEntryIconName(const QUrl &desktopEntry)
{
    const glib::Object<GDesktopAppInfo> info = loadFile(desktopEntry);
    if (!info)
        return std::nullopt;
    GIcon *icon = g_app_info_get_icon(G_APP_INFO(info.get()));
    if (!icon)
        return std::nullopt;
    return keyValue(g_icon_to_string(icon));
}

} // namespace halvora
