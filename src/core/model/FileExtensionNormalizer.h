#pragma once

#include <QString>

namespace halvora::FileExtensionNormalizer {

// Trimmed, leading dots dropped, lower-cased; throws FileAssociationError::invalidExtension
// for text that cannot be an extension. Pure and thread-safe.
QString normalize(const QString &text);

} // namespace halvora::FileExtensionNormalizer
