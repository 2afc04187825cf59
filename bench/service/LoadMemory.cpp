// Prints the resident memory of the program's state after the full load, once over an empty
// mimeapps.list and once over the scaled desktop, each in a child process of its own (glib
// reads the XDG variables once per process), and the ratio of the two. Not a test: a figure.

#include "core/history/UserDefaultsAssociationChangeHistoryStore.h"
#include "core/model/ExtensionCatalog.h"
#include "core/service/FileAssociationService.h"
#include "core/state/HalvoraState.h"
#include "fixtures/ScaledFixture.h"
#include "linux/desktop/LinuxFileAssociationClient.h"
#include "linux/store/SqliteKeyValueStore.h"
#include "support/doubles/WaitForTask.h"
#include "support/fixtures/XdgFixture.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

int measure(bool scaled)
{
    QTemporaryDir root;
    halvora::test::XdgFixture fixture(root.path());
    fixture.applyToCurrentProcess();
    if (scaled)
        halvora::test::addScaledContents(fixture);
    fixture.commit();

    int argc = 1;
    char name[] = "halvora_load_memory";
    char *argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    auto store = std::make_shared<halvora::UserDefaultsAssociationChangeHistoryStore>(
        std::make_shared<halvora::SqliteKeyValueStore>(), QStringLiteral("associationChangeHistory"),
        QStringLiteral("recentAssociationChange"), 50);
    const halvora::ExtensionCatalog &catalog = halvora::ExtensionCatalog::defaultCatalog();
    halvora::HalvoraState state(std::make_shared<halvora::FileAssociationService>(
                                    halvora::makeLinuxFileAssociationClient(), store, catalog),
                                catalog);
    const long before = residentKiB();
    halvora::test::waitForTask(state.load(), std::chrono::minutes(10));
    std::printf("%d %ld %ld\n", int(state.associations().size()), before, residentKiB());
    return state.alertMessage() ? 1 : 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 2)
        return measure(QByteArrayView(argv[1]) == "scaled");

    struct Figure {
        int associations = 0;
        long before = 0;
        long after = 0;
    } figures[2];
    for (int i = 0; i < 2; ++i) {
        QProcess child;
        child.start(QString::fromLocal8Bit(argv[0]),
                    {i == 0 ? QStringLiteral("empty") : QStringLiteral("scaled")});
        if (!child.waitForFinished(15 * 60 * 1000) || child.exitCode() != 0) {
            std::fprintf(stderr, "measurement failed: %s\n", child.readAllStandardError().constData());
            return 1;
        }
        const QList<QByteArray> fields = child.readAllStandardOutput().trimmed().split(' ');
        figures[i] = {fields.value(0).toInt(), fields.value(1).toLong(), fields.value(2).toLong()};
    }
    for (int i = 0; i < 2; ++i)
        std::printf("%-6s list: %4d associations, resident %6ld KiB before the load, %6ld KiB after\n",
                    i == 0 ? "empty" : "scaled", figures[i].associations, figures[i].before,
                    figures[i].after);
    std::printf("scaled / empty after the load: %.2f\n", double(figures[1].after) / double(figures[0].after));
    return 0;
}
