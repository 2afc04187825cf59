#include "cli/CliError.h"

#include "cli/AssociationProfile.h"
#include "core/model/FileAssociationError.h"

namespace halvora::cli {

CliError::CliError(ExitCode code, QString description) : LocalizedError(std::move(description)), code_(code)
{}

ExitCode exitCodeFor(const std::exception_ptr &failure)
{
    if (!failure)
        return ExitCode::success;
    try {
        std::rethrow_exception(failure);
    } catch (const CliError &error) {
        return error.code();
    } catch (const ProfileError &error) {
        return error.problem() == ProfileError::Problem::writeFailed ? ExitCode::systemFailure
                                                                     : ExitCode::badInput;
    } catch (const FileAssociationError &error) {
        using Kind = FileAssociationError::Kind;
        switch (error.kind()) {
        case Kind::invalidExtension:
        case Kind::contentTypeUnavailable:
            return ExitCode::badInput;
        case Kind::noPreviousApplication:
        case Kind::noRecentChange:
            return ExitCode::notApplied;
        case Kind::appMissingBundleIdentifier:
        case Kind::systemFailure:
            return ExitCode::systemFailure;
        }
        return ExitCode::systemFailure;
    } catch (...) {
        return ExitCode::systemFailure;
    }
}

} // namespace halvora::cli
