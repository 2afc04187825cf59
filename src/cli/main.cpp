// halvora-cli: the same associations, changes and history as the window, for scripts.
#include "cli/BlockingTask.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/LinuxApplicationDirectory.h"
#include "core/history/UserDefaultsAssociationChangeHistoryStore.h"
#include "core/model/ExtensionCatalog.h"
#include "core/service/FileAssociationService.h"
#include "linux/desktop/LinuxFileAssociationClient.h"
#include "linux/desktop/ResolverApplications.h"
#include "linux/mimeapps/DesktopChanges.h"
#include "linux/store/SqliteKeyValueStore.h"

#include <QCoreApplication>

namespace {

// The window's store settings: both programs must read and write the same history.
const QString historyKey = QStringLiteral("associationChangeHistory");
const QString legacyRecentChangeKey = QStringLiteral("recentAssociationChange");
constexpr int maxHistoryRecords = 50;

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("halvora-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(HALVORA_VERSION));

    using namespace halvora;
    auto keyValues = std::make_shared<SqliteKeyValueStore>();
    auto store = std::make_shared<UserDefaultsAssociationChangeHistoryStore>(
        keyValues, historyKey, legacyRecentChangeKey, maxHistoryRecords);
    auto service = std::make_shared<FileAssociationService>(
        makeLinuxFileAssociationClient(), store, ExtensionCatalog::defaultCatalog(), Timestamp::now,
        mimeapps::makeDesktopChangeGuard(keyValues, processResolver()));
    // A change that a killed run left without its record gets it before anything else.
    try {
        cli::runToEnd(service->recoverInterruptedChange());
    } catch (...) {
        // The next change tries again; reading must not fail for it.
    }
    // A client of its own, only to describe the applications named on the command line.
    const cli::LinuxApplicationDirectory applications{
        std::shared_ptr<const WorkspaceFileAssociationClient>{makeLinuxFileAssociationClient()}};
    cli::ProcessConsole console;
    const std::shared_ptr<const WorkspaceFileAssociationClient> types{makeLinuxFileAssociationClient()};
    cli::CliContext context{
        service, applications, ExtensionCatalog::defaultCatalog(), console,
        [types](const QString &extension) { return types->contentTypesForExtension(extension); }};
    return cli::runCli(QCoreApplication::arguments().mid(1), context);
}
