#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

class QWidget;

namespace halvora {

// Text styles by role, all derived from the application font so that the user's font size
// setting scales the whole window.
enum class FontRole { title2, headline, body, callout, caption, caption2 };

QFont roleFont(FontRole role);
// The same size and weight in the system's fixed-pitch family.
QFont monospacedRoleFont(FontRole role);
QFont withWeight(QFont font, QFont::Weight weight);

// De-emphasised text and accents, from the palette so that dark themes work too.
enum class ColorRole { primary, secondary, tertiary, accent, separator, green, orange };

QColor roleColor(ColorRole role, const QPalette &palette);

// Sets the widget's font and its text colour (QPalette::WindowText and Text).
void applyTextStyle(QWidget *widget, FontRole font, ColorRole color = ColorRole::primary);

} // namespace halvora
