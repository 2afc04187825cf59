#include "core/model/FileAssociationError.h"

#include <utility>

namespace halvora {

namespace {

QString describe(FileAssociationError::Kind kind, const QString &payload)
{
    using Kind = FileAssociationError::Kind;
    switch (kind) {
    case Kind::invalidExtension:
        if (payload.isEmpty())
            return QStringLiteral("확장자를 입력하세요.");
        return QStringLiteral("'") + payload + QStringLiteral("'는 사용할 수 없는 확장자입니다.");
    case Kind::contentTypeUnavailable:
        return QStringLiteral(".") + payload +
               QStringLiteral("에 대응하는 macOS 파일 타입을 찾을 수 없습니다.");
    case Kind::appMissingBundleIdentifier:
        return payload + QStringLiteral("에서 앱 번들 식별자를 찾을 수 없습니다.");
    case Kind::noPreviousApplication:
        return QStringLiteral(".") + payload +
               QStringLiteral("의 현재 기본 앱이 없어 되돌리기 정보를 만들 수 없습니다.");
    case Kind::systemFailure:
        return payload;
    case Kind::noRecentChange:
        return QStringLiteral("되돌릴 최근 변경 사항이 없습니다.");
    }
    return payload;
}

} // namespace

FileAssociationError::FileAssociationError(Kind kind, QString payload)
    : LocalizedError(describe(kind, payload)), kind_(kind), payload_(std::move(payload))
{}

FileAssociationError FileAssociationError::invalidExtension(QString rejectedText)
{
    return {Kind::invalidExtension, std::move(rejectedText)};
}

FileAssociationError FileAssociationError::contentTypeUnavailable(QString extensionOrIdentifier)
{
    return {Kind::contentTypeUnavailable, std::move(extensionOrIdentifier)};
}

FileAssociationError FileAssociationError::appMissingBundleIdentifier(QString path)
{
    return {Kind::appMissingBundleIdentifier, std::move(path)};
}

FileAssociationError FileAssociationError::noPreviousApplication(QString fileExtension)
{
    return {Kind::noPreviousApplication, std::move(fileExtension)};
}

FileAssociationError FileAssociationError::systemFailure(QString message)
{
    return {Kind::systemFailure, std::move(message)};
}

FileAssociationError FileAssociationError::noRecentChange()
{
    return {Kind::noRecentChange, QString()};
}

} // namespace halvora
