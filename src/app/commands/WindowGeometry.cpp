#include "app/commands/WindowGeometry.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QSplitter>
#include <QStandardPaths>
#include <QWidget>
#include <QtConcurrent>

namespace halvora {

namespace {

const QString widthKey = QStringLiteral("window/width");
const QString heightKey = QStringLiteral("window/height");
const QString sidebarKey = QStringLiteral("window/sidebarWidth");

// Hand-edited or damaged files must not yield absurd windows.
constexpr int maximumDimension = 16384;

std::optional<int> positiveInt(const QSettings &settings, const QString &key)
{
    bool ok = false;
    const int value = settings.value(key).toInt(&ok);
    if (!ok || value <= 0 || value > maximumDimension)
        return std::nullopt;
    return value;
}

} // namespace

QString defaultWindowGeometryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/halvora/window.ini");
}

std::optional<WindowGeometry> readWindowGeometry(const QString &path)
{
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    const QSettings settings(path, QSettings::IniFormat);
    const std::optional<int> width = positiveInt(settings, widthKey);
    const std::optional<int> height = positiveInt(settings, heightKey);
    if (!width || !height)
        return std::nullopt;
    return WindowGeometry{QSize(*width, *height), positiveInt(settings, sidebarKey).value_or(0)};
}

void writeWindowGeometry(const QString &path, const WindowGeometry &geometry)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSettings settings(path, QSettings::IniFormat);
    settings.setValue(widthKey, geometry.size.width());
    settings.setValue(heightKey, geometry.size.height());
    settings.setValue(sidebarKey, geometry.sidebarWidth);
    settings.sync();
}

WindowGeometryKeeper::WindowGeometryKeeper(QWidget *window, QSplitter *splitter, QString path,
                                           QObject *parent)
    : QObject(parent), window_(window), splitter_(splitter), path_(std::move(path))
{
    window->installEventFilter(this);
    // A save started when the last window closes still finishes: the application waits for
    // the global pool before it exits.
    connect(&writing_, &QFutureWatcher<void>::finished, this, &WindowGeometryKeeper::saved);
    connect(&reading_, &QFutureWatcher<std::optional<WindowGeometry>>::finished, this, [this] {
        if (const std::optional<WindowGeometry> geometry = reading_.result())
            apply(*geometry);
        Q_EMIT restored();
    });
    reading_.setFuture(QtConcurrent::run([path = path_] { return readWindowGeometry(path); }));
}

WindowGeometry WindowGeometryKeeper::currentGeometry() const
{
    WindowGeometry geometry;
    if (window_) {
        const bool resized = window_->isMaximized() || window_->isFullScreen();
        geometry.size = resized ? window_->normalGeometry().size() : window_->size();
    }
    if (splitter_ && !splitter_->sizes().isEmpty())
        geometry.sidebarWidth = splitter_->sizes().constFirst();
    return geometry;
}

bool WindowGeometryKeeper::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == window_ && event->type() == QEvent::Close)
        save();
    return QObject::eventFilter(watched, event);
}

void WindowGeometryKeeper::apply(const WindowGeometry &geometry)
{
    if (!window_)
        return;
    // The window's minimum size wins over a smaller stored one.
    window_->resize(geometry.size.expandedTo(window_->minimumSize()));
    if (splitter_ && geometry.sidebarWidth > 0 && splitter_->count() == 2) {
        // The sidebar's own minimum and maximum widths bound what the splitter accepts. The
        // two sizes fill the splitter exactly, or it would share out the difference.
        const int available = splitter_->contentsRect().width() - splitter_->handleWidth();
        splitter_->setSizes({geometry.sidebarWidth, std::max(0, available - geometry.sidebarWidth)});
    }
}

void WindowGeometryKeeper::save()
{
    writing_.setFuture(QtConcurrent::run(
        [path = path_, geometry = currentGeometry()] { writeWindowGeometry(path, geometry); }));
}

} // namespace halvora
