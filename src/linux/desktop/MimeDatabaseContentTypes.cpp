#include "linux/desktop/MimeDatabaseContentTypes.h"

#include "linux/desktop/GlibHandles.h"
#include "linux/mimeapps/FileStamp.h"
#include "linux/mimeapps/XdgEnvironment.h"

#include <QHash>
#include <QMimeDatabase>

#include <mutex>

namespace halvora {

namespace {

// The MIME caches whose change means the glob table must be built again.
std::vector<std::optional<FileStamp>> mimeCacheStamps()
{
    const XdgEnvironment environment = XdgEnvironment::fromProcess();
    std::vector<std::optional<FileStamp>> stamps{
        FileStamp::of(environment.dataHome + QStringLiteral("/mime/mime.cache"))};
    for (const QString &dir : environment.dataDirs)
        stamps.push_back(FileStamp::of(dir + QStringLiteral("/mime/mime.cache")));
    return stamps;
}

bool same(const std::vector<std::optional<FileStamp>> &a, const std::vector<std::optional<FileStamp>> &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].has_value() != b[i].has_value() || (a[i] && !a[i]->sameAs(*b[i])))
            return false;
    }
    return true;
}

// Extension -> types with the glob "*.EXT", in the database's order; built again when a
// MIME cache changes.
QStringList typesWithGlob(const QString &extension)
{
    static std::mutex mutex;
    static QHash<QString, QStringList> byExtension;
    static std::vector<std::optional<FileStamp>> builtFrom;
    static bool built = false;
    std::vector<std::optional<FileStamp>> stamps = mimeCacheStamps();
    const std::lock_guard lock(mutex);
    if (!built || !same(stamps, builtFrom)) {
        byExtension.clear();
        for (const QMimeType &type : QMimeDatabase().allMimeTypes()) {
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
        builtFrom = std::move(stamps);
        built = true;
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
