// Any bytes either give handler entries or fail with HandlerListFormatError, in the XML and
// the binary encoding alike; entries always name a content type.
#include "core/system/SystemErrors.h"
#include "linux/desktop/LaunchServicesPlistReader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    QList<halvora::LaunchServicesContentTypeHandler> handlers;
    try {
        handlers = halvora::LaunchServicesPlistReader().registeredContentTypeHandlers(bytes);
    } catch (const halvora::HandlerListFormatError &error) {
        if (error.reason().isEmpty())
            std::abort();
        return 0;
    }
    for (const auto &handler : handlers) {
        if (handler.contentTypeIdentifier().isEmpty())
            std::abort();
    }
    return 0;
}
