#pragma once

#include "core/system/ContentTypeHandlerListReader.h"

namespace halvora {

// Reads the freedesktop.org mimeapps.list with GKeyFile, the parser GIO itself uses, so a
// file GIO accepts is read the same way. Each type of [Default Applications] in file order
// with its first desktop ID, then each further type of [Added Associations] without one.
class MimeAppsListReader : public ContentTypeHandlerListReader {
public:
    QList<LaunchServicesContentTypeHandler>
    registeredContentTypeHandlers(const QByteArray &bytes) const override;
};

} // namespace halvora
