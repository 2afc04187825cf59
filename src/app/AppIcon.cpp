#include "app/AppIcon.h"

#include <QApplication>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QtConcurrent>

#include <sys/stat.h>

namespace halvora {

namespace {

DesktopEntryIconLookup &iconLookup()
{
    static DesktopEntryIconLookup lookup;
    return lookup;
}

QIcon genericApplicationIcon()
{
    static const QIcon icon = [] {
        QIcon generic = QIcon::fromTheme(QStringLiteral("application-x-executable"));
        return generic.isNull() ? QApplication::style()->standardIcon(QStyle::SP_DesktopIcon) : generic;
    }();
    return icon;
}

// The change time of a regular file (following links) in nanoseconds, or empty for anything
// else: a FIFO, socket or device would block whoever opened it.
std::optional<qint64> regularFileChangeTime(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return qint64(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
}

// What a pool thread found for one desktop entry: an image read from a file, or a theme
// icon name for the main thread to hand to Qt's theme loader.
struct FoundIcon {
    qint64 changeTime = -1;
    QImage image;
    QString themeName;
};

FoundIcon findIcon(const QString &path, const DesktopEntryIconLookup &lookup)
{
    FoundIcon found;
    const std::optional<qint64> changeTime = regularFileChangeTime(path);
    if (!changeTime || !lookup)
        return found;
    found.changeTime = *changeTime;
    QString value;
    try {
        value = lookup(QUrl::fromLocalFile(path));
    } catch (...) {
        // An entry that cannot be read shows the generic icon, like one without Icon.
        return found;
    }
    if (value.isEmpty())
        return found;
    if (!QFileInfo(value).isAbsolute()) {
        found.themeName = value;
        return found;
    }
    if (regularFileChangeTime(value)) {
        QImageReader reader(value);
        found.image = reader.read();
    }
    return found;
}

} // namespace

void setDesktopEntryIconLookup(DesktopEntryIconLookup lookup)
{
    iconLookup() = std::move(lookup);
    AppIconCache::instance().forget();
}

AppIconCache &AppIconCache::instance()
{
    static AppIconCache *cache = new AppIconCache;
    return *cache;
}

QIcon AppIconCache::icon(const std::optional<QUrl> &url)
{
    if (!url || !url->isLocalFile())
        return genericApplicationIcon();
    const QString path = url->toLocalFile();
    const auto it = entries_.constFind(path);
    if (it == entries_.constEnd()) {
        lookUp(path);
        return genericApplicationIcon();
    }
    return it->icon.isNull() ? genericApplicationIcon() : it->icon;
}

void AppIconCache::refresh(const QList<QUrl> &urls)
{
    for (const QUrl &url : urls) {
        if (url.isLocalFile())
            lookUp(url.toLocalFile());
    }
}

void AppIconCache::lookUp(const QString &path)
{
    if (pending_.contains(path) || !iconLookup())
        return;
    pending_.insert(path);
    const quint64 generation = generation_;
    const qint64 knownChangeTime = entries_.value(path).changeTime;
    const bool known = entries_.contains(path);
    QtConcurrent::run(QThreadPool::globalInstance(),
                      [path, lookup = iconLookup(), known, knownChangeTime]() -> std::optional<FoundIcon> {
                          // A known entry that has not changed keeps its icon without a new lookup.
                          if (known && regularFileChangeTime(path).value_or(-1) == knownChangeTime)
                              return std::nullopt;
                          return findIcon(path, lookup);
                      })
        .then(this, [this, path, generation](std::optional<FoundIcon> found) {
            if (generation != generation_)
                return;
            pending_.remove(path);
            if (!found)
                return;
            QIcon icon;
            if (!found->image.isNull())
                icon = QIcon(QPixmap::fromImage(found->image));
            else if (!found->themeName.isEmpty())
                icon = QIcon::fromTheme(found->themeName);
            entries_.insert(path, Entry{found->changeTime, icon});
            Q_EMIT iconsChanged();
        });
}

void AppIconCache::forget()
{
    ++generation_;
    entries_.clear();
    pending_.clear();
    Q_EMIT iconsChanged();
}

QIcon appIcon(const std::optional<QUrl> &url)
{
    return AppIconCache::instance().icon(url);
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
    connect(&AppIconCache::instance(), &AppIconCache::iconsChanged, this, qOverload<>(&QWidget::update));
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
