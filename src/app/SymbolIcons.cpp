#include "app/SymbolIcons.h"

#include <QApplication>
#include <QDir>
#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QStyle>

namespace halvora {

namespace {

struct SymbolEntry {
    QList<QString> themeNames;
    QStyle::StandardPixmap stand_in;
};

const QHash<QString, SymbolEntry> &symbolTable()
{
    using S = QStyle;
    static const QHash<QString, SymbolEntry> table{
        {"app", {{"application-x-executable-symbolic", "application-x-executable"}, S::SP_FileIcon}},
        // No application: a "not available" sign reads better than an empty frame.
        {"app.dashed",
         {{"action-unavailable-symbolic", "application-x-executable-symbolic"}, S::SP_FileIcon}},
        {"archivebox", {{"package-x-generic-symbolic", "package-x-generic"}, S::SP_DriveHDIcon}},
        {"arrow.clockwise", {{"view-refresh-symbolic", "view-refresh"}, S::SP_BrowserReload}},
        {"arrow.right", {{"go-next-symbolic", "go-next"}, S::SP_ArrowRight}},
        {"arrow.uturn.backward", {{"edit-undo-symbolic", "edit-undo"}, S::SP_ArrowBack}},
        {"arrow.uturn.backward.circle", {{"edit-undo-symbolic", "edit-undo"}, S::SP_ArrowBack}},
        {"checklist.checked",
         {{"selection-mode-symbolic", "view-list-bullet-symbolic", "view-list-details"},
          S::SP_FileDialogListView}},
        {"checkmark.circle",
         {{"emblem-ok-symbolic", "object-select-symbolic", "emblem-ok"}, S::SP_DialogApplyButton}},
        {"checkmark.square",
         {{"selection-mode-symbolic", "checkbox-checked-symbolic"}, S::SP_DialogApplyButton}},
        {"checkmark.square.fill",
         {{"checkbox-checked-symbolic", "object-select-symbolic"}, S::SP_DialogApplyButton}},
        {"square", {{"checkbox-symbolic", "checkbox"}, S::SP_DialogCancelButton}},
        {"chevron.down", {{"pan-down-symbolic", "go-down-symbolic", "go-down"}, S::SP_ArrowDown}},
        {"chevron.right", {{"pan-end-symbolic", "go-next-symbolic", "go-next"}, S::SP_ArrowRight}},
        {"chevron.left.forwardslash.chevron.right",
         {{"applications-engineering-symbolic", "utilities-terminal-symbolic", "text-x-script"},
          S::SP_FileIcon}},
        {"clock",
         {{"preferences-system-time-symbolic", "emoji-recent-symbolic", "document-open-recent"},
          S::SP_BrowserReload}},
        {"clock.arrow.circlepath",
         {{"document-open-recent-symbolic", "document-open-recent"}, S::SP_BrowserReload}},
        {"doc.badge.gearshape",
         {{"document-properties-symbolic", "document-properties", "text-x-generic"}, S::SP_FileIcon}},
        {"doc.on.doc", {{"edit-copy-symbolic", "edit-copy"}, S::SP_FileLinkIcon}},
        {"doc.text",
         {{"text-x-generic-symbolic", "x-office-document-symbolic", "text-x-generic"}, S::SP_FileIcon}},
        {"exclamationmark.arrow.triangle.2.circlepath",
         {{"dialog-warning-symbolic", "dialog-warning"}, S::SP_MessageBoxWarning}},
        {"exclamationmark.triangle",
         {{"dialog-warning-symbolic", "dialog-warning"}, S::SP_MessageBoxWarning}},
        {"folder", {{"folder-symbolic", "folder"}, S::SP_DirIcon}},
        {"line.3.horizontal.decrease.circle",
         {{"view-filter", "view-sort-descending-symbolic", "view-sort-descending"},
          S::SP_FileDialogDetailedView}},
        {"minus.circle", {{"list-remove-symbolic", "list-remove"}, S::SP_DialogNoButton}},
        {"photo", {{"image-x-generic-symbolic", "image-x-generic"}, S::SP_FileIcon}},
        {"play.rectangle",
         {{"video-x-generic-symbolic", "media-playback-start-symbolic", "video-x-generic"}, S::SP_MediaPlay}},
        {"plus", {{"list-add-symbolic", "list-add"}, S::SP_FileDialogNewFolder}},
        {"square.grid.2x2",
         {{"view-app-grid-symbolic", "view-grid-symbolic", "view-grid"}, S::SP_FileDialogListView}},
        {"star", {{"starred-symbolic", "starred", "emblem-favorite"}, S::SP_DialogYesButton}},
        {"tablecells",
         {{"x-office-spreadsheet-symbolic", "x-office-spreadsheet"}, S::SP_FileDialogDetailedView}},
        {"xmark", {{"window-close-symbolic", "window-close"}, S::SP_DialogCloseButton}},
        {"xmark.octagon",
         {{"dialog-error-symbolic", "process-stop-symbolic", "dialog-error"}, S::SP_MessageBoxCritical}},
    };
    return table;
}

// Draws a monochrome theme icon in one colour: the icon's shape, filled with the colour.
class TintedIconEngine final : public QIconEngine {
public:
    TintedIconEngine(QIcon base, std::optional<QColor> tint) : base_(std::move(base)), tint_(tint) {}

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap shape = base_.pixmap(size, QIcon::Normal, state);
        if (shape.isNull())
            return shape;
        QPainter painter(&shape);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(shape.rect(), colour(mode));
        return shape;
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        QPixmap pm = pixmap(rect.size() * ratio, mode, state);
        pm.setDevicePixelRatio(ratio);
        painter->drawPixmap(rect, pm);
    }

    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return base_.actualSize(size, mode, state);
    }

    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return base_.availableSizes(mode, state);
    }

    QIconEngine *clone() const override { return new TintedIconEngine(base_, tint_); }
    QString key() const override { return QStringLiteral("halvora-tinted"); }

