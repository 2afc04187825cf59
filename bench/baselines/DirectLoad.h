// The work every load benchmark compares against, shared so that each baseline is the same
// loop: resolve each extension with QMimeDatabase and ask GIO directly for the default and
// the candidates, describing each application by its ID, file and name.
#pragma once

#include "core/system/FileAssociationSystemClient.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include <QMimeDatabase>
#include <QStringList>

#include <exception>

namespace halvora::bench {

inline void describeDirectly(GAppInfo *info, qsizetype &sink)
{
    sink += qstrlen(g_app_info_get_id(info)) +
            qstrlen(g_desktop_app_info_get_filename(G_DESKTOP_APP_INFO(info))) +
            qstrlen(g_app_info_get_name(info));
}

inline qsizetype resolveDirectly(const QMimeDatabase &database, const QStringList &extensions)
{
    qsizetype sink = 0;
    for (const QString &extension : extensions) {
        const QMimeType type =
            database.mimeTypeForFile(QStringLiteral("x.") + extension, QMimeDatabase::MatchExtension);
        if (!type.isValid() || type.isDefault() || type.name().startsWith(QStringLiteral("inode/")))
            continue;
        const QByteArray name = type.name().toUtf8();
        if (GAppInfo *current = g_app_info_get_default_for_type(name.constData(), FALSE)) {
            describeDirectly(current, sink);
            g_object_unref(current);
        }
        GList *all = g_app_info_get_all_for_type(name.constData());
        for (GList *item = all; item; item = item->next)
            describeDirectly(G_APP_INFO(item->data), sink);
        g_list_free_full(all, g_object_unref);
    }
    return sink;
}

// The client over the same extensions; those without a content type are part of the work too.
inline qsizetype loadEachThroughClient(const FileAssociationSystemClient &client,
                                       const QStringList &extensions)
{
    qsizetype candidates = 0;
    for (const QString &extension : extensions) {
        try {
            candidates += client.loadAssociation(extension).candidateApps().size();
        } catch (const std::exception &) {
        }
    }
    return candidates;
}

} // namespace halvora::bench
