// The service's full load with the real client on a desktop of realistic size (about 300
// desktop entries, a user mimeapps.list naming 500 types), against loops in the same run
// that resolve the same extensions with QMimeDatabase and GIO directly.

#include "baselines/DirectLoad.h"
#include "core/history/InMemoryKeyValueStore.h"
#include "core/history/UserDefaultsAssociationChangeHistoryStore.h"
#include "core/service/FileAssociationService.h"
#include "fixtures/ScaledFixture.h"
#include "linux/desktop/LinuxFileAssociationClient.h"
#include "support/TestIsolation.h"
#include "support/doubles/WaitForTask.h"
#include "support/fixtures/XdgFixture.h"

#include <gio/gio.h>

#include <QCoreApplication>
#include <QFile>
#include <QMimeDatabase>
#include <QSet>

#include <benchmark/benchmark.h>

using namespace halvora;
using namespace halvora::test;

namespace {

XdgFixture *tree = nullptr;

std::unique_ptr<FileAssociationService> makeService()
{
    auto history = std::make_shared<UserDefaultsAssociationChangeHistoryStore>(
        std::make_shared<InMemoryKeyValueStore>(), QStringLiteral("associationChangeHistory"),
        QStringLiteral("recentAssociationChange"), 50);
    return std::make_unique<FileAssociationService>(makeLinuxFileAssociationClient(), history,
                                                    ExtensionCatalog::defaultCatalog());
}

// The MIME types of [Default Applications] and [Added Associations], each once, in file order.
QStringList typesOfUserList()
{
    QStringList types;
    GKeyFile *file = g_key_file_new();
    const QByteArray path = QFile::encodeName(tree->mimeAppsListPath(XdgFixture::Scope::user));
    if (g_key_file_load_from_file(file, path.constData(), G_KEY_FILE_NONE, nullptr)) {
        for (const char *group : {"Default Applications", "Added Associations"}) {
            gchar **keys = g_key_file_get_keys(file, group, nullptr, nullptr);
            for (gchar **key = keys; key && *key; ++key) {
                const QString type = QString::fromUtf8(*key);
                if (!types.contains(type))
                    types.append(type);
            }
            g_strfreev(keys);
        }
    }
    g_key_file_free(file);
    return types;
}

// The common extensions, then the preferred extension of each listed type, each once.
QStringList extensionsToResolve(const QMimeDatabase &database)
{
    QStringList extensions = ExtensionCatalog::defaultCatalog().commonExtensions();
    QSet<QString> seen(extensions.cbegin(), extensions.cend());
    for (const QString &name : typesOfUserList()) {
        const QMimeType type = database.mimeTypeForName(name);
        const QString suffix = type.isValid() ? type.preferredSuffix().toLower() : QString();
        if (!suffix.isEmpty() && !seen.contains(suffix)) {
            seen.insert(suffix);
            extensions.append(suffix);
        }
    }
    return extensions;
}

void BM_ServiceFullLoad(benchmark::State &state)
{
    const auto service = makeService();
    qsizetype listed = 0;
    for (auto _ : state)
        listed = waitForTask(service->loadRegisteredAssociations()).size();
    state.counters["associations"] = static_cast<double>(listed);
}

// The client alone over the same extensions, on this thread: what the service adds is the
// difference.
void BM_ClientLoadEachExtension(benchmark::State &state)
{
    const auto client = makeLinuxFileAssociationClient();
    const QStringList extensions = extensionsToResolve(QMimeDatabase());
    qsizetype listed = 0;
    for (auto _ : state)
        listed += bench::loadEachThroughClient(*client, extensions);
    benchmark::DoNotOptimize(listed);
}

// The same extensions, found once before timing.
void BM_DirectResolveKnownExtensions(benchmark::State &state)
{
    const QMimeDatabase database;
    const QStringList extensions = extensionsToResolve(database);
    qsizetype sink = 0;
    for (auto _ : state)
        sink += bench::resolveDirectly(database, extensions);
    benchmark::DoNotOptimize(sink);
    state.counters["extensions"] = static_cast<double>(extensions.size());
}

// As the service must: read the user's list each time, then resolve.
void BM_DirectReadListAndResolve(benchmark::State &state)
{
    const QMimeDatabase database;
    qsizetype sink = 0;
    for (auto _ : state)
        sink += bench::resolveDirectly(database, extensionsToResolve(database));
    benchmark::DoNotOptimize(sink);
}

BENCHMARK(BM_ServiceFullLoad)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ClientLoadEachExtension)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DirectResolveKnownExtensions)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DirectReadListAndResolve)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    XdgFixture fixture(isolateUserEnvironment());
    addScaledContents(fixture);
    fixture.commit();
    tree = &fixture;

    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
