#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <optional>

class QPainter;

namespace halvora {

// Where an application's icon comes from: the Icon of the desktop entry at a file URL, as
// GIO gives it (a theme icon name or an absolute file path), or empty when it has none.
using DesktopEntryIconLookup = std::function<QString(const QUrl &desktopEntry)>;

// Set once at start (and by tests); until then every application shows the generic icon.
void setDesktopEntryIconLookup(DesktopEntryIconLookup lookup);

// The icon of the application whose desktop entry is at `url`; the generic application icon
// when there is no URL, no Icon, or the named icon is nowhere to be found. Looked up anew
// on every call.
QIcon appIcon(const std::optional<QUrl> &url);

// The icon stretched into a square of `size` and clipped to corners of `cornerRadius`.
void paintAppIcon(QPainter *painter, const QRectF &square, const std::optional<QUrl> &url,
                  qreal cornerRadius);
QPixmap appIconPixmap(const std::optional<QUrl> &url, qreal size, qreal cornerRadius,
                      qreal devicePixelRatio = 1.0);

// A fixed-size square showing an application's icon; redrawn (and looked up) on every paint.
class AppIcon : public QWidget {
    Q_OBJECT

public:
    AppIcon(std::optional<QUrl> url, qreal size, qreal cornerRadius, QWidget *parent = nullptr);

    const std::optional<QUrl> &url() const { return url_; }
    void setUrl(std::optional<QUrl> url);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::optional<QUrl> url_;
    qreal size_;
    qreal cornerRadius_;
};

} // namespace halvora
