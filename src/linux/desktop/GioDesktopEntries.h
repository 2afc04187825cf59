#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace halvora {

// The entry's icon as GIO serialises it (a theme name or a file path); absent when the
// entry has none or cannot be loaded.
std::optional<QString> desktopEntryIconName(const QUrl &desktopEntry);

} // namespace halvora
