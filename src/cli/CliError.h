#pragma once

#include "core/model/LocalizedError.h"

#include <QString>

#include <exception>

namespace halvora::cli {

// The process exit codes; scripts rely on them, so the values never change.
enum class ExitCode : int {
    success = 0,       // done, and the system confirmed every change
    notApplied = 1,    // a change was refused or not confirmed (its record is still written)
    badInput = 2,      // bad usage, extension, application or profile
    systemFailure = 3, // the desktop or the history store failed
};

// A failure of the command line itself, carrying the exit code it ends the process with.
class CliError : public LocalizedError {
public:
    CliError(ExitCode code, QString description);

    static CliError usage(QString description)
    {
        return CliError(ExitCode::badInput, std::move(description));
    }

    ExitCode code() const { return code_; }

    HALVORA_LOCALIZED_ERROR_CLONE(CliError)

private:
    ExitCode code_;
};

// Which exit code a failure ends the process with: our own errors carry it, the model's
// errors map by kind, anything else is a failure of the system underneath.
ExitCode exitCodeFor(const std::exception_ptr &failure);

} // namespace halvora::cli
