// Writes PNG files of the window, its sheets and its alerts over a realistic sample desktop,
// on the offscreen platform, for review by eye.
//
//     halvora-screenshots [OUTPUT_DIR]
#include "app/AppIcon.h"
#include "app/ApplicationGraph.h"
#include "app/DesktopServices.h"
#include "app/ExtensionSidebarView.h"
#include "app/MainWindow.h"
#include "app/PresentationQueue.h"
#include "app/SymbolIcons.h"
#include "app/commands/ChangeCommands.h"
#include "app/sheets/AddExtensionSheet.h"
#include "app/sheets/BulkPreviewSheet.h"
#include "core/model/ExtensionCatalog.h"
#include "core/state/HalvoraState.h"
#include "support/TestIsolation.h"
#include "support/doubles/ScriptedFileAssociationManager.h"
#include "support/doubles/WaitForTask.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QTest>
#include <QToolBar>

#include <cstdio>
#include <cstdlib>

using namespace halvora;

namespace {

// The sample applications by letter: name, desktop entry (org.example.ID.desktop), theme icon.
struct SampleApp {
    char key;
    const char *name, *id, *icon;
};
constexpr SampleApp sampleApps[] = {
    {'v', "문서 보기", "DocumentViewer", "x-office-document"},
    {'e', "텍스트 편집기", "TextEditor", "accessories-text-editor"},
    {'o', "Office Writer", "Writer", "applications-office"},
    {'i', "이미지 보기", "ImageViewer", "image-x-generic"},
    {'p', "Pixel Paint", "PixelPaint", "applications-graphics"},
    {'b', "웹 브라우저", "Browser", "web-browser"},
    {'c', "Code Studio", "CodeStudio", "applications-development"},
    {'m', "동영상 플레이어", "VideoPlayer", "multimedia-player"},
    {'a', "압축 관리자", "Archiver", "package-x-generic"},
    {'t', "Terminal", "Terminal", "utilities-terminal"},
};

// The entries live in the isolated data home: icons are looked up only for entries that exist.
QUrl entryUrl(const SampleApp &app)
{
    return QUrl::fromLocalFile(
        QFile::decodeName(qgetenv("XDG_DATA_HOME")) +
        QStringLiteral("/applications/org.example.%1.desktop").arg(QString::fromUtf8(app.id)));
}

AssociatedApp sampleApp(char key)
{
    for (const SampleApp &app : sampleApps)
        if (app.key == key)
            return AssociatedApp(QString::fromUtf8(app.name), entryUrl(app).fileName(), entryUrl(app));
    std::abort();
}

const AssociatedApp office = sampleApp('o'), editor = sampleApp('e'), ide = sampleApp('c');

// About forty associations across every category, some without a default application or
// without candidates: "extension type current candidates", applications by letter, "-" for none.
QList<FileAssociation> sampleAssociations()
{
    const QString table = QString::fromUtf8(
        "pdf application/pdf v vbpo; txt text/plain e eco; md text/markdown - ec; "
        "docx application/vnd.openxmlformats-officedocument.wordprocessingml.document o o; "
        "doc application/msword o o; "
        "xlsx application/vnd.openxmlformats-officedocument.spreadsheetml.sheet o o; "
        "pptx application/vnd.openxmlformats-officedocument.presentationml.presentation o o; "
        "rtf application/rtf o oe; odt application/vnd.oasis.opendocument.text o o; log text/x-log e ec; "
        "pages application/x-iwork-pages-sffpages - -; jpg image/jpeg i ipb; png image/png i ipb; "
        "gif image/gif i ib; webp image/webp i ib; svg image/svg+xml b bpic; heic image/heif - i; "
        "psd image/vnd.adobe.photoshop p p; html text/html b bce; css text/css c ce; "
        "js text/javascript c ceb; py text/x-python3 c cet; cpp text/x-c++src c ce; "
        "sh application/x-shellscript t tce; rs text/rust - ce; yaml application/yaml e ec; "
        "zip application/zip a a; tar application/x-tar a a; 7z application/x-7z-compressed - -; "
        "gz application/gzip a a; mp3 audio/mpeg m m; flac audio/flac m m; mp4 video/mp4 m mb; "
        "mkv video/x-matroska m m; mov video/quicktime - m; csv text/csv o oec; "
        "json application/json c ceb; xml application/xml e ecb; sqlite application/vnd.sqlite3 - -; "
        "epub application/epub+zip v v; ttf font/ttf - -");
    QList<FileAssociation> associations;
    for (const QString &row : table.split(u';')) {
        const QStringList fields = row.trimmed().split(u' ');
        QList<AssociatedApp> candidates;
        for (const QChar key : fields[3])
            if (key != u'-')
                candidates.append(sampleApp(key.toLatin1()));
        associations.append(FileAssociation(
            fields[0], fields[1],
            fields[2] == u"-" ? std::nullopt : std::optional(sampleApp(fields[2][0].toLatin1())),
            candidates));
    }
    return associations;
}

// A few changes with every kind of outcome, newest first.
QList<AssociationChangeRecord> sampleHistory()
{
    using Status = AssociationVerificationStatus;
    const auto record = [](int minutesAgo, const char *extension, char previous, char replacement,
                           Status status, const char *message = nullptr) {
        const QString ext = QString::fromUtf8(extension);
        return AssociationChangeRecord(
            newRecordIdentifier(), ext, QStringLiteral("application/x-") + ext,
            previous ? std::optional(sampleApp(previous)) : std::nullopt, sampleApp(replacement),
            Timestamp::fromDateTime(QDateTime::currentDateTime().addSecs(-60 * minutesAgo)), status,
            message ? std::optional(QString::fromUtf8(message)) : std::nullopt);
    };
    return {
        record(3, "pdf", 'b', 'v', Status::verified),
        record(20, "txt", 'c', 'e', Status::apiFailed, "mimeapps.list에 쓸 수 없습니다."),
        record(55, "csv", 'e', 'o', Status::verificationFailed,
               "시스템 API 호출은 완료됐지만 기본 앱 재확인 결과가 일치하지 않습니다."),
        record(120, "md", 0, 'e', Status::verified),
        record(600, "png", 'b', 'i', Status::undoVerified),
    };
}

// The window with its change commands over the sample desktop, at its minimum size.
struct Desktop {
    explicit Desktop(QString output) : output(std::move(output))
    {
        window.resize(MainWindow::minimumWidth, MainWindow::minimumHeight);
        window.show();
        QCoreApplication::processEvents();
    }

