// The history store's three operations on a full history of 50 records, over the SQLite
// file the application uses and over the in-memory store, which shows what the encoding,
// decoding and sorting cost without any storage. Every SQLite commit is synced to disk, so
// the gap is mostly the disk's.

#include "core/history/InMemoryKeyValueStore.h"
#include "core/history/UserDefaultsAssociationChangeHistoryStore.h"
#include "linux/store/SqliteKeyValueStore.h"
#include "support/TestIsolation.h"

#include <QUrl>

#include <benchmark/benchmark.h>

#include <memory>

using namespace halvora;

namespace {

constexpr int historyLimit = 50;

AssociatedApp benchApp(int n)
{
    const QString id = QStringLiteral("org.example.Bench%1.desktop").arg(n);
    return AssociatedApp(QStringLiteral("Bench %1").arg(n), id,
                         QUrl::fromLocalFile(QStringLiteral("/usr/share/applications/") + id));
}

AssociationChangeRecord benchRecord(int n)
{
    return AssociationChangeRecord(QStringLiteral("record-%1").arg(n), QStringLiteral("ext%1").arg(n % 77),
                                   QStringLiteral("application/x-ext%1").arg(n % 77), benchApp(n % 7),
                                   benchApp(n % 11), Timestamp(1000.0 + n),
                                   AssociationVerificationStatus::verified, std::nullopt);
}

enum class Backend { inMemory, sqlite };

std::shared_ptr<KeyValueStore> makeDefaults(Backend backend, const char *name)
{
    if (backend == Backend::inMemory)
        return std::make_shared<InMemoryKeyValueStore>();
    // A file of its own for each benchmark, inside the isolated state directory.
    return std::make_shared<SqliteKeyValueStore>(
        test::isolatedRoot() + QStringLiteral("/home/.local/state/") + QString::fromUtf8(name) +
        QStringLiteral("/defaults.sqlite3"));
}

// A store already holding historyLimit records, numbered 0 to historyLimit - 1.
std::unique_ptr<UserDefaultsAssociationChangeHistoryStore> fullStore(Backend backend, const char *name)
{
    auto store = std::make_unique<UserDefaultsAssociationChangeHistoryStore>(
        makeDefaults(backend, name), QStringLiteral("associationChangeHistory"),
        QStringLiteral("recentAssociationChange"), historyLimit);
    for (int n = 0; n < historyLimit; ++n)
        store->save(benchRecord(n));
    return store;
}

// Each save is newer than every stored record, so the oldest is dropped and 50 remain.
void BM_Save(benchmark::State &state, Backend backend)
{
    auto store = fullStore(backend, backend == Backend::sqlite ? "save" : "save-memory");
    int next = historyLimit;
    for (auto _ : state)
        store->save(benchRecord(next++));
    state.counters["kept"] = static_cast<double>(store->loadHistory().size());
}

// The undo path: one stored record rewritten in place.
void BM_Update(benchmark::State &state, Backend backend)
{
    auto store = fullStore(backend, backend == Backend::sqlite ? "update" : "update-memory");
    const AssociationChangeRecord stored = benchRecord(historyLimit / 2);
    bool undone = false;
    for (auto _ : state) {
        undone = !undone;
        store->update(stored.updating(undone ? AssociationVerificationStatus::undoVerified
                                             : AssociationVerificationStatus::verified,
                                      std::nullopt));
    }
}

void BM_LoadHistory(benchmark::State &state, Backend backend)
{
    auto store = fullStore(backend, backend == Backend::sqlite ? "load" : "load-memory");
    qsizetype loaded = 0;
    for (auto _ : state)
        loaded += store->loadHistory().size();
    benchmark::DoNotOptimize(loaded);
}

BENCHMARK_CAPTURE(BM_Save, inMemory, Backend::inMemory)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Save, sqlite, Backend::sqlite)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Update, inMemory, Backend::inMemory)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Update, sqlite, Backend::sqlite)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_LoadHistory, inMemory, Backend::inMemory)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_LoadHistory, sqlite, Backend::sqlite)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    test::isolateUserEnvironment();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
