#pragma once

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

} // namespace halvora::test
