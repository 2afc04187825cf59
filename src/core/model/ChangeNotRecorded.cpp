#include "core/model/ChangeNotRecorded.h"

#include "core/model/FileAssociationError.h"

namespace halvora {

QString changeNotRecordedDescription(const std::exception_ptr &storeFailure)
{
    return changeNotRecordedMessage + QStringLiteral(": ") + localizedDescription(storeFailure);
}

bool failedAfterAskingTheSystem(const std::exception_ptr &failure)
{
    if (!failure)
        return false;
    try {
        std::rethrow_exception(failure);
    } catch (const FileAssociationError &error) {
        return error.kind() != FileAssociationError::Kind::noPreviousApplication;
    } catch (...) {
        return true;
    }
}

} // namespace halvora
