#pragma once

#include "core/model/Models.h"

#include <QByteArray>
#include <QList>

namespace halvora {

// Turns the bytes of a per-user handler list into its entries, in file order.
// Stateless and pure; callable from any thread.
class ContentTypeHandlerListReader {
public:
    virtual ~ContentTypeHandlerListReader() = default;

    // Throws HandlerListFormatError when the bytes are not in the reader's format.
    virtual QList<LaunchServicesContentTypeHandler>
    registeredContentTypeHandlers(const QByteArray &bytes) const = 0;
};

} // namespace halvora
