#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QString>

#include <optional>

class QSplitter;
class QWidget;

namespace halvora {

// The one piece of window state kept between runs besides the history: the window's size
// and the sidebar's width.
struct WindowGeometry {
    QSize size;
    int sidebarWidth = 0;

    bool operator==(const WindowGeometry &) const = default;
};

// $XDG_CONFIG_HOME/halvora/window.ini (the config home defaults to ~/.config).
QString defaultWindowGeometryPath();

// Blocking. Nothing when the file is missing, unreadable or holds no usable size; a missing
// or unusable sidebar width reads as 0.
std::optional<WindowGeometry> readWindowGeometry(const QString &path);
// Blocking and best effort: a window size that cannot be saved is not worth an alert.
void writeWindowGeometry(const QString &path, const WindowGeometry &geometry);

// Restores the window's size and the splitter's first pane width from the settings file,
// read off the main thread, and saves them off the main thread when the window closes.
class WindowGeometryKeeper : public QObject {
    Q_OBJECT

public:
    WindowGeometryKeeper(QWidget *window, QSplitter *splitter, QString path, QObject *parent = nullptr);

    // What the window and splitter show now.
    WindowGeometry currentGeometry() const;

Q_SIGNALS:
    // After the stored geometry was applied (or found missing).
    void restored();
    // After a save has reached the file.
    void saved();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void apply(const WindowGeometry &geometry);
    void save();

    QPointer<QWidget> window_;
    QPointer<QSplitter> splitter_;
    QString path_;
    QFutureWatcher<std::optional<WindowGeometry>> reading_;
    QFutureWatcher<void> writing_;
};

} // namespace halvora
