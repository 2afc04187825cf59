#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace halvora {

// The directories and desktops that decide where applications and their lists are found,
// read from a set of environment variables the way GIO reads them. A plain value: tests
// build one for any tree without touching the process environment.
struct XdgEnvironment {
    QString configHome;
    // In precedence order; empty components are kept (they name relative paths).
    QStringList configDirs;
    QString dataHome;
    QStringList dataDirs;
    // XDG_CURRENT_DESKTOP components that may name a list file, in order, as written.
    QStringList desktops;

    // The desktops lower-cased, as they appear in "<desktop>-mimeapps.list".
    QStringList desktopFilePrefixes() const;

    static XdgEnvironment fromProcess();
    static XdgEnvironment from(const QProcessEnvironment &environment);

    bool operator==(const XdgEnvironment &) const = default;
};

// A name under one of those directories as GIO spells it: an empty directory leaves the
// name relative, and trailing slashes are not doubled.
QString joinPath(const QString &directory, const QString &name);

} // namespace halvora
