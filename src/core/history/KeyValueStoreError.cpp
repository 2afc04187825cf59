#include "core/history/KeyValueStoreError.h"

namespace halvora {

namespace {

QString sentence(KeyValueStoreError::Reason reason, const QString &filePath)
{
    using Reason = KeyValueStoreError::Reason;
    switch (reason) {
    case Reason::cannotCreateDirectory:
        return QStringLiteral("변경 기록 파일 \"%1\"이(가) 들어갈 폴더를 만들 수 없습니다.").arg(filePath);
    case Reason::cannotOpen:
        return QStringLiteral("변경 기록 파일 \"%1\"을(를) 열 수 없습니다.").arg(filePath);
    case Reason::notADatabase:
        return QStringLiteral("변경 기록 파일 \"%1\"이(가) 손상되었거나 데이터베이스 파일이 아니어서 읽을 수 "
                              "없습니다. 파일은 그대로 두었습니다.")
            .arg(filePath);
    case Reason::diskFull:
        return QStringLiteral("디스크 공간이 부족하여 변경 기록 파일 \"%1\"에 저장하지 못했습니다.")
            .arg(filePath);
    case Reason::busy:
        return QStringLiteral("다른 프로그램이 변경 기록 파일 \"%1\"을(를) 오래 사용하고 있어 제한 시간 안에 "
                              "기록하지 못했습니다.")
            .arg(filePath);
    case Reason::readFailed:
        return QStringLiteral("변경 기록 파일 \"%1\"을(를) 읽지 못했습니다.").arg(filePath);
    case Reason::writeFailed:
        return QStringLiteral("변경 기록 파일 \"%1\"에 저장하지 못했습니다.").arg(filePath);
    }
    return QStringLiteral("변경 기록 파일 \"%1\"을(를) 사용할 수 없습니다.").arg(filePath);
}

QString describe(KeyValueStoreError::Reason reason, const QString &filePath, const QString &detail)
{
    QString text = sentence(reason, filePath);
    if (!detail.isEmpty())
        text += QStringLiteral(" (원인: %1)").arg(detail);
    return text;
}

} // namespace

KeyValueStoreError::KeyValueStoreError(Reason reason, QString filePath, QString detail)
    : LocalizedError(describe(reason, filePath, detail)), reason_(reason), filePath_(std::move(filePath)),
      detail_(std::move(detail))
{}

} // namespace halvora
