#pragma once

#include <QHash>
#include <QIcon>
#include <QObject>
#include <QPixmap>
#include <QSet>
#include <QString>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <optional>

class QPainter;

namespace halvora {

// Where an application's icon comes from: the Icon of the desktop entry at a file URL, as
// GIO gives it (a theme icon name or an absolute file path), or empty when it has none.
// Called on a pool thread.
using DesktopEntryIconLookup = std::function<QString(const QUrl &desktopEntry)>;

// Set once at start (and by tests); until then every application shows the generic icon.
// Setting it forgets every icon found so far.
void setDesktopEntryIconLookup(DesktopEntryIconLookup lookup);

// Application icons, found on the background executor and kept by desktop-entry path and
// change time: painting only reads what is kept. Only regular files are opened, so an entry
// or icon that names a FIFO or a device never blocks anything. Main thread only.
class AppIconCache : public QObject {
    Q_OBJECT

public:
    static AppIconCache &instance();

    // The icon kept for the entry, or the generic application icon while there is none yet
    // (then a lookup starts). Never touches a file.
    QIcon icon(const std::optional<QUrl> &url);
    // Looks the entries up again off the main thread where their change time differs from
    // the one kept (for example after a reload of the associations).
    void refresh(const QList<QUrl> &urls);
    // No lookup is running.
    bool isIdle() const { return pending_.isEmpty(); }

Q_SIGNALS:
    // An icon was found or changed; views showing application icons repaint.
    void iconsChanged();

private:
    struct Entry {
        qint64 changeTime = -1;
        QIcon icon;
    };
    void lookUp(const QString &path);
    void forget();

    QHash<QString, Entry> entries_;
    QSet<QString> pending_;
    quint64 generation_ = 0;
    friend void setDesktopEntryIconLookup(DesktopEntryIconLookup lookup);
};

// The icon of the application whose desktop entry is at `url`; the generic application icon
// when there is no URL, no Icon, the named icon is nowhere to be found, or it is not found yet.
QIcon appIcon(const std::optional<QUrl> &url);

// The icon stretched into a square of `size` and clipped to corners of `cornerRadius`.
void paintAppIcon(QPainter *painter, const QRectF &square, const std::optional<QUrl> &url,
                  qreal cornerRadius);
QPixmap appIconPixmap(const std::optional<QUrl> &url, qreal size, qreal cornerRadius,
                      qreal devicePixelRatio = 1.0);

// A fixed-size square showing an application's icon; repaints when the icon is found.
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
