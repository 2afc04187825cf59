#pragma once

#include "linux/mimeapps/GioProbe.h"
#include "linux/mimeapps/MimeAppsResolver.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <cstdint>

namespace halvora::test {

// A random desktop in a directory: several data and config dirs, entries in subfolders,
// copies that shadow, hide or fail to load, list files of every kind with every group in
// every place they are read, and the machine's MIME database linked in. The same seed
// always writes the same tree.
struct RandomDesktopTree {
    RandomDesktopTree(const QString &root, std::uint64_t seed);

    // HOME, the XDG variables and XDG_CURRENT_DESKTOP of the tree, on top of the process's.
    QProcessEnvironment environment;
    // The types worth asking about: the pool the lists name, aliases and parents included.
    QStringList types;
};

// Runs a program on the tree and returns its output; a failure is a test failure.
QByteArray runOn(const QProcessEnvironment &environment, const QString &program, const QStringList &arguments,
                 const QString &workingDirectory = QString());
// GIO's answers, from the probe in a fresh process, and the resolver's in the same form.
QList<GioProbeLine> askGio(const QProcessEnvironment &environment, const QStringList &types);
GioProbeLine askResolver(const MimeAppsResolver &resolver, const QString &type);

} // namespace halvora::test
