#include "app/AppIcon.h"

#include <QApplication>
#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>

namespace halvora {

namespace {

DesktopEntryIconLookup &iconLookup()
{
    static DesktopEntryIconLookup lookup;
    return lookup;
}

QIcon genericApplicationIcon()
{
    QIcon icon = QIcon::fromTheme(QStringLiteral("application-x-executable"));
    if (icon.isNull())
        icon = QApplication::style()->standardIcon(QStyle::SP_DesktopIcon);
    return icon;
}

QIcon iconFromValue(const QString &value)
{
    if (value.isEmpty())
        return {};
    if (QFileInfo(value).isAbsolute()) {
        QIcon icon(value);
        return QFileInfo::exists(value) ? icon : QIcon();
    }
    return QIcon::fromTheme(value);
}

} // namespace

void setDesktopEntryIconLookup(DesktopEntryIconLookup lookup)
{
    iconLookup() = std::move(lookup);
}

QIcon appIcon(const std::optional<QUrl> &url)
{
    if (url && url->isLocalFile() && iconLookup()) {
        QIcon icon = iconFromValue(iconLookup()(*url));
        if (!icon.isNull())
            return icon;
    }
    return genericApplicationIcon();
}

void paintAppIcon(QPainter *painter, const QRectF &square, const std::optional<QUrl> &url, qreal cornerRadius)
{
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const QSize pixels = (square.size() * ratio).toSize();
    const QIcon icon = appIcon(url);
    // Take the largest pixmap up to the target and stretch it to fill the square exactly.
    QPixmap pixmap = icon.pixmap(pixels);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setRenderHint(QPainter::SmoothPixmapTransform, true);
    QPainterPath clip;
    clip.addRoundedRect(square, cornerRadius, cornerRadius);
    painter->setClipPath(clip, Qt::IntersectClip);
    painter->drawPixmap(square, pixmap, QRectF(pixmap.rect()));
    painter->restore();
}

QPixmap appIconPixmap(const std::optional<QUrl> &url, qreal size, qreal cornerRadius, qreal devicePixelRatio)
{
    const int pixels = qCeil(size * devicePixelRatio);
    QPixmap pixmap(pixels, pixels);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    paintAppIcon(&painter, QRectF(0, 0, size, size), url, cornerRadius);
    return pixmap;
}

AppIcon::AppIcon(std::optional<QUrl> url, qreal size, qreal cornerRadius, QWidget *parent)
    : QWidget(parent), url_(std::move(url)), size_(size), cornerRadius_(cornerRadius)
{
    setFixedSize(sizeHint());
}

void AppIcon::setUrl(std::optional<QUrl> url)
{
    url_ = std::move(url);
    update();
}

QSize AppIcon::sizeHint() const
{
    return QSize(qCeil(size_), qCeil(size_));
}

void AppIcon::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintAppIcon(&painter, QRectF(0, 0, size_, size_), url_, cornerRadius_);
}

} // namespace halvora
