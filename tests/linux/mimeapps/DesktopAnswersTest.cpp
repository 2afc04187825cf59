// The desktop's answers: the resolver against GIO asked in a fresh process, on random desktops
// and while other processes change the desktop under it; and the client's answers for the
// cases people run into, with the reasons it gives.
#include "core/model/FileAssociationError.h"
#include "linux/desktop/LinuxFileAssociationClient.h"
#include "linux/mimeapps/GioProbe.h"
#include "linux/mimeapps/MimeAppsResolver.h"
#include "support/TestFiles.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <iostream>
#include <random>
#include <stdexcept>

namespace halvora {
namespace {

using test::writeFile;

// Aliases, parents (svg -> xml -> plain, csrc -> plain) and types without any, from the
// system's shared-mime-info; "text/x-halvora-unknown" is known to nothing.
const QStringList randomTypes{
    QStringLiteral("application/pdf"), QStringLiteral("application/x-pdf"),
    QStringLiteral("image/svg+xml"),   QStringLiteral("application/xml"),
    QStringLiteral("text/xml"),        QStringLiteral("text/plain"),
    QStringLiteral("text/x-csrc"),     QStringLiteral("text/x-c"),
    QStringLiteral("image/png"),       QStringLiteral("text/x-halvora-unknown"),
};

// Entries by their path under an applications folder; a subfolder joins the ID with '-'.
const QStringList entryPaths{"a.desktop", "b.desktop",     "c.desktop",
                             "d.desktop", "kde/k.desktop", "x/y/z.desktop"};

// HOME, the XDG variables and XDG_CURRENT_DESKTOP of a desktop, on top of the process's, with
// the machine's MIME database linked into the first data directory.
QProcessEnvironment desktopEnvironment(const QString &home, const QString &configHome,
                                       const QStringList &configDirs, const QString &dataHome,
                                       const QStringList &dataDirs, const QString &desktop)
{
    QDir().mkpath(dataDirs.first());
    if (!QFile::link(QStringLiteral("/usr/share/mime"), dataDirs.first() + QStringLiteral("/mime")))
        throw std::runtime_error("cannot link the MIME database");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    environment.insert(QStringLiteral("XDG_CONFIG_DIRS"), configDirs.join(u':'));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    environment.insert(QStringLiteral("XDG_DATA_DIRS"), dataDirs.join(u':'));
    environment.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), desktop);
    return environment;
}

struct Writer {
    std::mt19937_64 generator;

    bool chance(int percent) { return int(generator() % 100) < percent; }
    template <typename T> const T &pick(const QList<T> &items)
    {
        return items[qsizetype(generator() % items.size())];
    }

    // A loadable entry, or one broken in one of the ways that make it fail to load.
    QByteArray entry()
    {
        static const QList<std::pair<QByteArray, QByteArray>> faults{
            {"[Desktop Entry]", "[Other]\nX=1\n[Desktop Entry]"},
            {"Type=Application", "Type=Link"},
            {"Exec=true", "Exec=halvora-no-such-program"},
            {"Exec=true %f", "Exec=\"unbalanced"},
            {"Name=App", "Name=App\nTryExec=/nonexistent/halvora"},
            {"Name=App", "Name=App\nthis line is not a key"},
        };
        QByteArray text = "[Desktop Entry]\nType=Application\nName=App\nExec=true %f\nMimeType=text/plain;\n";
        if (const int fault = int(generator() % 14); fault < faults.size())
            text.replace(faults[fault].first, faults[fault].second);
        if (chance(15))
            text += pick(QByteArrayList{"Hidden=true\n", "Hidden=True\n", "Hidden=1\n", "Hidden=false\n"});
        return chance(15) ? text + "NoDisplay=true\n" : text;
    }

    QByteArray idList()
    {
        QByteArray ids;
        const int count = 1 + int(generator() % 5);
        for (int i = 0; i < count; ++i) {
            // Now and then the key-file oddities: blanks kept in items, a bad escape.
            ids += chance(4)
                       ? QByteArray()
                       : QString(pick(entryPaths + QStringList{"gone.desktop"})).replace(u'/', u'-').toUtf8();
            if (chance(3))
                ids += pick(QByteArrayList{" ", "\\x", "\\s"});
            if (i + 1 < count || chance(50))
                ids += ';';
        }
        return ids;
    }

