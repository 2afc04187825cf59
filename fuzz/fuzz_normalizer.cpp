// Any text either normalises to a valid extension or is rejected with invalidExtension;
// a normalised extension normalises to itself.
#include "core/model/FileAssociationError.h"
#include "core/model/FileExtensionNormalizer.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    QString normalized;
    try {
        normalized = halvora::FileExtensionNormalizer::normalize(text);
    } catch (const halvora::FileAssociationError &error) {
        if (error.kind() != halvora::FileAssociationError::Kind::invalidExtension)
            std::abort();
        return 0;
    }
    if (normalized.isEmpty() || normalized.contains(u'/') || normalized.contains(u':') ||
        normalized.endsWith(u'.'))
        std::abort();
    if (halvora::FileExtensionNormalizer::normalize(normalized) != normalized)
        std::abort();
    return 0;
}
