#include "linux/desktop/MimeAppsListReader.h"

#include "core/system/SystemErrors.h"
#include "linux/mimeapps/GlibHandles.h"

#include <QSet>

namespace halvora {

namespace {

using glib::Strings;

// A value GKeyFile cannot decode (not UTF-8, bad escapes) names no handler, as for GIO.
std::optional<QString> firstDesktopId(GKeyFile *file, const char *group, const char *key)
{
    gsize count = 0;
    const Strings ids(g_key_file_get_string_list(file, group, key, &count, nullptr));
    for (gsize i = 0; ids && i < count; ++i) {
        if (ids.get()[i][0] != '\0')
            return glib::text(ids.get()[i]);
    }
    return std::nullopt;
}

} // namespace

QList<LaunchServicesContentTypeHandler>
MimeAppsListReader::registeredContentTypeHandlers(const QByteArray &bytes) const
{
    const glib::KeyFile file(g_key_file_new());
    GError *rawError = nullptr;
    if (!g_key_file_load_from_data(file.get(), bytes.constData(), static_cast<gsize>(bytes.size()),
                                   G_KEY_FILE_NONE, &rawError)) {
        const glib::Error error(rawError);
        throw HandlerListFormatError(glib::text(error->message));
    }

    QList<LaunchServicesContentTypeHandler> handlers;
    QSet<QString> listed;
    for (const bool defaults : {true, false}) {
        const char *group = defaults ? "Default Applications" : "Added Associations";
        gsize count = 0;
        const Strings keys(g_key_file_get_keys(file.get(), group, &count, nullptr));
        for (gsize i = 0; keys && i < count; ++i) {
            const char *key = keys.get()[i];
            QString contentType = glib::text(key);
            // GKeyFile lists a repeated key again; it holds the last value once.
            if (listed.contains(contentType))
                continue;
            listed.insert(contentType);
            handlers.append(LaunchServicesContentTypeHandler(
                std::move(contentType), defaults ? firstDesktopId(file.get(), group, key) : std::nullopt));
        }
    }
    return handlers;
}

} // namespace halvora