    // A repeated group merges; a repeated key keeps its last value; CRLF is accepted.
    QByteArray list(const QList<const char *> &groups)
    {
        QByteArray text = chance(20) ? "# a comment\n\n" : "";
        for (int g = 0; g < groups.size() + 1; ++g) {
            if (g == groups.size() ? !chance(10) : !chance(70))
                continue;
            text += QByteArray("[") + groups[g % groups.size()] + "]\n";
            for (int keys = 1 + int(generator() % 5); keys > 0; --keys)
                text += pick(randomTypes).toUtf8() + "=" + idList() + "\n";
        }
        if (chance(3))
            text += "broken line\n";
        return chance(10) ? text.replace("\n", "\r\n") : text;
    }
};

// A random desktop in a directory: several data and config dirs, entries in subfolders,
// copies that shadow, hide or fail to load, list files of every kind with every group in
// every place they are read. The same seed always writes the same tree.
QProcessEnvironment writeRandomDesktop(const QString &root, std::uint64_t seed)
{
    Writer w{std::mt19937_64(seed)};
    const QString home = root + QStringLiteral("/home");
    QStringList dataDirs{root + QStringLiteral("/sys1"), root + QStringLiteral("/sys2/")};
    if (w.chance(50))
        dataDirs.append(root + QStringLiteral("/sys3"));
    const QStringList configDirs{root + QStringLiteral("/etc1"), root + QStringLiteral("/etc2")};
    const QString desktop = w.pick(QStringList{"", "KDE", "X:XFCE", "GNOME:bad name:Kde"});

    QStringList applicationDirs{home + QStringLiteral("/.local/share/applications")};
    for (const QString &dir : dataDirs)
        applicationDirs.append(dir + QStringLiteral("/applications"));
    for (const QString &dir : applicationDirs) {
        for (const QString &path : entryPaths) {
            if (w.chance(45))
                writeFile(dir + u'/' + path, w.entry());
        }
        if (w.chance(70))
            writeFile(
                dir + QStringLiteral("/mimeinfo.cache"),
                w.list({"MIME Cache", "Default Applications", "Added Associations", "Removed Associations"}));
        if (w.chance(40))
            writeFile(dir + QStringLiteral("/defaults.list"),
                      w.list({"Default Applications", "Added Associations"}));
    }
    for (const QString &dir : QStringList{home + QStringLiteral("/.config")} + configDirs + applicationDirs) {
        if (w.chance(50))
            writeFile(dir + QStringLiteral("/mimeapps.list"),
                      w.list({"Default Applications", "Added Associations", "Removed Associations"}));
        for (const QString &name : desktop.split(u':', Qt::SkipEmptyParts)) {
            if (!name.contains(u' ') && w.chance(40))
                writeFile(dir + u'/' + name.toLower() + QStringLiteral("-mimeapps.list"),
                          w.list({"Default Applications", "Added Associations"}));
        }
    }

    return desktopEnvironment(home, home + QStringLiteral("/.config"), configDirs,
                              home + QStringLiteral("/.local/share"), dataDirs, desktop);
}

// Runs a program on the desktop and returns its output; a failure is a test failure.
QByteArray runOn(const QProcessEnvironment &environment, const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    // GIO warns about groups it ignores; the trees hold them on purpose.
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, arguments);
    EXPECT_TRUE(process.waitForFinished(-1) && process.exitCode() == 0)
        << program.toStdString() << ' ' << arguments.join(u' ').toStdString();
    return process.readAllStandardOutput();
}

// Asks GIO about the types in a fresh process: every answer of the resolver that differs is
// a test failure naming `where`. Returns GIO's answers.
QList<GioProbeLine> compareWithGio(const QProcessEnvironment &environment, const QStringList &types,
                                   const MimeAppsResolver &resolver, const std::string &where)
{
    const QList<GioProbeLine> gio = parseGioProbeOutput(runOn(environment, findGioProbe().value(), types));
    EXPECT_EQ(gio.size(), types.size()) << where;
    auto shown = [](const GioProbeLine &l) {
        return (l.type + ": " + l.defaultId.value_or("-") + " [" + l.candidateIds.join(u';') + "]")
            .toStdString();
    };
    for (const GioProbeLine &line : gio) {
        const DefaultAnswer answer = resolver.defaultFor(line.type);
        GioProbeLine ours{line.type, answer.app ? std::optional(answer.app->desktopId) : std::nullopt, {}};
        for (const CandidateAnswer &candidate : resolver.candidatesFor(line.type))
            ours.candidateIds.append(candidate.app.desktopId);
        EXPECT_EQ(shown(ours), shown(line)) << where << " (left: the resolver, right: GIO)";
    }
    return gio;
}

