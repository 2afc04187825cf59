// Renders the main window at its minimum size on the offscreen platform with about forty
// associations and a few history records, and writes PNG files for review by eye: the first
// screen after loading, the extension and application lists with groups open, the detail
// pane of an extension with several candidates, one without candidates or default, the empty
// detail pane, and the list in bulk mode.
//
//     halvora-window-screenshots [OUTPUT_DIR]
#include "ScreenshotSupport.h"

#include "app/DesktopServices.h"
#include "app/ExtensionSidebarView.h"
#include "app/MainWindow.h"
#include "app/SymbolIcons.h"
#include "app/commands/ChangeCommands.h"
#include "core/model/ExtensionCatalog.h"
#include "core/state/HalvoraState.h"
#include "support/TestIsolation.h"

#include <QApplication>
#include <QDir>
#include <QLocale>

#include <cstdlib>

using namespace halvora;
using namespace halvora::screenshots;

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

    auto manager = std::make_shared<halvora::test::ScriptedFileAssociationManager>();
    manager->setRegisteredAssociations(sampleAssociations());
    manager->setHistory(sampleHistory());
    HalvoraState state(manager, ExtensionCatalog::defaultCatalog());
    MainWindow window(state, DesktopServices{});
    installChangeCommands(window, ChangeCommandsOptions{std::nullopt});
    window.resize(MainWindow::minimumWidth, MainWindow::minimumHeight);
    window.show();
    QCoreApplication::processEvents();
    save(window, nullptr, file("window-first-screen.png"));

    state.toggleGroup(ExtensionCategory::documents);
    state.toggleGroup(ExtensionCategory::images);
    state.setSelectedExtension(QStringLiteral("pdf"));
    save(window, nullptr, file("window-extensions.png"));

    // Several candidates, the current one marked, and a latest change with its status.
    state.setSelectedExtension(QStringLiteral("svg"));
    save(window, nullptr, file("window-detail-candidates.png"));

    state.toggleGroup(ExtensionCategory::documents);
    state.toggleGroup(ExtensionCategory::archives);
    state.setSelectedExtension(QStringLiteral("7z"));
    save(window, nullptr, file("window-detail-no-candidates.png"));

    state.setSidebarMode(AssociationSidebarMode::applications);
    state.toggleApplicationGroup(ide.id());
    state.toggleApplicationGroup(AppAssociationGroup::unassignedID);
    state.setSelectedExtension(QStringLiteral("py"));
    window.sidebar()->listView()->scrollToTop();
    save(window, nullptr, file("window-applications.png"));

    state.setSidebarMode(AssociationSidebarMode::extensions);
    state.setBulkSelectionEnabled(true);
    for (const QString &extension : {QStringLiteral("zip"), QStringLiteral("tar")}) {
        for (const FileAssociation &association : state.associations()) {
            if (association.fileExtension() == extension)
                state.toggleBulkSelection(association);
        }
    }
    window.sidebar()->listView()->scrollToTop();
    save(window, nullptr, file("window-bulk-mode.png"));
    state.setBulkSelectionEnabled(false);

    state.setSearchText(QStringLiteral("없는확장자"));
    state.setSelectedExtension(std::nullopt);
    save(window, nullptr, file("window-detail-empty.png"));
    return 0;
}
