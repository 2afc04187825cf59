#include "core/state/AssociationSidebarMode.h"

namespace halvora {

QString EnumTraits<AssociationSidebarMode>::rawValue(AssociationSidebarMode mode)
{
    switch (mode) {
    case AssociationSidebarMode::extensions:
        return QStringLiteral("extensions");
    case AssociationSidebarMode::applications:
        return QStringLiteral("applications");
    }
    return {};
}

QString title(AssociationSidebarMode mode)
{
    switch (mode) {
    case AssociationSidebarMode::extensions:
        return QStringLiteral("확장자");
    case AssociationSidebarMode::applications:
        return QStringLiteral("응용프로그램");
    }
    return {};
}

QString searchPrompt(AssociationSidebarMode mode)
{
    switch (mode) {
    case AssociationSidebarMode::extensions:
        return QStringLiteral("확장자 또는 UTI 검색");
    case AssociationSidebarMode::applications:
        return QStringLiteral("앱, 번들 ID, 확장자 검색");
    }
    return {};
}

QString EnumTraits<AssociationFilter>::rawValue(AssociationFilter filter)
{
    switch (filter) {
    case AssociationFilter::all:
        return QStringLiteral("all");
    case AssociationFilter::missingDefaultApplication:
        return QStringLiteral("missingDefaultApplication");
    case AssociationFilter::missingCandidateApps:
        return QStringLiteral("missingCandidateApps");
    case AssociationFilter::recentlyChanged:
        return QStringLiteral("recentlyChanged");
    case AssociationFilter::verificationFailed:
        return QStringLiteral("verificationFailed");
    }
    return {};
}

QString title(AssociationFilter filter)
{
    switch (filter) {
    case AssociationFilter::all:
        return QStringLiteral("전체");
    case AssociationFilter::missingDefaultApplication:
        return QStringLiteral("기본 앱 없음");
    case AssociationFilter::missingCandidateApps:
        return QStringLiteral("후보 앱 없음");
    case AssociationFilter::recentlyChanged:
        return QStringLiteral("최근 변경");
    case AssociationFilter::verificationFailed:
        return QStringLiteral("검증 실패");
    }
    return {};
}

QString systemImageName(AssociationFilter filter)
{
    switch (filter) {
    case AssociationFilter::all:
        return QStringLiteral("line.3.horizontal.decrease.circle");
    case AssociationFilter::missingDefaultApplication:
        return QStringLiteral("exclamationmark.triangle");
    case AssociationFilter::missingCandidateApps:
        return QStringLiteral("app.dashed");
    case AssociationFilter::recentlyChanged:
        return QStringLiteral("clock.arrow.circlepath");
    case AssociationFilter::verificationFailed:
        return QStringLiteral("xmark.octagon");
    }
    return {};
}

} // namespace halvora