// A failing tree is kept on disk and named; HALVORA_DIFF_SEED and HALVORA_DIFF_TREES pick others.
TEST(MimeAppsResolver, AnswersAsGioOnRandomDesktops)
{
    const std::uint64_t seed = qEnvironmentVariable("HALVORA_DIFF_SEED", "20261207").toULongLong();
    const int trees = qEnvironmentVariable("HALVORA_DIFF_TREES", "300").toInt();
    int answers = 0, defaults = 0, longLists = 0;
    for (int i = 0; i < trees && !HasFailure(); ++i) {
        QTemporaryDir root;
        const std::uint64_t tree = seed * 1000003u + std::uint64_t(i);
        const QProcessEnvironment environment = writeRandomDesktop(root.path(), tree);
        const MimeAppsResolver resolver(XdgEnvironment::from(environment));
        const std::string where = "tree " + std::to_string(tree) + " in " + root.path().toStdString();
        for (const GioProbeLine &line : compareWithGio(environment, randomTypes, resolver, where)) {
            ++answers;
            defaults += line.defaultId ? 1 : 0;
            longLists += line.candidateIds.size() >= 2 ? 1 : 0;
        }
        root.setAutoRemove(!HasFailure());
    }
    // The trees must make GIO answer something worth comparing.
    EXPECT_GT(defaults, answers / 4);
    EXPECT_GT(longLists, answers / 4);
    std::cout << answers << " answers, " << defaults << " defaults, " << longLists
              << " with several candidates\n";
}

