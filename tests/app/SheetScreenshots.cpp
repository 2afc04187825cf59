// Renders the change commands' alerts and sheets over the main window on the offscreen
// platform and writes them as PNG files, for review by eye: the confirmation alert, the
// add sheet, the history with mixed outcomes, a bulk preview with ready, skipped and
// blocked rows, and the bulk result.
//
//     halvora-sheet-screenshots [OUTPUT_DIR]
#include "app/DesktopServices.h"
#include "app/MainWindow.h"
#include "app/PresentationQueue.h"
#include "app/SymbolIcons.h"
#include "app/commands/ChangeCommands.h"
#include "app/sheets/AddExtensionSheet.h"
#include "core/model/ExtensionCatalog.h"
#include "core/state/HalvoraState.h"
#include "support/TestIsolation.h"
#include "support/doubles/ScriptedFileAssociationManager.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QPainter>
#include <QTest>
#include <QToolBar>

#include <cstdio>
#include <cstdlib>

using namespace halvora;
using halvora::test::ScriptedFileAssociationManager;

namespace {

AssociatedApp app(const QString &name, const QString &id)
{
    return AssociatedApp(name, id, QUrl::fromLocalFile(QStringLiteral("/usr/share/applications/") + id));
}

const AssociatedApp viewer =
    app(QStringLiteral("문서 보기"), QStringLiteral("org.example.DocumentViewer.desktop"));
const AssociatedApp editor =
    app(QStringLiteral("텍스트 편집기"), QStringLiteral("org.example.TextEditor.desktop"));
const AssociatedApp office =
    app(QStringLiteral("Office Writer"), QStringLiteral("org.example.Writer.desktop"));
const AssociatedApp images =
    app(QStringLiteral("이미지 보기"), QStringLiteral("org.example.ImageViewer.desktop"));

FileAssociation assoc(const QString &extension, const QString &type, std::optional<AssociatedApp> current,
                      QList<AssociatedApp> candidates)
{
    return FileAssociation(extension, type, std::move(current), std::move(candidates));
}

AssociationChangeRecord record(int minutesAgo, const QString &extension,
                               std::optional<AssociatedApp> previous, AssociatedApp replacement,
                               AssociationVerificationStatus status,
                               std::optional<QString> message = std::nullopt)
{
    const Timestamp when = Timestamp::fromDateTime(QDateTime::currentDateTime().addSecs(-60 * minutesAgo));
    return AssociationChangeRecord(newRecordIdentifier(), extension,
                                   QStringLiteral("application/x-") + extension, std::move(previous),
                                   std::move(replacement), when, status, std::move(message));
}

// The window as it is, with the dialog on top where a sheet would hang from the toolbar.
void save(MainWindow &window, QWidget *dialog, const QString &path)
{
    QCoreApplication::processEvents();
    QPixmap shot = window.grab();
    if (dialog) {
        dialog->adjustSize();
        const QPixmap overlay = dialog->grab();
        QPainter painter(&shot);
        painter.fillRect(shot.rect(), QColor(0, 0, 0, 60));
        const int x = (shot.width() - overlay.width()) / 2;
        const int y = window.toolbar()->geometry().bottom() + 8;
        painter.setPen(QColor(0, 0, 0, 90));
        painter.drawRect(QRect(QPoint(x - 1, y - 1), overlay.size() + QSize(1, 1)));
        painter.drawPixmap(x, y, overlay);
    }
    if (!shot.save(path))
        std::fprintf(stderr, "could not write %s\n", qPrintable(path));
    else
        std::printf("%s\n", qPrintable(path));
}

} // namespace

