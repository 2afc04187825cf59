#pragma once

#include "core/model/LocalizedError.h"
#include "core/model/Models.h"

#include <QString>

#include <exception>
#include <optional>

namespace halvora {

// The system was asked to change a default (or undo one) but its record could not be stored.
// The change may well be in effect, so callers must show the real default afterwards; the
// record says what was attempted and how the system answered.
class ChangeNotRecordedError : public LocalizedError {
public:
    // The one sentence every surface uses for this case.
    static inline const QString message =
        QStringLiteral("기본 앱은 바뀌었을 수 있지만 변경 기록을 저장하지 못했습니다");

    // The description is the sentence, then the store's own reason.
    ChangeNotRecordedError(AssociationChangeRecord record, const std::exception_ptr &storeFailure);

    const AssociationChangeRecord &record() const { return record_; }

    HALVORA_LOCALIZED_ERROR_CLONE(ChangeNotRecordedError)

private:
    AssociationChangeRecord record_;
};

// The failure as a ChangeNotRecordedError, or none when it is something else.
std::optional<ChangeNotRecordedError> asChangeNotRecorded(const std::exception_ptr &failure);

} // namespace halvora
