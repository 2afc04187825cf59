// loadAssociation over the common extensions through the Linux client, against the least
// work that answers the same questions directly, and against one `gio mime` process per
// type. All three run in one isolated XDG tree built before anything calls glib.

#include "baselines/DirectLoad.h"
#include "core/model/ExtensionCatalog.h"
#include "linux/desktop/LinuxFileAssociationClient.h"
#include "support/TestIsolation.h"
#include "support/fixtures/GioMime.h"
#include "support/fixtures/XdgFixture.h"

#include <QCoreApplication>
#include <QMimeDatabase>

#include <benchmark/benchmark.h>

using namespace halvora;
using namespace halvora::test;

namespace {

XdgFixture *tree = nullptr;

const QList<QString> &extensions()
{
    return ExtensionCatalog::defaultCatalog().commonExtensions();
}

QStringList contentTypes()
{
    QStringList types;
    QMimeDatabase database;
    for (const QString &extension : extensions()) {
        const QMimeType type =
            database.mimeTypeForFile(QStringLiteral("x.") + extension, QMimeDatabase::MatchExtension);
        if (type.isValid() && !type.isDefault() && !type.name().startsWith(QStringLiteral("inode/")) &&
            !types.contains(type.name()))
            types.append(type.name());
    }
    return types;
}

// Desktop entries for every common type, several per type, and user defaults for half of
// them, so that each query has a default and a handful of candidates to describe.
void addCommonTypeApplications(XdgFixture &fixture)
{
    const QStringList types = contentTypes();
    constexpr int applications = 24;
    for (int app = 0; app < applications; ++app) {
        QStringList handled;
        for (int i = app % 4; i < types.size(); i += 4)
            handled.append(types[i]);
        fixture.addDesktopEntry(
            app % 3 ? XdgFixture::Scope::system : XdgFixture::Scope::user,
            QStringLiteral("org.example.Bench%1.desktop").arg(app), QStringLiteral("Bench %1").arg(app),
            handled, {QStringLiteral("Name[ko]=벤치 %1").arg(app), QStringLiteral("Icon=text-x-generic")});
    }
    for (int i = 0; i < types.size(); i += 2)
        fixture.setDefaultApplications(XdgFixture::Scope::user, types[i],
                                       {QStringLiteral("org.example.Bench%1.desktop").arg(i % applications)});
}

void BM_ClientLoadAssociation(benchmark::State &state)
{
    const auto client = makeLinuxFileAssociationClient();
    qsizetype apps = 0;
    for (auto _ : state)
        apps += bench::loadEachThroughClient(*client, extensions());
    benchmark::DoNotOptimize(apps);
    state.counters["extensions"] = static_cast<double>(extensions().size());
}

void BM_DirectQMimeDatabaseAndGio(benchmark::State &state)
{
    const QMimeDatabase database;
    qsizetype sink = 0;
    for (auto _ : state)
        sink += bench::resolveDirectly(database, extensions());
    benchmark::DoNotOptimize(sink);
}

void BM_GioMimeProcessPerType(benchmark::State &state)
{
    const QStringList types = contentTypes();
    const QProcessEnvironment environment = tree->environment();
    qsizetype sink = 0;
    for (auto _ : state) {
        for (const QString &type : types)
            sink += queryGioMime(environment, type).registeredApplications.size();
    }
    benchmark::DoNotOptimize(sink);
    state.counters["types"] = static_cast<double>(types.size());
}

BENCHMARK(BM_ClientLoadAssociation)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DirectQMimeDatabaseAndGio)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GioMimeProcessPerType)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char **argv)
{
    XdgFixture fixture(isolateUserEnvironment());
    fixture.addStandardContents();
    addCommonTypeApplications(fixture);
    fixture.commit();
    tree = &fixture;

    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
