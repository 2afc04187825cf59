#pragma once

#include "linux/mimeapps/XdgEnvironment.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace halvora {

// The kinds of files that name applications for MIME types, as each directory holds them.
enum class ListFileKind {
    desktopMimeApps, // <desktop>-mimeapps.list: defaults only
    mimeApps,        // mimeapps.list: defaults, additions, removals
    defaultsList,    // legacy defaults.list: defaults only
    mimeInfoCache,   // mimeinfo.cache: its [MIME Cache] group counts as additions
};

enum class ListGroupKind { defaults, additions, removals };

// One key of one group: the type as written, the IDs as listed (empty items kept), and
// the 1-based line of the key's last occurrence (the one that counts).
struct ListEntry {
    QString type;
    QStringList desktopIds;
    int line = 0;

    bool operator==(const ListEntry &) const = default;
};

// One list file in the place it has among all lists of the environment.
struct ListFile {
    QString path;
    ListFileKind kind = ListFileKind::mimeApps;
    // The directory the file is in (a config dir or an applications dir) and its index in
    // the environment's precedence order; config dirs come first.
    QString directory;
    int directoryIndex = 0;
    bool inConfigDirectory = false;
    // For desktopMimeApps, the lower-cased desktop name.
    QString desktop;

    bool present = false;
    // Set when the file is there but not a valid key file (it is then ignored).
    std::optional<QString> parseError;
    // The line the parser gave up at, when it could tell.
    int parseErrorLine = 0;

    // Only the groups this kind of file honours, keys in file order.
    QList<ListEntry> defaults;
    QList<ListEntry> additions;
    QList<ListEntry> removals;

    const QList<ListEntry> &group(ListGroupKind kind) const;
};

// The group names as they stand in the files.
const char *listGroupName(ListGroupKind kind, ListFileKind file);

// Parses the bytes of a list file of the given kind; fills present, parseError and groups.
void parseListFile(ListFile &file, const QByteArray &bytes);

// Every list file the environment's lookups read, in precedence order, whether present or
// not: per config dir, then per applications dir, "<desktop>-mimeapps.list" for each
// desktop, then mimeapps.list, and in applications dirs defaults.list and mimeinfo.cache.
QList<ListFile> listFileLocations(const XdgEnvironment &environment);

} // namespace halvora
