#pragma once

#include <QString>

namespace halvora::cli {

// The general help: every command, the exit codes and the environment.
QString generalHelp();
// One command's help; the general help for an empty or unknown name.
QString commandHelp(const QString &command);

} // namespace halvora::cli
