#pragma once

#include "core/model/EnumTraits.h"

#include <QHash>
#include <QString>

#include <array>

namespace halvora {

// How the sidebar groups the association list.
enum class AssociationSidebarMode { extensions, applications };

template <> struct EnumTraits<AssociationSidebarMode> {
    static constexpr std::array allCases{AssociationSidebarMode::extensions,
                                         AssociationSidebarMode::applications};
    static QString rawValue(AssociationSidebarMode mode);
};

// Label of the mode picker's segment.
QString title(AssociationSidebarMode mode);
// Placeholder of the search field in that mode; the search itself is the same in both.
QString searchPrompt(AssociationSidebarMode mode);

inline size_t qHash(AssociationSidebarMode mode, size_t seed = 0) noexcept
{
    return ::qHash(static_cast<int>(mode), seed);
}

// Which associations the sidebar shows.
enum class AssociationFilter {
    all,
    missingDefaultApplication,
    missingCandidateApps,
    recentlyChanged,
    verificationFailed
};

template <> struct EnumTraits<AssociationFilter> {
    static constexpr std::array allCases{AssociationFilter::all, AssociationFilter::missingDefaultApplication,
                                         AssociationFilter::missingCandidateApps,
                                         AssociationFilter::recentlyChanged,
                                         AssociationFilter::verificationFailed};
    static QString rawValue(AssociationFilter filter);
};

QString title(AssociationFilter filter);
// Symbol name of the filter's menu icon; the user interface maps it onto its icon theme.
QString systemImageName(AssociationFilter filter);

inline size_t qHash(AssociationFilter filter, size_t seed = 0) noexcept
{
    return ::qHash(static_cast<int>(filter), seed);
}

} // namespace halvora
