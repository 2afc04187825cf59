// One process keeps a resolver while others change the desktop under it; after each change
// its next answer must be the one GIO gives in a fresh process. No waiting anywhere: the
// change is complete when the child exits.

#include "RandomDesktopTree.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace halvora {
namespace {

const QStringList types{QStringLiteral("text/plain"), QStringLiteral("image/png"),
                        QStringLiteral("application/pdf")};

const QString entry = QStringLiteral("[Desktop Entry]\\nType=Application\\nName=E\\nExec=true\\n");

// The child's commands, one per kind of change, each leaving a different answer: %1 is an
// application that alternates, %2 the round, %3 and %4 the entries of two and one rounds before.
const QStringList changes{
    // a list renamed over the old one
    "printf '[Default Applications]\\ntext/plain=%1\\n' > c/new && mv c/new c/mimeapps.list",
    // the same list edited in place: same size, maybe the same clock tick
    "printf '[Default Applications]\\ntext/plain=%1\\n' > c/mimeapps.list",
    // an entry added to an existing subfolder
    "printf '" + entry + "' > d/applications/sub/e%2.desktop",
    // an entry deleted
    "rm -f d/applications/sub/e%4.desktop",
    // the cache rebuilt
    "printf '[MIME Cache]\\nimage/png=%1;sub-e%3.desktop;\\n' > s/applications/t && "
    "mv s/applications/t s/applications/mimeinfo.cache",
    // a desktop-specific list appears
    "printf '[Default Applications]\\napplication/pdf=%1\\n' > c/kde-mimeapps.list",
    // the user's list becomes a dangling link; the desktop-specific one goes
    "rm c/kde-mimeapps.list && ln -sf ../missing c/mimeapps.list",
    // an installed entry starts failing its TryExec, in place
    "rm c/mimeapps.list && printf '" + entry + "TryExec=/nonexistent\\n' > s/applications/aa.desktop",
};

QString change(int round)
{
    return QString(changes[round % changes.size()])
        .replace("%1", round % 2 ? "aa.desktop" : "bb.desktop")
        .replace("%2", QString::number(round))
        .replace("%3", QString::number(round - 2))
        .replace("%4", QString::number(round - 1));
}

TEST(MimeAppsResolver, SeesEveryChangeAnotherProcessMade)
{
    QTemporaryDir root;
    const QString base = root.path();
    for (const char *dir : {"c", "d/applications/sub", "s/applications", "h"})
        QDir().mkpath(base + u'/' + QLatin1String(dir));
    ASSERT_TRUE(QFile::link(QStringLiteral("/usr/share/mime"), base + QStringLiteral("/s/mime")));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), base + QStringLiteral("/h"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), base + QStringLiteral("/c"));
    environment.insert(QStringLiteral("XDG_CONFIG_DIRS"), base + QStringLiteral("/x"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), base + QStringLiteral("/d"));
    environment.insert(QStringLiteral("XDG_DATA_DIRS"), base + QStringLiteral("/s"));
    environment.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("KDE"));

    const MimeAppsResolver resolver(XdgEnvironment::from(environment));
    auto shell = [&](const QString &command) {
        test::runOn(environment, QStringLiteral("sh"), {QStringLiteral("-c"), command}, base);
    };
    shell(QStringLiteral(
              "printf '%1' > s/applications/aa.desktop && printf '%1' > s/applications/bb.desktop && "
              "printf '[Added Associations]\\ntext/plain=sub-e0.desktop;\\n' > s/applications/mimeapps.list")
              .arg(entry));

    // Four rounds of every kind of change; HALVORA_FRESH_ROUNDS asks for more.
    const int rounds = qEnvironmentVariableIsSet("HALVORA_FRESH_ROUNDS")
                           ? qEnvironmentVariableIntValue("HALVORA_FRESH_ROUNDS")
                           : 32;
    for (int round = 0; round < rounds; ++round) {
        resolver.defaultFor(types[round % 3]); // something is remembered before the change
        shell(change(round));
        if (round % 8 == 1) {
            // Two same-size versions in place within one clock tick, read in between: stat
            // alone cannot tell them apart.
            const QString path = base + QStringLiteral("/c/mimeapps.list");
            for (const bool last : {false, true}) {
                QFile list(path);
                ASSERT_TRUE(list.open(QIODevice::ReadWrite));
                QByteArray bytes = list.readAll();
                bytes.replace("aa.desktop", "cc.desktop").replace("bb.desktop", "aa.desktop");
                list.seek(0);
                list.write(bytes.replace("cc.desktop", "bb.desktop"));
                list.close();
                if (!last)
                    resolver.defaultFor(types[0]);
            }
        }
        test::compareWithGio(environment, types, resolver,
                             "round " + std::to_string(round) + ": " + change(round).toStdString());
        ASSERT_FALSE(HasFailure());
    }
}

} // namespace
} // namespace halvora
