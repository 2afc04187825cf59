// The work of one keystroke in the sidebar's search field: the visible list, both
// groupings, recomputed from the full list as the views ask for them. The baseline is
// one catalog sort of the whole list, the least any keystroke has to do.
#include "core/state/HalvoraState.h"
#include "support/doubles/ScriptedFileAssociationManager.h"

#include <QCoreApplication>
#include <QUrl>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

using namespace halvora;

constexpr int associationCount = 2000;
constexpr int appCount = 60;
constexpr int historyCount = 50;

AssociatedApp appNumber(int n)
{
    const QString bundle = QStringLiteral("org.example.App%1.desktop").arg(n);
    return AssociatedApp(QStringLiteral("Application %1").arg(n), bundle,
                         QUrl::fromLocalFile(QStringLiteral("/usr/share/applications/") + bundle));
}

struct Fixture {
    std::shared_ptr<test::ScriptedFileAssociationManager> manager =
        std::make_shared<test::ScriptedFileAssociationManager>();
    std::unique_ptr<HalvoraState> state;

    Fixture()
    {
        QList<QString> extensions = ExtensionCatalog::defaultCatalog().commonExtensions();
        for (int i = 0; extensions.size() < associationCount; ++i)
            extensions.append(QStringLiteral("x%1").arg(i * 7919 % 100000));
        QList<FileAssociation> associations;
        for (int i = 0; i < extensions.size(); ++i) {
            QList<AssociatedApp> candidates;
            for (int c = 0; c < 4; ++c)
                candidates.append(appNumber((i + c * 13) % appCount));
            // Every tenth extension has no default application.
            std::optional<AssociatedApp> current;
            if (i % 10 != 0)
                current = candidates.first();
            associations.append(FileAssociation(
                extensions[i], QStringLiteral("application/x-") + extensions[i], current, candidates));
        }
        QList<AssociationChangeRecord> history;
        for (int i = 0; i < historyCount; ++i) {
            history.append(AssociationChangeRecord(newRecordIdentifier(), extensions[i * 3],
                                                   QStringLiteral("t"), appNumber(i % appCount),
                                                   appNumber((i + 1) % appCount), Timestamp(1000.0 - i),
                                                   AssociationVerificationStatus::verified, std::nullopt));
        }
        manager->setRegisteredAssociations(std::move(associations));
        manager->setHistory(std::move(history));
        state = std::make_unique<HalvoraState>(manager, ExtensionCatalog::defaultCatalog());
        state->load();
    }
};

// Typing "app" and then clearing the field: broad and narrow queries alternate.
const QStringList keystrokes{QString(),
                             QStringLiteral("a"),
                             QStringLiteral("ap"),
                             QStringLiteral("app"),
                             QStringLiteral("x1"),
                             QStringLiteral("pdf")};

void catalogSortBaseline(benchmark::State &run)
{
    Fixture fixture;
    const auto &catalog = ExtensionCatalog::defaultCatalog();
    for (auto _ : run)
        benchmark::DoNotOptimize(catalog.sort(fixture.state->associations()));
}
BENCHMARK(catalogSortBaseline)->Unit(benchmark::kMicrosecond);

void keystroke(benchmark::State &run)
{
    Fixture fixture;
    fixture.state->setAssociationFilter(static_cast<AssociationFilter>(run.range(0)));
    qsizetype next = 0;
    for (auto _ : run) {
        fixture.state->setSearchText(keystrokes[next++ % keystrokes.size()]);
        benchmark::DoNotOptimize(fixture.state->visibleAssociations());
        benchmark::DoNotOptimize(fixture.state->groupedVisibleAssociations());
        benchmark::DoNotOptimize(fixture.state->applicationGroupedVisibleAssociations());
    }
}
BENCHMARK(keystroke)
    ->ArgName("filter")
    ->Arg(int(AssociationFilter::all))
    ->Arg(int(AssociationFilter::verificationFailed))
    ->Unit(benchmark::kMicrosecond);

// Each query of a keystroke alone, unfiltered, to show where the time goes.
enum class Query { visible, byCategory, byApplication };

void singleQuery(benchmark::State &run)
{
    Fixture fixture;
    const auto query = static_cast<Query>(run.range(0));
    qsizetype next = 0;
    for (auto _ : run) {
        fixture.state->setSearchText(keystrokes[next++ % keystrokes.size()]);
        switch (query) {
        case Query::visible:
            benchmark::DoNotOptimize(fixture.state->visibleAssociations());
            break;
        case Query::byCategory:
            benchmark::DoNotOptimize(fixture.state->groupedVisibleAssociations());
            break;
        case Query::byApplication:
            benchmark::DoNotOptimize(fixture.state->applicationGroupedVisibleAssociations());
            break;
        }
    }
}
BENCHMARK(singleQuery)
    ->ArgName("query")
    ->Arg(int(Query::visible))
    ->Arg(int(Query::byCategory))
    ->Arg(int(Query::byApplication))
    ->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
