#pragma once

// What the screenshot programs share: a realistic desktop of about forty associations over
// the scripted service, application icons from the installed icon theme, and a writer that
// puts a window (with a sheet or alert over it) into a PNG file.

#include "app/AppIcon.h"
#include "app/MainWindow.h"
#include "core/model/Models.h"
#include "support/doubles/ScriptedFileAssociationManager.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDialog>
#include <QHash>
#include <QPainter>
#include <QPixmap>
#include <QToolBar>

#include <cstdio>
#include <cstdlib>

namespace halvora::screenshots {

// The theme icon each sample application shows, keyed by its desktop entry.
inline QHash<QUrl, QString> &iconNames()
{
    static QHash<QUrl, QString> names;
    return names;
}

inline AssociatedApp sampleApp(const QString &name, const QString &id, const QString &icon)
{
    const QUrl url = QUrl::fromLocalFile(QStringLiteral("/usr/share/applications/") + id);
    iconNames().insert(url, icon);
    return AssociatedApp(name, id, url);
}

inline const AssociatedApp viewer =
    sampleApp(QStringLiteral("문서 보기"), QStringLiteral("org.example.DocumentViewer.desktop"),
              QStringLiteral("x-office-document"));
inline const AssociatedApp editor =
    sampleApp(QStringLiteral("텍스트 편집기"), QStringLiteral("org.example.TextEditor.desktop"),
              QStringLiteral("accessories-text-editor"));
inline const AssociatedApp office =
    sampleApp(QStringLiteral("Office Writer"), QStringLiteral("org.example.Writer.desktop"),
              QStringLiteral("applications-office"));
inline const AssociatedApp images =
    sampleApp(QStringLiteral("이미지 보기"), QStringLiteral("org.example.ImageViewer.desktop"),
              QStringLiteral("image-x-generic"));
inline const AssociatedApp painter =
    sampleApp(QStringLiteral("Pixel Paint"), QStringLiteral("org.example.PixelPaint.desktop"),
              QStringLiteral("applications-graphics"));
inline const AssociatedApp browser =
    sampleApp(QStringLiteral("웹 브라우저"), QStringLiteral("org.example.Browser.desktop"),
              QStringLiteral("web-browser"));
inline const AssociatedApp ide =
    sampleApp(QStringLiteral("Code Studio"), QStringLiteral("org.example.CodeStudio.desktop"),
              QStringLiteral("applications-development"));
inline const AssociatedApp player =
    sampleApp(QStringLiteral("동영상 플레이어"), QStringLiteral("org.example.VideoPlayer.desktop"),
              QStringLiteral("multimedia-player"));
inline const AssociatedApp archiver =
    sampleApp(QStringLiteral("압축 관리자"), QStringLiteral("org.example.Archiver.desktop"),
              QStringLiteral("package-x-generic"));
inline const AssociatedApp terminal =
    sampleApp(QStringLiteral("Terminal"), QStringLiteral("org.example.Terminal.desktop"),
              QStringLiteral("utilities-terminal"));

inline FileAssociation sample(const QString &extension, const QString &type,
                              std::optional<AssociatedApp> current, QList<AssociatedApp> candidates)
{
    return FileAssociation(extension, type, std::move(current), std::move(candidates));
}

// About forty associations across every category, some without a default application or
// without candidates.
inline QList<FileAssociation> sampleAssociations()
{
    const auto s = [](const char *extension, const char *type, std::optional<AssociatedApp> current,
                      QList<AssociatedApp> candidates) {
        return sample(QString::fromUtf8(extension), QString::fromUtf8(type), std::move(current),
                      std::move(candidates));
    };
    return {
        s("pdf", "application/pdf", viewer, {viewer, browser, painter, office}),
        s("txt", "text/plain", editor, {editor, ide, office}),
        s("md", "text/markdown", std::nullopt, {editor, ide}),
        s("docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document", office,
          {office}),
        s("doc", "application/msword", office, {office}),
        s("xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet", office, {office}),
        s("pptx", "application/vnd.openxmlformats-officedocument.presentationml.presentation", office,
          {office}),
        s("rtf", "application/rtf", office, {office, editor}),
        s("odt", "application/vnd.oasis.opendocument.text", office, {office}),
        s("log", "text/x-log", editor, {editor, ide}),
        s("pages", "application/x-iwork-pages-sffpages", std::nullopt, {}),
        s("jpg", "image/jpeg", images, {images, painter, browser}),
        s("png", "image/png", images, {images, painter, browser}),
        s("gif", "image/gif", images, {images, browser}),
        s("webp", "image/webp", images, {images, browser}),
        s("svg", "image/svg+xml", browser, {browser, painter, images, ide}),
        s("heic", "image/heif", std::nullopt, {images}),
        s("psd", "image/vnd.adobe.photoshop", painter, {painter}),
        s("html", "text/html", browser, {browser, ide, editor}),
        s("css", "text/css", ide, {ide, editor}),
        s("js", "text/javascript", ide, {ide, editor, browser}),
        s("py", "text/x-python3", ide, {ide, editor, terminal}),
        s("cpp", "text/x-c++src", ide, {ide, editor}),
        s("sh", "application/x-shellscript", terminal, {terminal, ide, editor}),
        s("rs", "text/rust", std::nullopt, {ide, editor}),
        s("yaml", "application/yaml", editor, {editor, ide}),
        s("zip", "application/zip", archiver, {archiver}),
        s("tar", "application/x-tar", archiver, {archiver}),
        s("7z", "application/x-7z-compressed", std::nullopt, {}),
        s("gz", "application/gzip", archiver, {archiver}),
        s("mp3", "audio/mpeg", player, {player}),
        s("flac", "audio/flac", player, {player}),
        s("mp4", "video/mp4", player, {player, browser}),
        s("mkv", "video/x-matroska", player, {player}),
        s("mov", "video/quicktime", std::nullopt, {player}),
        s("csv", "text/csv", office, {office, editor, ide}),
        s("json", "application/json", ide, {ide, editor, browser}),
        s("xml", "application/xml", editor, {editor, ide, browser}),
        s("sqlite", "application/vnd.sqlite3", std::nullopt, {}),
        s("epub", "application/epub+zip", viewer, {viewer}),
        s("ttf", "font/ttf", std::nullopt, {}),
    };
}

inline AssociationChangeRecord sampleRecord(int minutesAgo, const QString &extension,
                                            std::optional<AssociatedApp> previous, AssociatedApp replacement,
                                            AssociationVerificationStatus status,
                                            std::optional<QString> message = std::nullopt)
{
    const Timestamp when = Timestamp::fromDateTime(QDateTime::currentDateTime().addSecs(-60 * minutesAgo));
    return AssociationChangeRecord(newRecordIdentifier(), extension,
                                   QStringLiteral("application/x-") + extension, std::move(previous),
                                   std::move(replacement), when, status, std::move(message));
}

// A few changes with every kind of outcome, newest first.
inline QList<AssociationChangeRecord> sampleHistory()
{
    return {
        sampleRecord(3, QStringLiteral("pdf"), browser, viewer, AssociationVerificationStatus::verified),
        sampleRecord(20, QStringLiteral("txt"), ide, editor, AssociationVerificationStatus::apiFailed,
                     QStringLiteral("mimeapps.list에 쓸 수 없습니다.")),
        sampleRecord(55, QStringLiteral("csv"), editor, office,
                     AssociationVerificationStatus::verificationFailed,
                     QStringLiteral("시스템 API 호출은 완료됐지만 기본 앱 재확인 결과가 일치하지 않습니다.")),
        sampleRecord(120, QStringLiteral("md"), std::nullopt, editor,
                     AssociationVerificationStatus::verified),
        sampleRecord(600, QStringLiteral("png"), browser, images,
                     AssociationVerificationStatus::undoVerified),
    };
}

// Application icons come from the installed theme, as the desktop entries would name them.
inline void useSampleIcons()
{
    setDesktopEntryIconLookup([](const QUrl &entry) { return iconNames().value(entry); });
}

// The window as it is, with the dialog on top where a sheet hangs from the toolbar.
inline void save(MainWindow &window, QWidget *dialog, const QString &path)
{
    QCoreApplication::processEvents();
    QPixmap shot = window.grab();
    if (dialog) {
        dialog->adjustSize();
        const QPixmap overlay = dialog->grab();
        QPainter painter(&shot);
        painter.fillRect(shot.rect(), QColor(0, 0, 0, 60));
        const int x = (shot.width() - overlay.width()) / 2;
        const int y = window.toolbar()->geometry().bottom() + 32;
        painter.setPen(QColor(0, 0, 0, 90));
        painter.drawRect(QRect(QPoint(x - 1, y - 1), overlay.size() + QSize(1, 1)));
        painter.drawPixmap(x, y, overlay);
        // The offscreen platform draws no title bars: the dialog's title goes above it.
        if (!dialog->windowTitle().isEmpty()) {
            const QRect titleBar(x - 1, y - 24, overlay.width() + 2, 23);
            painter.fillRect(titleBar, QColor(0xe4, 0xe4, 0xe4));
            painter.drawRect(titleBar);
            painter.setPen(Qt::black);
            painter.drawText(titleBar, Qt::AlignCenter, dialog->windowTitle());
        }
    }
    if (!shot.save(path)) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(path));
        std::exit(1);
    }
    std::printf("%s\n", qPrintable(path));
}

} // namespace halvora::screenshots