// One process keeps a resolver while others change the desktop under it; after each change
// its next answer must be the one GIO gives in a fresh process. No waiting anywhere: the
// change is complete when the child exits.
const QStringList freshTypes{QStringLiteral("text/plain"), QStringLiteral("image/png"),
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
    const QProcessEnvironment environment =
        desktopEnvironment(base + "/h", base + "/c", {base + "/x"}, base + "/d", {base + "/s"}, "KDE");
    const MimeAppsResolver resolver(XdgEnvironment::from(environment));
    auto shell = [&](const QString &command) {
        runOn(environment, QStringLiteral("sh"), {QStringLiteral("-c"), "cd '" + base + "' && " + command});
    };
    shell(QStringLiteral(
              "printf '%1' > s/applications/aa.desktop && printf '%1' > s/applications/bb.desktop && "
              "printf '[Added Associations]\\ntext/plain=sub-e0.desktop;\\n' > s/applications/mimeapps.list")
              .arg(entry));

    // Four rounds of every kind of change; HALVORA_FRESH_ROUNDS asks for more.
    const int rounds = qEnvironmentVariable("HALVORA_FRESH_ROUNDS", "32").toInt();
    for (int round = 0; round < rounds; ++round) {
        resolver.defaultFor(freshTypes[round % 3]); // something is remembered before the change
        shell(change(round));
        if (round % 8 == 1) {
            // The other same-size version in place and back within one clock tick, read in
            // between: stat alone cannot tell them apart.
            QFile list(base + QStringLiteral("/c/mimeapps.list"));
            ASSERT_TRUE(list.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
            const QByteArray bytes = list.readAll();
            list.seek(0);
            list.write(QByteArray(bytes).replace("aa.desktop", "bb.desktop"));
            resolver.defaultFor(freshTypes[0]);
            list.seek(0);
            list.write(bytes);
        }
        compareWithGio(environment, freshTypes, resolver,
                       "round " + std::to_string(round) + ": " + change(round).toStdString());
        ASSERT_FALSE(HasFailure());
    }
}

// The client's answers for the cases people run into, and the reasons it gives.
const QString viewer = QStringLiteral("[Desktop Entry]\nType=Application\nName=V\nExec=true %f\n");

struct Answer {
    const char *contentType; // nullptr: the extension has no type
    const char *current;     // nullptr: no default
    const char *summary;     // '@' stands for the tree
    int chainLength;
    bool overridesUserList;
};

struct Case {
    // "path=content" under the tree; a content starting with "->" makes a symbolic link.
    QStringList files;
    const char *desktop;
    const char *extension;
    Answer expected;
};

const Case cases[] = {
    // A hidden default is shown with its line, after the missing one before it.
    {{u"h/.config/mimeapps.list=[Default Applications]\napplication/pdf=gone.desktop;hid.desktop\n"_qs,
      u"h/.local/share/applications/hid.desktop="_qs + viewer + u"Hidden=true\n"_qs},
     "",
     "pdf",
     {"application/pdf", "hid.desktop", "~/.config/mimeapps.list 2행에서 지정", 2, false}},
    // A dangling link is no list.
    {{u"h/.config/mimeapps.list=->nowhere"_qs, u"s/applications/v.desktop="_qs + viewer,
      u"s/applications/mimeinfo.cache=[MIME Cache]\napplication/pdf=v.desktop;\n"_qs},
     "",
     "pdf",
     {"application/pdf", "v.desktop", "지정된 기본 앱 없음: 첫 번째 호환 앱", 1, false}},
    {{u"h/.config/mimeapps.list=[Default Applications]\napplication/pdf=v.desktop\n"_qs,
      u"h/.config/kde-mimeapps.list=[Default Applications]\napplication/pdf=w.desktop\n"_qs,
      u"s/applications/v.desktop="_qs + viewer, u"s/applications/w.desktop="_qs + viewer},
     "KDE",
     "pdf",
     {"application/pdf", "w.desktop", "데스크톱별 목록 ~/.config/kde-mimeapps.list 2행에서 지정", 2, true}},
    {{u"x/mimeapps.list=# vendor\n[Default Applications]\ntext/plain=v.desktop\n"_qs,
      u"s/applications/v.desktop="_qs + viewer},
     "",
     "txt",
     {"text/plain", "v.desktop", "시스템 목록 @/x/mimeapps.list에서 지정", 1, false}},
    {{u"h/.local/share/applications/mimeapps.list=[Default Applications]\ntext/plain=v.desktop\n"_qs,
      u"s/applications/v.desktop="_qs + viewer},
     "",
     "c",
     {"text/x-csrc", "v.desktop",
      "~/.local/share/applications/mimeapps.list 2행에서 지정 (상위 형식 text/plain에서 물려받음)", 1,
      false}},
    // A double extension has its own type, whatever its spelling; a name with a dot is no extension.
    {{}, "", ".TAR.GZ", {"application/x-compressed-tar", nullptr, "", 0, false}},
    {{}, "", "foo.png", {nullptr, nullptr, "", 0, false}},
};

class Reasons : public testing::TestWithParam<Case> {};

TEST_P(Reasons, AnswerAndOriginAsTheDesktopSeesThem)
{
    const Case &c = GetParam();
    const Answer &e = c.expected;
    QTemporaryDir root;
    const QString base = root.path();
    for (const QString &file : c.files) {
        const QString path = base + u'/' + file.section(u'=', 0, 0), content = file.section(u'=', 1);
        if (content.startsWith(u"->"_qs))
            ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()) && QFile::link(content.mid(2), path));
        else
            writeFile(path, content.toUtf8());
    }
    const QProcessEnvironment environment = desktopEnvironment(
        base + "/h", base + "/h/.config", {base + "/x"}, base + "/h/.local/share", {base + "/s"}, c.desktop);
    for (const QString &name : environment.keys())
        qputenv(name.toLocal8Bit(), environment.value(name).toLocal8Bit());
    const auto client = makeLinuxFileAssociationClient();
    EXPECT_NO_THROW(client->loadRegisteredContentTypes());
    if (!e.contentType) {
        EXPECT_THROW(client->loadAssociation(QString::fromUtf8(c.extension)), FileAssociationError);
        return;
    }
    const FileAssociation association = client->loadAssociation(QString::fromUtf8(c.extension));
    EXPECT_EQ(association.contentTypeIdentifier(), QString::fromUtf8(e.contentType));
    ASSERT_EQ(association.currentApp().has_value(), e.current != nullptr);
    if (!e.current)
        return;
    EXPECT_EQ(association.currentApp()->bundleIdentifier(), QString::fromUtf8(e.current));
    ASSERT_TRUE(association.origin());
    EXPECT_EQ(association.origin()->summary, QString::fromUtf8(e.summary).replace(u'@', base));
    EXPECT_EQ(association.origin()->overridesUserList, e.overridesUserList);
    EXPECT_EQ(association.origin()->chain.size(), e.chainLength);
    EXPECT_TRUE(association.candidateApps().contains(*association.currentApp()));
}

INSTANTIATE_TEST_SUITE_P(Cases, Reasons, testing::ValuesIn(cases));

} // namespace
} // namespace halvora
