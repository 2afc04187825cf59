// Any bytes either give handler entries or fail with HandlerListFormatError. Each content
// type appears once, defaults first; an added association never carries a handler, and a
// handler is never an empty desktop ID.
#include "core/system/SystemErrors.h"
#include "linux/desktop/MimeAppsListReader.h"

#include <QSet>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    QList<halvora::LaunchServicesContentTypeHandler> handlers;
    try {
        handlers = halvora::MimeAppsListReader().registeredContentTypeHandlers(bytes);
    } catch (const halvora::HandlerListFormatError &error) {
        if (error.reason().isEmpty())
            std::abort();
        return 0;
    }
    QSet<QString> seen;
    for (const auto &handler : handlers) {
        if (seen.contains(handler.contentTypeIdentifier()))
            std::abort();
        seen.insert(handler.contentTypeIdentifier());
        if (handler.handlerBundleIdentifier() && handler.handlerBundleIdentifier()->isEmpty())
            std::abort();
    }
    return 0;
}
