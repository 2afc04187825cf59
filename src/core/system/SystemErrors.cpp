#include "core/system/SystemErrors.h"

#include <utility>

namespace halvora {

FileReadError::FileReadError(QString path, QString reason)
    : LocalizedError(QStringLiteral("'%1' 파일을 읽을 수 없습니다: %2").arg(path, reason)),
      path_(std::move(path)), reason_(std::move(reason))
{}

namespace {

QString describeFormatError(const QString &reason, const QString &path)
{
    if (path.isEmpty())
        return QStringLiteral("처리기 목록의 형식이 올바르지 않습니다: %1").arg(reason);
    return QStringLiteral("'%1' 파일의 형식이 올바르지 않습니다: %2").arg(path, reason);
}

} // namespace

HandlerListFormatError::HandlerListFormatError(QString reason, QString path)
    : LocalizedError(describeFormatError(reason, path)), reason_(std::move(reason)), path_(std::move(path))
{}

} // namespace halvora
