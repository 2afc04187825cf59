#include "app/ApplicationGraph.h"

#include "app/AppIcon.h"
#include "app/SymbolIcons.h"
#include "core/history/UserDefaultsAssociationChangeHistoryStore.h"
#include "core/model/ExtensionCatalog.h"
#include "core/service/FileAssociationService.h"
#include "core/state/HalvoraState.h"
#include "linux/desktop/GioDesktopEntries.h"
#include "linux/desktop/LinuxFileAssociationClient.h"
#include "linux/desktop/ResolverApplications.h"
#include "linux/mimeapps/DesktopChanges.h"
#if __has_include("linux/store/SqliteKeyValueStore.h")
#include "linux/store/SqliteKeyValueStore.h"
#define HALVORA_HAS_SQLITE_STORE 1
#else
#include "core/history/InMemoryKeyValueStore.h"
#endif

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace halvora {

namespace {

QCoro::Task<> recoverInBackground(std::shared_ptr<FileAssociationService> service)
{
    try {
        QCoro::Task<std::optional<AssociationChangeRecord>> recovery = service->recoverInterruptedChange();
        co_await recovery;
    } catch (...) {
        // The next change tries again.
    }
}

} // namespace

ApplicationGraph::ApplicationGraph()
{
    std::unique_ptr<FileAssociationSystemClient> client = makeLinuxFileAssociationClient();
#ifdef HALVORA_HAS_SQLITE_STORE
    auto userDefaults = std::make_shared<SqliteKeyValueStore>();
#else
    // Only while the SQLite store is not in the tree: the history then lasts one run.
    auto userDefaults = std::make_shared<InMemoryKeyValueStore>();
#endif
    store_ = std::make_shared<UserDefaultsAssociationChangeHistoryStore>(
        userDefaults, historyKey, legacyRecentChangeKey, maxHistoryRecords);
    const ExtensionCatalog &catalog = ExtensionCatalog::defaultCatalog();
    auto service = std::make_shared<FileAssociationService>(
        std::move(client), store_, catalog, Timestamp::now,
        mimeapps::makeDesktopChangeGuard(userDefaults, processResolver()));
    // A change that a killed run left without its record gets it, off the main thread; the
    // first change of this run would do it otherwise.
    recoverInBackground(service);
    state_ = std::make_unique<HalvoraState>(std::move(service), catalog);
}

ApplicationGraph::~ApplicationGraph() = default;

AssociatedApp ApplicationGraph::describeApplication(const QUrl &url)
{
    return makeLinuxFileAssociationClient()->app(url);
}

void installQtTranslations(const QLocale &locale)
{
    auto *qtTexts = new QTranslator(qApp);
    if (qtTexts->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qtTexts);
    else
        delete qtTexts;
}

void prepareApplication()
{
    QApplication::setApplicationName(QStringLiteral("halvora"));
    QApplication::setApplicationDisplayName(QStringLiteral("Halvora"));
    QApplication::setDesktopFileName(QStringLiteral("org.halvora.Halvora"));
    ensureIconTheme();
    // The program's own icon, also when it runs from the build tree without an installed theme.
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/org.halvora.Halvora.svg")));
    installQtTranslations(QLocale::system());
    setDesktopEntryIconLookup(
        [](const QUrl &entry) { return desktopEntryIconName(entry).value_or(QString()); });
}

} // namespace halvora
