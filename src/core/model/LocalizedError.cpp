#include "core/model/LocalizedError.h"

#include <QException>

#include <utility>

namespace halvora {

LocalizedError::LocalizedError(QString description)
    : description_(std::move(description)), utf8_(description_.toUtf8())
{}

QString localizedDescription(const std::exception_ptr &failure)
{
    if (!failure)
        return QStringLiteral("알 수 없는 오류가 발생했습니다.");
    try {
        std::rethrow_exception(failure);
    } catch (const LocalizedError &error) {
        return error.localizedDescription();
    } catch (const QUnhandledException &wrapper) {
        // Anything that is not a QException reaches a QFuture's consumer wrapped.
        if (wrapper.exception())
            return localizedDescription(wrapper.exception());
        return QStringLiteral("알 수 없는 오류가 발생했습니다.");
    } catch (const std::exception &error) {
        return QString::fromUtf8(error.what());
    } catch (...) {
        return QStringLiteral("알 수 없는 오류가 발생했습니다.");
    }
}

} // namespace halvora
