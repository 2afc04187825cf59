#include "linux/desktop/MimeDatabaseContentTypes.h"

#include "linux/desktop/GlibHandles.h"

#include <QHash>
#include <QMimeDatabase>

#include <mutex>

namespace halvora {

namespace {

// Extension -> types with the glob "*.EXT", in the database's order. Rebuilt when the set
// of known types changes (the database re-reads its files by itself).
QStringList typesWithGlob(const QString &extension)
{
    static std::mutex mutex;
    static QHash<QString, QStringList> byExtension;
    static qsizetype knownTypes = -1;
    const QList<QMimeType> all = QMimeDatabase().allMimeTypes();
    const std::lock_guard lock(mutex);
    if (knownTypes != all.size()) {
        byExtension.clear();
        for (const QMimeType &type : all) {
            // The byte-stream type and inode types never describe a file's contents.
            if (type.isDefault() || type.name().startsWith(QStringLiteral("inode/")))
                continue;
            for (const QString &pattern : type.globPatterns()) {
                const QString suffix = pattern.mid(2);
                if (pattern.startsWith(QStringLiteral("*.")) && !suffix.contains(u'*') &&
                    !suffix.contains(u'?') && !suffix.contains(u'[') &&
                    !byExtension[suffix].contains(type.name()))
                    byExtension[suffix].append(type.name());
            }
        }
        knownTypes = all.size();
    }
    return byExtension.value(extension);
}

} // namespace

QStringList MimeDatabaseContentTypes::contentTypesForExtension(const QString &extension) const
{
    QStringList types = typesWithGlob(extension);
    if (types.size() > 1) {
        gboolean uncertain = FALSE;
        const glib::String guess(g_content_type_guess((QStringLiteral("x.") + extension).toUtf8().constData(),
                                                      nullptr, 0, &uncertain));
        const QString guessed = guess ? glib::text(guess.get()) : QString();
        if (const qsizetype at = types.indexOf(guessed); at > 0)
            types.move(at, 0);
    }
    return types;
}

std::optional<QString> MimeDatabaseContentTypes::contentTypeForExtension(const QString &extension) const
{
    const QStringList types = contentTypesForExtension(extension);
    if (types.isEmpty())
        return std::nullopt;
    return types.first();
}

std::optional<ContentTypeDescription> MimeDatabaseContentTypes::contentType(const QString &identifier) const
{
    const QMimeType type = QMimeDatabase().mimeTypeForName(identifier);
    if (!type.isValid())
        return std::nullopt;
    return ContentTypeDescription{type.name(), type.preferredSuffix()};
}

} // namespace halvora
