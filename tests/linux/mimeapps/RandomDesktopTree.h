#pragma once

#include "linux/mimeapps/GioProbe.h"
#include "linux/mimeapps/MimeAppsResolver.h"

#include <QProcessEnvironment>
#include <QStringList>

#include <cstdint>

namespace halvora::test {

// A random desktop in a directory: several data and config dirs, entries in subfolders,
// copies that shadow, hide or fail to load, list files of every kind with every group in
// every place they are read, and the machine's MIME database linked in. The same seed
// always writes the same tree. Returns its HOME, XDG variables and XDG_CURRENT_DESKTOP.
QProcessEnvironment writeRandomDesktop(const QString &root, std::uint64_t seed);
// The types worth asking a random desktop about: aliases and parents included.
extern const QStringList randomDesktopTypes;

// Runs a program on the tree and returns its output; a failure is a test failure.
QByteArray runOn(const QProcessEnvironment &environment, const QString &program, const QStringList &arguments,
                 const QString &workingDirectory = QString());
// Asks GIO about the types in a fresh process: every answer of the resolver that differs is
// a test failure naming `where`. Returns GIO's answers.
QList<GioProbeLine> compareWithGio(const QProcessEnvironment &environment, const QStringList &types,
                                   const MimeAppsResolver &resolver, const std::string &where);

} // namespace halvora::test
