#include "RandomDesktopTree.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>

namespace halvora::test {

namespace {

// Aliases, parents (svg -> xml -> plain, csrc -> plain) and types without any, from the
// system's shared-mime-info; "text/x-halvora-unknown" is known to nothing.
const QStringList typePool{
    QStringLiteral("application/pdf"), QStringLiteral("application/x-pdf"),
    QStringLiteral("image/svg+xml"),   QStringLiteral("application/xml"),
    QStringLiteral("text/xml"),        QStringLiteral("text/plain"),
    QStringLiteral("text/x-csrc"),     QStringLiteral("text/x-c"),
    QStringLiteral("image/png"),       QStringLiteral("text/x-halvora-unknown"),
};

const QStringList idPool{
    QStringLiteral("a.desktop"),    QStringLiteral("b.desktop"),     QStringLiteral("c.desktop"),
    QStringLiteral("d.desktop"),    QStringLiteral("kde-k.desktop"), QStringLiteral("x-y-z.desktop"),
    QStringLiteral("gone.desktop"),
};

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

    QByteArray entry()
    {
        QByteArray text;
        const int fault = int(random_() % 14);
        text += fault == 0 ? "[Other]\nX=1\n[Desktop Entry]\n" : "[Desktop Entry]\n";
        text += fault == 1 ? "Type=Link\n" : "Type=Application\n";
        text += "Name=App\n";
        text += fault == 2   ? "Exec=halvora-no-such-program %f\n"
                : fault == 3 ? "Exec=\"unbalanced\n"
                             : "Exec=true %f\n";
        if (fault == 4)
            text += "TryExec=/nonexistent/halvora\n";
        if (fault == 5)
            text += "this line is not a key\n";
        if (chance(15))
            text += pick(QList<QByteArray>{"Hidden=true\n", "Hidden=True\n", "Hidden=1\n", "Hidden=false\n"});
        if (chance(15))
            text += "NoDisplay=true\n";
        text += "MimeType=text/plain;\n";
        return text;
    }

    QByteArray idList()
    {
        QByteArray ids;
        const int count = 1 + int(random_() % 4);
        for (int i = 0; i < count; ++i) {
            // Now and then the key-file oddities: blanks kept in items, a bad escape.
            ids += chance(4) ? QByteArray() : pick(idPool).toUtf8();
            if (chance(3))
                ids += pick(QList<QByteArray>{" ", "\\x", "\\s"});
            if (i + 1 < count || chance(50))
                ids += ';';
        }
        return ids;
    }

    QByteArray group(const char *name)
    {
        QByteArray text = QByteArray("[") + name + "]\n";
        const int keys = 1 + int(random_() % 5);
        for (int i = 0; i < keys; ++i)
            text += pick(typePool).toUtf8() + "=" + idList() + "\n";
        return text;
    }

    QByteArray list(const QList<const char *> &groups)
    {
        QByteArray text = chance(20) ? "# a comment\n\n" : "";
        for (const char *name : groups) {
            if (chance(70))
                text += group(name);
        }
        if (chance(3))
            text += "broken line\n";
        // A repeated group merges; a repeated key keeps its last value; CRLF is accepted.
        if (chance(10) && !groups.isEmpty())
            text += group(groups.first());
        if (chance(10))
            text.replace("\n", "\r\n");
        return text;
    }

private:
    std::mt19937_64 random_;
};

} // namespace

RandomDesktopTree::RandomDesktopTree(const QString &root, std::uint64_t seed) : types(typePool)
{
    Writer w(seed);
    const QString home = root + QStringLiteral("/home");
    const QString dataHome = home + QStringLiteral("/.local/share");
    const QString configHome = home + QStringLiteral("/.config");
    QStringList dataDirs{root + QStringLiteral("/sys1"), root + QStringLiteral("/sys2/")};
    if (w.chance(50))
        dataDirs.append(root + QStringLiteral("/sys3"));
    const QStringList configDirs{root + QStringLiteral("/etc1"), root + QStringLiteral("/etc2")};
    QDir().mkpath(dataDirs.first());
    if (!QFile::link(QStringLiteral("/usr/share/mime"), dataDirs.first() + QStringLiteral("/mime")))
        throw std::runtime_error("cannot link the MIME database");

    const QStringList desktops{QString(), QStringLiteral("KDE"), QStringLiteral("X:XFCE"),
                               QStringLiteral("GNOME:bad name:Kde")};
    const QString desktop = w.pick(desktops);
    QStringList prefixes;
    for (const QString &name : desktop.split(u':', Qt::SkipEmptyParts)) {
        if (!name.contains(u' '))
            prefixes.append(name.toLower());
    }

    QStringList applicationDirs{dataHome + QStringLiteral("/applications")};
    for (const QString &dir : dataDirs)
        applicationDirs.append(dir + QStringLiteral("/applications"));
    const QStringList relativePaths{QStringLiteral("a.desktop"),     QStringLiteral("b.desktop"),
                                    QStringLiteral("c.desktop"),     QStringLiteral("d.desktop"),
                                    QStringLiteral("kde/k.desktop"), QStringLiteral("kde-k.desktop"),
                                    QStringLiteral("x/y/z.desktop")};
    for (const QString &dir : applicationDirs) {
        for (const QString &path : relativePaths) {
            if (w.chance(path == QStringLiteral("kde-k.desktop") ? 0 : 45))
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
    QStringList listDirs{configHome};
    listDirs.append(configDirs);
    listDirs.append(applicationDirs);
    for (const QString &dir : listDirs) {
        if (w.chance(50))
            write(dir + QStringLiteral("/mimeapps.list"),
                  w.list({"Default Applications", "Added Associations", "Removed Associations"}));
        for (const QString &prefix : prefixes) {
            if (w.chance(40))
                write(dir + u'/' + prefix + QStringLiteral("-mimeapps.list"),
                      w.list({"Default Applications", "Added Associations"}));
        }
    }

    environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    environment.insert(QStringLiteral("XDG_DATA_DIRS"), dataDirs.join(u':'));
    environment.insert(QStringLiteral("XDG_CONFIG_DIRS"), configDirs.join(u':'));
    environment.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), desktop);
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

QList<GioProbeLine> askGio(const QProcessEnvironment &environment, const QStringList &types)
{
    const std::optional<QString> probe = findGioProbe();
    if (!probe)
        throw std::runtime_error("the GIO probe is not built");
    return parseGioProbeOutput(runOn(environment, *probe, types));
}

GioProbeLine askResolver(const MimeAppsResolver &resolver, const QString &type)
{
    const DefaultAnswer answer = resolver.defaultFor(type);
    GioProbeLine line{type, answer.app ? std::optional(answer.app->desktopId) : std::nullopt, {}};
    for (const CandidateAnswer &candidate : resolver.candidatesFor(type))
        line.candidateIds.append(candidate.app.desktopId);
    return line;
}

} // namespace halvora::test
