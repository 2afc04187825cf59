#include "linux/mimeapps/MimeAppsLists.h"

#include "linux/mimeapps/GlibHandles.h"

#include <glib.h>

#include <QHash>
#include <QSet>

#include <memory>

namespace halvora {

namespace {

using glib::Strings;

bool blank(char c)
{
    return c == ' ' || c == '\t';
}

// The key files' own line rules, only to tell on which line a key or a fault stands.
struct LineMap {
    QHash<QByteArray, int> lines; // "group\nkey" as written -> last line
    int firstBadLine = 0;
};

LineMap mapLines(const QByteArray &bytes)
{
    LineMap map;
    QByteArray group;
    int number = 0;
    for (QByteArray line : bytes.split('\n')) {
        ++number;
        if (line.endsWith('\r'))
            line.chop(1);
        qsizetype start = 0;
        while (start < line.size() && blank(line[start]))
            ++start;
        const QByteArray text = line.mid(start);
        if (text.isEmpty() || text.startsWith('#'))
            continue;
        if (text.startsWith('[')) {
            group = text.mid(1, text.indexOf(']') - 1);
            continue;
        }
        const qsizetype equals = text.indexOf('=');
        if (equals <= 0) {
            if (!map.firstBadLine)
                map.firstBadLine = number;
            continue;
        }
        QByteArray key = text.left(equals);
        while (!key.isEmpty() && blank(key.back()))
            key.chop(1);
        map.lines.insert(group + '\n' + key, number);
    }
    return map;
}

QList<ListEntry> readGroup(GKeyFile *file, const char *group, const LineMap &lines)
{
    QList<ListEntry> entries;
    gsize count = 0;
    const Strings keys(g_key_file_get_keys(file, group, &count, nullptr));
    QSet<QByteArray> seen;
    const QByteArray prefix = QByteArray(group) + '\n';
    for (gsize i = 0; keys && i < count; ++i) {
        const char *key = keys.get()[i];
        const QByteArray name(key);
        if (seen.contains(name))
            continue;
        seen.insert(name);
        gsize idCount = 0;
        // A value the key file cannot decode names nothing.
        const Strings ids(g_key_file_get_string_list(file, group, key, &idCount, nullptr));
        if (!ids)
            continue;
        ListEntry entry{QString::fromUtf8(name), {}, lines.lines.value(prefix + name)};
        for (gsize j = 0; j < idCount; ++j)
            entry.desktopIds.append(QString::fromUtf8(ids.get()[j]));
        entries.append(std::move(entry));
    }
    return entries;
}

} // namespace

const QList<ListEntry> &ListFile::group(ListGroupKind kind) const
{
    switch (kind) {
    case ListGroupKind::defaults:
        return defaults;
    case ListGroupKind::additions:
        return additions;
    case ListGroupKind::removals:
        break;
    }
    return removals;
}

const char *listGroupName(ListGroupKind kind, ListFileKind file)
{
    switch (kind) {
    case ListGroupKind::defaults:
        return "Default Applications";
    case ListGroupKind::additions:
        return file == ListFileKind::mimeInfoCache ? "MIME Cache" : "Added Associations";
    case ListGroupKind::removals:
        break;
    }
    return "Removed Associations";
}

void parseListFile(ListFile &file, const QByteArray &bytes)
{
    file.present = true;
    file.parseError.reset();
    file.parseErrorLine = 0;
    file.defaults.clear();
    file.additions.clear();
    file.removals.clear();

    const glib::KeyFile keys(g_key_file_new());
    GError *error = nullptr;
    const LineMap lines = mapLines(bytes);
    if (!g_key_file_load_from_data(keys.get(), bytes.constData(), gsize(bytes.size()), G_KEY_FILE_NONE,
                                   &error)) {
        file.parseError = QString::fromUtf8(error ? error->message : "invalid key file");
        file.parseErrorLine = lines.firstBadLine;
        g_clear_error(&error);
        return;
    }
    // Each kind honours its own groups; the others are ignored as GIO ignores them.
    file.defaults = readGroup(keys.get(), listGroupName(ListGroupKind::defaults, file.kind), lines);
    if (file.kind == ListFileKind::mimeApps || file.kind == ListFileKind::mimeInfoCache) {
        file.additions = readGroup(keys.get(), listGroupName(ListGroupKind::additions, file.kind), lines);
        file.removals = readGroup(keys.get(), listGroupName(ListGroupKind::removals, file.kind), lines);
    }
}

QList<ListFile> listFileLocations(const XdgEnvironment &environment)
{
    QList<ListFile> files;
    int index = 0;
    const QStringList prefixes = environment.desktopFilePrefixes();
    auto addDirectory = [&](const QString &directory, bool config) {
        auto add = [&](const QString &name, ListFileKind kind, const QString &desktop = {}) {
            ListFile file;
            file.path = joinPath(directory, name);
            file.kind = kind;
            file.directory = directory;
            file.directoryIndex = index;
            file.inConfigDirectory = config;
            file.desktop = desktop;
            files.append(std::move(file));
        };
        for (const QString &prefix : prefixes)
            add(prefix + QStringLiteral("-mimeapps.list"), ListFileKind::desktopMimeApps, prefix);
        add(QStringLiteral("mimeapps.list"), ListFileKind::mimeApps);
        if (!config) {
            add(QStringLiteral("defaults.list"), ListFileKind::defaultsList);
            add(QStringLiteral("mimeinfo.cache"), ListFileKind::mimeInfoCache);
        }
        ++index;
    };
    addDirectory(environment.configHome, true);
    for (const QString &directory : environment.configDirs)
        addDirectory(directory, true);
    addDirectory(joinPath(environment.dataHome, QStringLiteral("applications")), false);
    for (const QString &directory : environment.dataDirs)
        addDirectory(joinPath(directory, QStringLiteral("applications")), false);
    return files;
}

} // namespace halvora
