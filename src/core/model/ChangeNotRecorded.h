#pragma once

#include <QString>

#include <exception>

namespace halvora {

// The one sentence every surface uses when the system was asked to change a default (or undo
// one) but the record of it could not be stored: the change may well be in effect.
inline const QString changeNotRecordedMessage =
    QStringLiteral("기본 앱은 바뀌었을 수 있지만 변경 기록을 저장하지 못했습니다");

// The sentence followed by the store's own reason.
QString changeNotRecordedDescription(const std::exception_ptr &storeFailure);

// Whether a failure of applying or undoing came after the system was asked. The service throws
// only store failures once it has asked; an undo without a previous application is refused
// before asking.
bool failedAfterAskingTheSystem(const std::exception_ptr &failure);

} // namespace halvora
