// `halvora-cli list --json` (and `why` for one extension) on a desktop of realistic size, against what a
// script would otherwise run: a shell loop of `gio mime TYPE` over the same content types. Both run as child
// processes on the same isolated tree, in one run. `check` runs on the same tree with a full history of 50
// verified changes, half of them taken over since.

#include "core/history/UserDefaultsAssociationChangeHistoryStore.h"
#include "core/model/ModelJson.h"
#include "fixtures/ScaledFixture.h"
#include "linux/store/SqliteKeyValueStore.h"
#include "support/TestIsolation.h"
#include "support/fixtures/XdgFixture.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QSet>

#include <benchmark/benchmark.h>

#include <stdexcept>

using namespace halvora::test;

namespace {

XdgFixture *tree = nullptr;

QProcessEnvironment environment()
{
    QProcessEnvironment environment = tree->environment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    environment.remove(QStringLiteral("LANGUAGE"));
    return environment;
}

QByteArray run(const QString &program, const QStringList &arguments, int expectedExitCode = 0)
{
    QProcess process;
    process.setProcessEnvironment(environment());
    process.start(program, arguments);
    process.closeWriteChannel();
    if (!process.waitForFinished(600000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != expectedExitCode)
        throw std::runtime_error(program.toStdString() +
                                 " failed: " + process.readAllStandardError().toStdString());
    return process.readAllStandardOutput();
}

QByteArray listJson()
{
    return run(QStringLiteral(HALVORA_CLI_PATH), {QStringLiteral("list"), QStringLiteral("--json")});
}

// The content types that the list shows, each once, in list order.
QStringList listedTypes()
{
    QStringList types;
    QSet<QString> seen;
    for (const QJsonValue &value : QJsonDocument::fromJson(listJson()).array()) {
        const QString type = value[u"contentTypeIdentifier"].toString();
        if (!seen.contains(type)) {
            seen.insert(type);
            types.append(type);
        }
    }
    return types;
}

void BM_CliListJson(benchmark::State &state)
{
    qsizetype bytes = 0;
    for (auto _ : state)
        bytes += listJson().size();
    benchmark::DoNotOptimize(bytes);
    state.counters["associations"] = static_cast<double>(QJsonDocument::fromJson(listJson()).array().size());
}

void BM_GioMimeShellLoop(benchmark::State &state)
{
    const QStringList types = listedTypes();
    const QStringList arguments =
        QStringList{QStringLiteral("-c"), QStringLiteral("for t in \"$@\"; do gio mime \"$t\"; done"),
                    QStringLiteral("sh")} +
        types;
    qsizetype bytes = 0;
    for (auto _ : state)
        bytes += run(QStringLiteral("/bin/sh"), arguments).size();
    benchmark::DoNotOptimize(bytes);
    state.counters["types"] = static_cast<double>(types.size());
}

QByteArray checkJson()
{
    return run(QStringLiteral(HALVORA_CLI_PATH), {QStringLiteral("check"), QStringLiteral("--json")}, 1);
}

void BM_CliCheckJson(benchmark::State &state)
{
    qsizetype bytes = 0;
    for (auto _ : state)
        bytes += checkJson().size();
    benchmark::DoNotOptimize(bytes);
    state.counters["takeovers"] = static_cast<double>(QJsonDocument::fromJson(checkJson()).array().size());
}

// 50 verified changes of listed extensions to an application that is a candidate; every
// second one names the current application (still in force), the others another candidate
// (taken over).
void recordHistory()
{
    using namespace halvora;
    UserDefaultsAssociationChangeHistoryStore store(std::make_shared<SqliteKeyValueStore>(),
                                                    QStringLiteral("associationChangeHistory"),
                                                    QStringLiteral("recentAssociationChange"), 50);
    int saved = 0;
    for (const QJsonValue &value : QJsonDocument::fromJson(listJson()).array()) {
        const FileAssociation association = fromJson<FileAssociation>(value);
        if (!association.currentApp() || association.candidateApps().size() < 2)
            continue;
        const bool inForce = saved % 2 == 0;
        AssociatedApp chosen = *association.currentApp();
        for (const AssociatedApp &candidate : association.candidateApps()) {
            if (!inForce && candidate.bundleIdentifier() != chosen.bundleIdentifier()) {
                chosen = candidate;
                break;
            }
        }
        store.save(AssociationChangeRecord(newRecordIdentifier(), association.fileExtension(),
                                           association.contentTypeIdentifier(), association.currentApp(),
                                           chosen, Timestamp(1000.0 + saved),
                                           AssociationVerificationStatus::verified, std::nullopt));
        if (++saved == 50)
            return;
    }
    throw std::runtime_error("the scaled tree has fewer than 50 extensions with two candidates");
}

// One explanation against one question to gio about the same type.
void BM_CliWhyOneExtension(benchmark::State &state)
{
    qsizetype bytes = 0;
    for (auto _ : state)
        bytes += run(QStringLiteral(HALVORA_CLI_PATH), {QStringLiteral("why"), QStringLiteral("pdf")}).size();
    benchmark::DoNotOptimize(bytes);
}

void BM_GioMimeOneType(benchmark::State &state)
{
    qsizetype bytes = 0;
    for (auto _ : state)
        bytes +=
            run(QStringLiteral("gio"), {QStringLiteral("mime"), QStringLiteral("application/pdf")}).size();
    benchmark::DoNotOptimize(bytes);
}

// One change of a default end to end (lock, list written and synced, resolver, the GIO
// probe, the record), against the one process a script would run instead.
const QStringList benchApps{QStringLiteral("org.example.BenchA.desktop"),
                            QStringLiteral("org.example.BenchB.desktop")};

void BM_CliSet(benchmark::State &state)
{
    int round = 0;
    for (auto _ : state)
        run(QStringLiteral(HALVORA_CLI_PATH),
            {QStringLiteral("set"), QStringLiteral("txt"), benchApps[++round % 2], QStringLiteral("--yes")});
}

void BM_GioMimeSet(benchmark::State &state)
{
    int round = 0;
    for (auto _ : state)
        run(QStringLiteral("gio"),
            {QStringLiteral("mime"), QStringLiteral("text/plain"), benchApps[++round % 2]});
}

BENCHMARK(BM_CliListJson)->Unit(benchmark::kMillisecond)->Iterations(5);
// Before the sets, which add records of their own.
BENCHMARK(BM_CliCheckJson)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_CliWhyOneExtension)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_GioMimeOneType)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_CliSet)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_GioMimeSet)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_GioMimeShellLoop)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char **argv)
{
    XdgFixture fixture(isolateUserEnvironment());
    // The scaled tree picks its types from the MIME database the fixture links in.
    fixture.applyToCurrentProcess();
    addScaledContents(fixture);
    for (const QString &app : benchApps)
        fixture.addDesktopEntry(XdgFixture::Scope::system, app, app, {QStringLiteral("text/plain")});
    fixture.commit();
    tree = &fixture;

    QCoreApplication app(argc, argv);
    recordHistory();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