    const FileAssociation &listed(const QString &extension) const
    {
        for (const FileAssociation &a : state.associations())
            if (a.fileExtension() == extension)
                return a;
        std::abort();
    }

    // The window as it is, with the dialog on top where a sheet hangs from the toolbar; at
    // `scale` device pixels per point.
    void save(const char *name, QWidget *dialog = nullptr, qreal scale = 1)
    {
        const QString path = QDir(output).filePath(QString::fromLatin1(name));
        test::processEventsUntil([] { return AppIconCache::instance().isIdle(); });
        QCoreApplication::processEvents();
        QPixmap shot(window.size() * scale);
        shot.setDevicePixelRatio(scale);
        window.render(&shot);
        if (dialog) {
            if (!qobject_cast<QFileDialog *>(dialog)) // shown at the size it opens with
                dialog->adjustSize();
            const QPixmap overlay = dialog->grab();
            QPainter painter(&shot);
            painter.fillRect(shot.rect(), QColor(0, 0, 0, 60));
            const int x = (window.width() - overlay.width()) / 2;
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

    std::shared_ptr<test::ScriptedFileAssociationManager> manager = [] {
        auto manager = std::make_shared<test::ScriptedFileAssociationManager>();
        manager->setRegisteredAssociations(sampleAssociations());
        manager->setHistory(sampleHistory());
        return manager;
    }();
    HalvoraState state{manager, ExtensionCatalog::defaultCatalog()};
    MainWindow window{state, DesktopServices{}};
    ChangeCommands *commands = installChangeCommands(window, ChangeCommandsOptions{std::nullopt});
    QString output;
};

void windowShots(const QString &output)
{
    Desktop desktop(output);
    HalvoraState &state = desktop.state;
    desktop.save("window-first-screen.png");

    state.toggleGroup(ExtensionCategory::documents);
    state.toggleGroup(ExtensionCategory::images);
    state.setSelectedExtension(QStringLiteral("pdf"));
    desktop.save("window-extensions.png");

    // Several candidates, the current one marked, and a latest change with its status.
    state.setSelectedExtension(QStringLiteral("svg"));
    desktop.save("window-detail-candidates.png");

    state.toggleGroup(ExtensionCategory::documents);
    state.toggleGroup(ExtensionCategory::archives);
    state.setSelectedExtension(QStringLiteral("7z"));
    desktop.save("window-detail-no-candidates.png");

    state.setSidebarMode(AssociationSidebarMode::applications);
    state.toggleApplicationGroup(ide.id());
    state.toggleApplicationGroup(AppAssociationGroup::unassignedID);
    state.setSelectedExtension(QStringLiteral("py"));
    desktop.window.sidebar()->listView()->scrollToTop();
    desktop.save("window-applications.png");

    state.setSidebarMode(AssociationSidebarMode::extensions);
    state.setBulkSelectionEnabled(true);
    state.toggleBulkSelection(desktop.listed(QStringLiteral("zip")));
    state.toggleBulkSelection(desktop.listed(QStringLiteral("tar")));
    desktop.window.sidebar()->listView()->scrollToTop();
    desktop.save("window-bulk-mode.png");
    state.setBulkSelectionEnabled(false);

    state.setSearchText(QStringLiteral("없는확장자"));
    state.setSelectedExtension(std::nullopt);
    desktop.save("window-detail-empty.png");
}

// Where the keyboard is: on a sidebar row, and on a toolbar item.
void focusShots(const QString &output)
{
    Desktop desktop(output);
    HalvoraState &state = desktop.state;
    desktop.window.activateWindow();
    test::processEventsUntil([&] { return QApplication::activeWindow() == &desktop.window; });
    state.toggleGroup(ExtensionCategory::documents);
    state.setSelectedExtension(QStringLiteral("md"));
    // As after a Tab press: styles draw focus only once the keyboard has moved it.
    desktop.window.setAttribute(Qt::WA_KeyboardFocusChange);
    SidebarListView *list = desktop.window.sidebar()->listView();
    list->setFocus(Qt::TabFocusReason);
    QTest::keyClick(list, Qt::Key_Down);
    desktop.save("window-focus-sidebar.png");
    desktop.window.toolbar()->widgetForAction(desktop.window.historyAction())->setFocus(Qt::TabFocusReason);
    desktop.save("window-focus-toolbar.png");
}

// The window in a dark palette, and at twice the pixel density.
void themeShots(const QString &output)
{
    const QPalette light = QApplication::palette();
    // Qt derives the other roles (light text, darker bases) from these two.
    QPalette dark(QColor(0x3a, 0x3a, 0x3e), QColor(0x2b, 0x2b, 0x2e));
    dark.setColor(QPalette::Highlight, QColor(0x35, 0x84, 0xe4));
    QApplication::setPalette(dark);
    {
        Desktop desktop(output);
        desktop.state.toggleGroup(ExtensionCategory::images);
        desktop.state.setSelectedExtension(QStringLiteral("png"));
        desktop.save("window-dark.png");
    }
    QApplication::setPalette(light);

    Desktop desktop(output);
    desktop.state.toggleGroup(ExtensionCategory::documents);
    desktop.state.setSelectedExtension(QStringLiteral("pdf"));
    desktop.save("window-2x.png", nullptr, 2);
}

// An extension and a message too long for their place: cut with "…", or wrapped.
void longTextShots(const QString &output)
{
    Desktop desktop(output);
    HalvoraState &state = desktop.state;
    const QString extension =
        QStringLiteral("averyveryverylongextensionthatnoonewouldevertypebyhandbutsomeprogramwrotesomewhere");
    desktop.manager->setAssociation(
        FileAssociation(extension, QStringLiteral("application/x-") + extension, office, {office, editor}));
    state.addExtension(extension);
    test::processEventsUntil([&] { return state.selectedExtension() == extension; });
    state.toggleGroup(ExtensionCategory::other);
    desktop.window.sidebar()->listView()->scrollToBottom();
    desktop.save("window-long-extension.png");
    state.setAlertMessage(QStringLiteral(
        "기본 앱을 바꾸지 못했습니다: /home/user/.config/mimeapps.list 파일에 쓸 수 없습니다. 파일의 권한과 "
        "디스크의 남은 공간을 확인한 뒤 다시 시도하세요. 같은 문제가 계속되면 파일을 다른 곳으로 옮겨 "
        "보세요."));
    desktop.save("alert-long-message.png", desktop.window.presentations().currentDialog());
    QTest::keyClick(desktop.window.presentations().currentDialog(), Qt::Key_Escape);

    // Qt's own texts in Korean, and every column of the panel in full.
    const std::unique_ptr<QFileDialog> panel = FileDialogApplicationPicker::makePanel(&desktop.window);
    panel->show();
    // The panel lists the folder from a thread of its own.
    if (auto *files = panel->findChild<QFileSystemModel *>())
        test::processEventsUntil(
            [&] { return files->rowCount(files->index(panel->directory().path())) > 0; });
    desktop.save("open-panel.png", panel.get());
}

void sheetShots(const QString &output)
{
    Desktop desktop(output);
    HalvoraState &state = desktop.state;
    PresentationQueue &queue = desktop.window.presentations();
    const auto close = [&] { QTest::keyClick(queue.currentDialog(), Qt::Key_Escape); };
    state.setSelectedExtension(QStringLiteral("pdf"));

    state.setPendingChange(PendingAssociationChange(desktop.listed(QStringLiteral("pdf")), office));
    desktop.save("confirm-change.png", queue.currentDialog());
    close();

    desktop.window.addExtensionAction()->trigger();
    if (auto *sheet = qobject_cast<AddExtensionSheet *>(queue.currentDialog()))
        sheet->textField()->setText(QStringLiteral("heic"));
    desktop.save("add-extension-sheet.png", queue.currentDialog());
    close();

    desktop.window.historyAction()->trigger();
    queue.currentDialog()->resize(720, 440);
    desktop.save("history-sheet.png", queue.currentDialog());
    close();

    // For the text editor: txt and yaml already open with it (skipped), md, rtf and css
    // list it among their candidates (ready), png does not (blocked).
    state.setBulkSelectionEnabled(true);
    for (const char *extension : {"txt", "md", "rtf", "css", "png", "yaml"})
        state.toggleBulkSelection(desktop.listed(QString::fromLatin1(extension)));
    state.setPendingBulkPlan(state.makeBulkPlan(editor, false));
    queue.currentDialog()->resize(860, 440);
    desktop.save("bulk-preview.png", queue.currentDialog());
    desktop.commands->bulkPreview()->setApplying(true);
    desktop.save("bulk-preview-applying.png", queue.currentDialog());
    desktop.commands->bulkPreview()->setApplying(false);
    close();

    desktop.manager->setApplyOutcome(QStringLiteral("rtf"),
                                     AssociationVerificationStatus::verificationFailed);
    state.confirmBulkPlan(state.makeBulkPlan(editor, false));
    desktop.save("bulk-result.png", queue.currentDialog());
    close();
}

} // namespace

int main(int argc, char **argv)
{
    test::isolateUserEnvironment();
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    // Dates and times as a Korean user sees them, whatever the machine's locale.
    QLocale::setDefault(QLocale(QLocale::Korean, QLocale::SouthKorea));
    installQtTranslations(QLocale());
    ensureIconTheme();
    // Application icons come from the installed theme, as the desktop entries would name them.
    setDesktopEntryIconLookup([](const QUrl &entry) {
        for (const SampleApp &app : sampleApps)
            if (entryUrl(app) == entry)
                return QString::fromUtf8(app.icon);
        return QString();
    });
    const QString output = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    QDir().mkpath(output);
    QDir().mkpath(QFileInfo(entryUrl(sampleApps[0]).toLocalFile()).path());
    for (const SampleApp &app : sampleApps)
        if (!QFile(entryUrl(app).toLocalFile()).open(QIODevice::WriteOnly))
            return 1;
    windowShots(output);
    focusShots(output);
    themeShots(output);
    longTextShots(output);
    sheetShots(output);
    return 0;
}