private:
    QColor colour(QIcon::Mode mode) const
    {
        const QPalette palette = QApplication::palette();
        if (mode == QIcon::Disabled)
            return palette.color(QPalette::Disabled, QPalette::WindowText);
        if (tint_)
            return *tint_;
        if (mode == QIcon::Selected)
            return palette.color(QPalette::HighlightedText);
        return palette.color(QPalette::WindowText);
    }

    QIcon base_;
    std::optional<QColor> tint_;
};

} // namespace

QList<QString> themeIconNames(const QString &symbolName)
{
    const auto it = symbolTable().constFind(symbolName);
    return it == symbolTable().constEnd() ? QList<QString>{} : it->themeNames;
}

QString resolvedThemeIconName(const QString &symbolName)
{
    for (const QString &name : themeIconNames(symbolName)) {
        if (QIcon::hasThemeIcon(name))
            return name;
    }
    return {};
}

QIcon symbolIcon(const QString &symbolName, std::optional<QColor> tint)
{
    const QString name = resolvedThemeIconName(symbolName);
    if (name.isEmpty()) {
        const auto it = symbolTable().constFind(symbolName);
        const QStyle::StandardPixmap standIn =
            it == symbolTable().constEnd() ? QStyle::SP_FileIcon : it->stand_in;
        return QApplication::style()->standardIcon(standIn);
    }
    QIcon themed = QIcon::fromTheme(name);
    if (!name.endsWith(QLatin1String("-symbolic")))
        return themed;
    return QIcon(new TintedIconEngine(themed, tint));
}

void ensureIconTheme()
{
    const auto themeInstalled = [](const QString &theme) {
        for (const QString &root : QIcon::themeSearchPaths()) {
            if (QDir(root).exists(theme + QStringLiteral("/index.theme")))
                return true;
        }
        return false;
    };
    // The theme search path follows XDG_DATA_DIRS, which sandboxes, session scripts and our
    // own tests point elsewhere; the themes the system installed stay reachable anyway.
    QStringList paths = QIcon::themeSearchPaths();
    for (const QString &system :
         {QStringLiteral("/usr/local/share/icons"), QStringLiteral("/usr/share/icons")}) {
        if (!paths.contains(system) && QDir(system).exists())
            paths.append(system);
    }
    QIcon::setThemeSearchPaths(paths);

    const QString preferred = QStringLiteral("Adwaita");
    if (!themeInstalled(preferred))
        return;
    if (QIcon::fallbackThemeName().isEmpty() || QIcon::fallbackThemeName() == QLatin1String("hicolor"))
        QIcon::setFallbackThemeName(preferred);
    const QString current = QIcon::themeName();
    if (current.isEmpty() || current == QLatin1String("hicolor") || !themeInstalled(current))
        QIcon::setThemeName(preferred);
}

} // namespace halvora
