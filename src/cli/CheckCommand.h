#pragma once

#include "cli/CliError.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"

namespace halvora::cli {

// `check [--restore] [--yes] [--json]`: the extensions whose default, chosen and confirmed
// here, something else has changed since; with --restore, puts the chosen applications back
// through the normal change path.
ExitCode runCheck(const ParsedCommand &command, CliContext &context);

} // namespace halvora::cli
