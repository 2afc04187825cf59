#include "linux/desktop/MimeDatabaseContentTypes.h"

#include "linux/desktop/GlibHandles.h"
#include "linux/mimeapps/FileStamp.h"
#include "linux/mimeapps/XdgEnvironment.h"

#include <QFile>
#include <QHash>
#include <QMimeDatabase>

#include <mutex>

namespace halvora {

namespace {

// The glob lists of the MIME directories, in precedence order.
QStringList globFiles()
{
    const XdgEnvironment environment = XdgEnvironment::fromProcess();
    QStringList files{environment.dataHome + QStringLiteral("/mime/globs2")};
    for (const QString &dir : environment.dataDirs)
        files.append(dir + QStringLiteral("/mime/globs2"));
    return files;
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

// Extension -> types with the glob "*.EXT", read from the "weight:type:glob[:flags]" lines
// of the glob lists (one small text file each, where asking the database type by type would
// parse a file per type); built again when a list changes.
QStringList typesWithGlob(const QString &extension)
{
    static std::mutex mutex;
    static QHash<QString, QStringList> byExtension;
    static QStringList builtFiles;
    static std::vector<std::optional<FileStamp>> builtFrom;
    static bool built = false;
    const QStringList files = globFiles();
    std::vector<std::optional<FileStamp>> stamps;
    for (const QString &file : files)
        stamps.push_back(FileStamp::of(file));
    const std::lock_guard lock(mutex);
    if (!built || files != builtFiles || !same(stamps, builtFrom)) {
        byExtension.clear();
        for (const QString &path : files) {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                continue;
            for (const QByteArray &line : file.readAll().split('\n')) {
                const QList<QByteArray> fields = line.split(':');
                if (line.startsWith('#') || fields.size() < 3 || !fields[2].startsWith("*."))
                    continue;
                const QString type = QString::fromUtf8(fields[1]);
                const QString suffix = QString::fromUtf8(fields[2].mid(2));
                // The byte-stream type and inode types never describe a file's contents.
                if (type == QStringLiteral("application/octet-stream") ||
                    type.startsWith(QStringLiteral("inode/")) || suffix.contains(u'*') ||
                    suffix.contains(u'?') || suffix.contains(u'['))
                    continue;
                QStringList &types = byExtension[suffix];
                if (!types.contains(type))
                    types.append(type);
            }
        }
        builtFiles = files;
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
