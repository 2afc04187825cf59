#include "RandomDesktopTree.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>

namespace halvora::test {

// Aliases, parents (svg -> xml -> plain, csrc -> plain) and types without any, from the
// system's shared-mime-info; "text/x-halvora-unknown" is known to nothing.
const QStringList randomDesktopTypes{
    QStringLiteral("application/pdf"), QStringLiteral("application/x-pdf"),
    QStringLiteral("image/svg+xml"),   QStringLiteral("application/xml"),
    QStringLiteral("text/xml"),        QStringLiteral("text/plain"),
    QStringLiteral("text/x-csrc"),     QStringLiteral("text/x-c"),
    QStringLiteral("image/png"),       QStringLiteral("text/x-halvora-unknown"),
};

namespace {

// Entries by their path under an applications folder; a subfolder joins the ID with '-'.
const QStringList entryPaths{"a.desktop", "b.desktop",     "c.desktop",
                             "d.desktop", "kde/k.desktop", "x/y/z.desktop"};

void write(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

class Writer {
public:
    explicit Writer(std::uint64_t seed) : random_(seed) {}

    bool chance(int percent) { return int(random_() % 100) < percent; }
    template <typename T> const T &pick(const QList<T> &items)
    {
        return items[qsizetype(random_() % items.size())];
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
        if (const int fault = int(random_() % 14); fault < faults.size())
            text.replace(faults[fault].first, faults[fault].second);
        if (chance(15))
            text += pick(QByteArrayList{"Hidden=true\n", "Hidden=True\n", "Hidden=1\n", "Hidden=false\n"});
        return chance(15) ? text + "NoDisplay=true\n" : text;
    }

    QByteArray idList()
    {
        QByteArray ids;
        const int count = 1 + int(random_() % 4);
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
            for (int keys = 1 + int(random_() % 5); keys > 0; --keys)
                text += pick(randomDesktopTypes).toUtf8() + "=" + idList() + "\n";
        }
        if (chance(3))
            text += "broken line\n";
        return chance(10) ? text.replace("\n", "\r\n") : text;
    }

private:
    std::mt19937_64 random_;
};

} // namespace

QProcessEnvironment writeRandomDesktop(const QString &root, std::uint64_t seed)
{
    Writer w(seed);
    const QString home = root + QStringLiteral("/home");
    QStringList dataDirs{root + QStringLiteral("/sys1"), root + QStringLiteral("/sys2/")};
    if (w.chance(50))
        dataDirs.append(root + QStringLiteral("/sys3"));
    const QStringList configDirs{root + QStringLiteral("/etc1"), root + QStringLiteral("/etc2")};
    QDir().mkpath(dataDirs.first());
    if (!QFile::link(QStringLiteral("/usr/share/mime"), dataDirs.first() + QStringLiteral("/mime")))
        throw std::runtime_error("cannot link the MIME database");
    const QString desktop = w.pick(QStringList{"", "KDE", "X:XFCE", "GNOME:bad name:Kde"});

    QStringList applicationDirs{home + QStringLiteral("/.local/share/applications")};
    for (const QString &dir : dataDirs)
        applicationDirs.append(dir + QStringLiteral("/applications"));
    for (const QString &dir : applicationDirs) {
        for (const QString &path : entryPaths) {
            if (w.chance(45))
                write(dir + u'/' + path, w.entry());
        }
        if (w.chance(70))
            write(
                dir + QStringLiteral("/mimeinfo.cache"),
                w.list({"MIME Cache", "Default Applications", "Added Associations", "Removed Associations"}));
        if (w.chance(40))
            write(dir + QStringLiteral("/defaults.list"),
                  w.list({"Default Applications", "Added Associations"}));
    }
    for (const QString &dir : QStringList{home + QStringLiteral("/.config")} + configDirs + applicationDirs) {
        if (w.chance(50))
            write(dir + QStringLiteral("/mimeapps.list"),
                  w.list({"Default Applications", "Added Associations", "Removed Associations"}));
        for (const QString &name : desktop.split(u':', Qt::SkipEmptyParts)) {
            if (!name.contains(u' ') && w.chance(40))
                write(dir + u'/' + name.toLower() + QStringLiteral("-mimeapps.list"),
                      w.list({"Default Applications", "Added Associations"}));
        }
    }

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    environment.insert(QStringLiteral("XDG_DATA_DIRS"), dataDirs.join(u':'));
    environment.insert(QStringLiteral("XDG_CONFIG_DIRS"), configDirs.join(u':'));
    environment.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), desktop);
    return environment;
}

QByteArray runOn(const QProcessEnvironment &environment, const QString &program, const QStringList &arguments,
                 const QString &workingDirectory)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(workingDirectory);
    // GIO warns about groups it ignores; the trees hold them on purpose.
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, arguments);
    EXPECT_TRUE(process.waitForFinished(-1) && process.exitCode() == 0)
        << program.toStdString() << ' ' << arguments.join(u' ').toStdString();
    return process.readAllStandardOutput();
}

QList<GioProbeLine> compareWithGio(const QProcessEnvironment &environment, const QStringList &types,
                                   const MimeAppsResolver &resolver, const std::string &where)
{
    const std::optional<QString> probe = findGioProbe();
    if (!probe)
        throw std::runtime_error("the GIO probe is not built");
    const QList<GioProbeLine> gio = parseGioProbeOutput(runOn(environment, *probe, types));
    EXPECT_EQ(gio.size(), types.size()) << where;
    auto shown = [](const GioProbeLine &line) {
        return QStringLiteral("%1: %2 [%3]")
            .arg(line.type, line.defaultId.value_or(QStringLiteral("-")), line.candidateIds.join(u';'))
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

} // namespace halvora::test
