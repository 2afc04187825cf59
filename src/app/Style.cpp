#include "app/Style.h"

#include <QApplication>
#include <QFontDatabase>
#include <QWidget>

namespace halvora {

namespace {

struct RoleMetrics {
    qreal scale;
    QFont::Weight weight;
};

// Ratios between the text styles, softened so that the smallest stay legible with the
// 9 to 11 point application fonts of Linux desktops.
RoleMetrics metrics(FontRole role)
{
    switch (role) {
    case FontRole::title2:
        return {1.35, QFont::Normal};
    case FontRole::headline:
        return {1.0, QFont::DemiBold};
    case FontRole::body:
        return {1.0, QFont::Normal};
    case FontRole::callout:
        return {0.94, QFont::Normal};
    case FontRole::caption:
        return {0.87, QFont::Normal};
    case FontRole::caption2:
        return {0.82, QFont::Normal};
    }
    return {1.0, QFont::Normal};
}

QFont scaled(QFont font, FontRole role)
{
    const RoleMetrics m = metrics(role);
    const QFont base = QApplication::font();
    if (base.pointSizeF() > 0)
        font.setPointSizeF(std::max(6.0, base.pointSizeF() * m.scale));
    else
        font.setPixelSize(std::max(8, qRound(base.pixelSize() * m.scale)));
    font.setWeight(m.weight);
    return font;
}

QColor blend(const QColor &foreground, const QColor &background, qreal foregroundShare)
{
    return QColor::fromRgbF(
        foreground.redF() * foregroundShare + background.redF() * (1 - foregroundShare),
        foreground.greenF() * foregroundShare + background.greenF() * (1 - foregroundShare),
        foreground.blueF() * foregroundShare + background.blueF() * (1 - foregroundShare));
}

bool isDark(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightnessF() < 0.5;
}

} // namespace

QFont roleFont(FontRole role)
{
    return scaled(QApplication::font(), role);
}

QFont monospacedRoleFont(FontRole role)
{
    return scaled(QFontDatabase::systemFont(QFontDatabase::FixedFont), role);
}

QFont withWeight(QFont font, QFont::Weight weight)
{
    font.setWeight(weight);
    return font;
}

QColor roleColor(ColorRole role, const QPalette &palette)
{
    const QColor text = palette.color(QPalette::WindowText);
    const QColor window = palette.color(QPalette::Window);
    // Opaque blends rather than alpha, so that text drawn over a selection stays readable.
    switch (role) {
    case ColorRole::primary:
        return text;
    case ColorRole::secondary:
        return blend(text, window, 0.62);
    case ColorRole::tertiary:
        return blend(text, window, 0.4);
    case ColorRole::accent:
        return palette.color(QPalette::Highlight);
    case ColorRole::separator:
        return blend(text, window, 0.18);
    case ColorRole::green:
        return isDark(palette) ? QColor(0x4c, 0xd9, 0x64) : QColor(0x1e, 0x8e, 0x3e);
    case ColorRole::orange:
        return isDark(palette) ? QColor(0xff, 0xa5, 0x3d) : QColor(0xc2, 0x5e, 0x00);
    }
    return text;
}

void applyTextStyle(QWidget *widget, FontRole font, ColorRole color)
{
    widget->setFont(roleFont(font));
    if (color != ColorRole::primary) {
        QPalette palette = widget->palette();
        const QColor c = roleColor(color, palette);
        palette.setColor(QPalette::WindowText, c);
        palette.setColor(QPalette::Text, c);
        widget->setPalette(palette);
    }
}

} // namespace halvora
