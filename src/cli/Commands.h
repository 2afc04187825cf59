#pragma once

#include "cli/ApplicationDirectory.h"
#include "cli/Console.h"
#include "core/model/ExtensionCatalog.h"
#include "core/service/FileAssociationManaging.h"

#include <QStringList>

#include <functional>

#include <memory>

namespace halvora::cli {

// What the commands work with: the same service the window uses, a way to find the
// applications the user names, and the console.
struct CliContext {
    std::shared_ptr<FileAssociationManaging> service;
    const ApplicationDirectory &applications;
    ExtensionCatalog catalog;
    Console &console;
    // Every content type claiming an extension; empty when the platform cannot tell.
    std::function<QStringList(const QString &extension)> typesClaiming = {};
};

// Parses the arguments after the program name, runs the command and returns the exit
// code. Never throws: every failure is a message on standard error and its exit code.
// Must run on the thread that owns the event loop (the state lives there).
int runCli(const QStringList &arguments, CliContext &context);

} // namespace halvora::cli
