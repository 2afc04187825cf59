#include "linux/desktop/MimeDatabaseContentTypes.h"

#include <QMimeDatabase>

namespace halvora {

std::optional<QString> MimeDatabaseContentTypes::contentTypeForExtension(const QString &extension) const
{
    const QMimeType type =
        QMimeDatabase().mimeTypeForFile(QStringLiteral("x.") + extension, QMimeDatabase::MatchExtension);
    // The database falls back to the generic byte-stream type for names it does not know;
    // inode types describe file-system objects, never file contents.
    if (!type.isValid() || type.isDefault() || type.name().startsWith(QStringLiteral("inode/")))
        return std::nullopt;
    return type.name();
}

std::optional<ContentTypeDescription> MimeDatabaseContentTypes::contentType(const QString &identifier) const
{
    const QMimeType type = QMimeDatabase().mimeTypeForName(identifier);
    if (!type.isValid())
        return std::nullopt;
    return ContentTypeDescription{type.name(), type.preferredSuffix()};
}

} // namespace halvora
