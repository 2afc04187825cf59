// Renders the change commands' alerts and sheets over the main window on the offscreen
// platform and writes them as PNG files, for review by eye: the confirmation alert, the
// add sheet, the history with mixed outcomes, a bulk preview with ready, skipped and
// blocked rows, and the bulk result.
//
//     halvora-sheet-screenshots [OUTPUT_DIR]
#include "ScreenshotSupport.h"

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
#include <QLocale>
#include <QTest>
#include <QToolBar>

#include <cstdlib>

using namespace halvora;
using namespace halvora::screenshots;
using halvora::test::ScriptedFileAssociationManager;

int main(int argc, char **argv)
{
    halvora::test::isolateUserEnvironment();
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    // Dates and times as a Korean user sees them, whatever the machine's locale.
    QLocale::setDefault(QLocale(QLocale::Korean, QLocale::SouthKorea));
    ensureIconTheme();
    useSampleIcons();
    const QString output = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    QDir().mkpath(output);
    const auto file = [&](const char *name) { return QDir(output).filePath(QString::fromLatin1(name)); };

    auto manager = std::make_shared<ScriptedFileAssociationManager>();
    manager->setRegisteredAssociations(sampleAssociations());
    manager->setHistory(sampleHistory());
    HalvoraState state(manager, ExtensionCatalog::defaultCatalog());
    MainWindow window(state, DesktopServices{});
    ChangeCommands *commands = installChangeCommands(window, ChangeCommandsOptions{std::nullopt});
    window.resize(MainWindow::minimumWidth, MainWindow::minimumHeight);
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

    // For the text editor: txt and yaml already open with it (skipped), md, rtf and css list
    // it among their candidates (ready), png does not (blocked).
    state.setBulkSelectionEnabled(true);
    for (const QString &extension : {QStringLiteral("txt"), QStringLiteral("md"), QStringLiteral("rtf"),
                                     QStringLiteral("css"), QStringLiteral("png"), QStringLiteral("yaml")})
        state.toggleBulkSelection(listed(extension));
    state.setPendingBulkPlan(state.makeBulkPlan(editor, false));
    queue.currentDialog()->resize(860, 440);
    save(window, queue.currentDialog(), file("bulk-preview.png"));
    commands->bulkPreview()->setApplying(true);
    save(window, queue.currentDialog(), file("bulk-preview-applying.png"));
    commands->bulkPreview()->setApplying(false);
    QTest::keyClick(queue.currentDialog(), Qt::Key_Escape);

    manager->setApplyOutcome(QStringLiteral("rtf"), AssociationVerificationStatus::verificationFailed);
    state.confirmBulkPlan(state.makeBulkPlan(editor, false));
    save(window, queue.currentDialog(), file("bulk-result.png"));
    QTest::keyClick(queue.currentDialog(), Qt::Key_Escape);
    return 0;
}
