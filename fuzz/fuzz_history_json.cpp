// Stored history bytes either decode into records or fail with JsonDecodingError; decoded
// records survive a write and a second read unchanged.
#include "core/model/ModelJson.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using halvora::AssociationChangeRecord;
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    QList<AssociationChangeRecord> records;
    try {
        records = halvora::decodeJsonArray<AssociationChangeRecord>(bytes);
    } catch (const halvora::JsonDecodingError &) {
        return 0;
    }
    const QByteArray written = halvora::encodeJsonArray(records);
    if (halvora::decodeJsonArray<AssociationChangeRecord>(written) != records)
        std::abort();
    // The legacy single-record form goes through the same reader.
    try {
        (void)halvora::decodeJsonObject<halvora::RecentAssociationChange>(bytes);
    } catch (const halvora::JsonDecodingError &) {
    }
    return 0;
}