int main(int argc, char **argv)
{
    halvora::test::isolateUserEnvironment();
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    ensureIconTheme();
    const QString output = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    QDir().mkpath(output);
    const auto file = [&](const char *name) { return QDir(output).filePath(QString::fromLatin1(name)); };

    auto manager = std::make_shared<ScriptedFileAssociationManager>();
    manager->setRegisteredAssociations({
        assoc(QStringLiteral("pdf"), QStringLiteral("application/pdf"), viewer, {viewer, office}),
        assoc(QStringLiteral("txt"), QStringLiteral("text/plain"), editor, {editor, office}),
        assoc(QStringLiteral("md"), QStringLiteral("text/markdown"), std::nullopt, {editor}),
        assoc(QStringLiteral("docx"),
              QStringLiteral("application/vnd.openxmlformats-officedocument.wordprocessingml.document"),
              office, {office}),
        assoc(QStringLiteral("png"), QStringLiteral("image/png"), images, {images}),
        assoc(QStringLiteral("csv"), QStringLiteral("text/csv"), office, {office, editor}),
    });
    manager->setHistory({
        record(3, QStringLiteral("pdf"), viewer, office, AssociationVerificationStatus::verified),
        record(20, QStringLiteral("txt"), editor, office, AssociationVerificationStatus::apiFailed,
               QStringLiteral("mimeapps.list에 쓸 수 없습니다.")),
        record(55, QStringLiteral("csv"), editor, office, AssociationVerificationStatus::verificationFailed,
               QStringLiteral("시스템 API 호출은 완료됐지만 기본 앱 재확인 결과가 일치하지 않습니다.")),
        record(120, QStringLiteral("md"), std::nullopt, editor, AssociationVerificationStatus::verified),
        record(600, QStringLiteral("png"), viewer, images, AssociationVerificationStatus::undoVerified),
    });
    HalvoraState state(manager, ExtensionCatalog::defaultCatalog());
    MainWindow window(state, DesktopServices{});
    ChangeCommands *commands = installChangeCommands(window, ChangeCommandsOptions{std::nullopt});
    window.resize(MainWindow::minimumWidth + 80, MainWindow::minimumHeight + 80);
    window.show();
    QCoreApplication::processEvents();
    state.setSelectedExtension(QStringLiteral("pdf"));

    const auto listed = [&](const QString &extension) {
        for (const FileAssociation &a : state.associations()) {
            if (a.fileExtension() == extension)
                return a;
        }
        std::abort();
    };
    PresentationQueue &queue = window.presentations();

    state.setPendingChange(PendingAssociationChange(listed(QStringLiteral("pdf")), office));
    save(window, queue.currentDialog(), file("confirm-change.png"));
    QTest::keyClick(queue.currentDialog(), Qt::Key_Escape);

    window.addExtensionAction()->trigger();
    if (auto *sheet = qobject_cast<AddExtensionSheet *>(queue.currentDialog()))
        sheet->textField()->setText(QStringLiteral("heic"));
    save(window, queue.currentDialog(), file("add-extension-sheet.png"));
    QTest::keyClick(queue.currentDialog(), Qt::Key_Escape);

    window.historyAction()->trigger();
    queue.currentDialog()->resize(720, 440);
    save(window, queue.currentDialog(), file("history-sheet.png"));
    QTest::keyClick(queue.currentDialog(), Qt::Key_Escape);

    // pdf already opens with the viewer (skipped), md and txt take it (ready, md without an
    // undo target), png and docx do not list it (blocked).
    state.setBulkSelectionEnabled(true);
    for (const QString &extension : {QStringLiteral("pdf"), QStringLiteral("md"), QStringLiteral("txt"),
                                     QStringLiteral("png"), QStringLiteral("docx")})
        state.toggleBulkSelection(listed(extension));
    state.setPendingBulkPlan(state.makeBulkPlan(viewer, false));
    queue.currentDialog()->resize(860, 440);
    save(window, queue.currentDialog(), file("bulk-preview.png"));
    commands->bulkPreview()->setApplying(true);
    save(window, queue.currentDialog(), file("bulk-preview-applying.png"));
    commands->bulkPreview()->setApplying(false);
    QTest::keyClick(queue.currentDialog(), Qt::Key_Escape);

    manager->setApplyOutcome(QStringLiteral("txt"), AssociationVerificationStatus::verificationFailed);
    state.confirmBulkPlan(state.makeBulkPlan(viewer, false));
    save(window, queue.currentDialog(), file("bulk-result.png"));
    QTest::keyClick(queue.currentDialog(), Qt::Key_Escape);
    return 0;
}
