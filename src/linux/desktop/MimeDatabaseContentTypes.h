#pragma once

#include "core/system/SystemPorts.h"

namespace halvora {

// Content types from shared-mime-info, through QMimeDatabase.
class MimeDatabaseContentTypes : public ContentTypeRegistry {
public:
    std::optional<QString> contentTypeForExtension(const QString &extension) const override;
    std::optional<ContentTypeDescription> contentType(const QString &identifier) const override;
};

} // namespace halvora
