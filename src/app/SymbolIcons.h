#pragma once

#include <QColor>
#include <QIcon>
#include <QList>
#include <QString>

#include <optional>

namespace halvora {

// The interface names its pictograms by symbol names ("checkmark.circle", "folder", ...).
// One table maps each onto freedesktop icon-theme names, most fitting first; when the
// theme has none of them, a built-in icon of the widget style stands in, so every symbol
// shows something.

// The theme names tried for a symbol, in order; empty for a symbol the table lacks.
QList<QString> themeIconNames(const QString &symbolName);

// The first of themeIconNames() that the current icon theme (or its fallback) provides;
// empty when none is.
QString resolvedThemeIconName(const QString &symbolName);

// The icon of a symbol. Monochrome ("-symbolic") theme icons are recoloured when drawn:
// in `tint` when given, otherwise in the application palette's text colour (its disabled
// colour for the disabled mode), so they read well on light and dark themes alike.
QIcon symbolIcon(const QString &symbolName, std::optional<QColor> tint = std::nullopt);

// Picks an icon theme when the platform names none (offscreen, bare X sessions), and sets
// the fallback theme that the install script provides. Call once after QApplication exists.
void ensureIconTheme();

} // namespace halvora
