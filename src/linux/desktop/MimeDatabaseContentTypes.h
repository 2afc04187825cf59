#pragma once

#include "core/system/SystemPorts.h"

namespace halvora {

// Content types from shared-mime-info. An extension belongs to the types that have the glob
// "*.EXT" exactly; where several do, the desktop's own guess for a file named "x.EXT"
// decides, as it does when files are opened.
class MimeDatabaseContentTypes : public ContentTypeRegistry {
public:
    std::optional<QString> contentTypeForExtension(const QString &extension) const override;
    std::optional<ContentTypeDescription> contentType(const QString &identifier) const override;
    QStringList contentTypesForExtension(const QString &extension) const override;
};

} // namespace halvora
