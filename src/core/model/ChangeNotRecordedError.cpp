#include "core/model/ChangeNotRecordedError.h"

#include <utility>

namespace halvora {

ChangeNotRecordedError::ChangeNotRecordedError(AssociationChangeRecord record,
                                               const std::exception_ptr &storeFailure)
    : LocalizedError(message + QStringLiteral(": ") + halvora::localizedDescription(storeFailure)),
      record_(std::move(record))
{}

std::optional<ChangeNotRecordedError> asChangeNotRecorded(const std::exception_ptr &failure)
{
    if (!failure)
        return std::nullopt;
    try {
        std::rethrow_exception(failure);
    } catch (const ChangeNotRecordedError &error) {
        return error;
    } catch (...) {
        return std::nullopt;
    }
}

} // namespace halvora
