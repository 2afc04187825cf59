#pragma once

#include <QLocale>
#include <QStringView>

namespace halvora {

// Plain text order: by Unicode scalar values, no locale, no case folding.
// QString::operator< compares UTF-16 code units, which puts U+E000..U+FFFF after
// characters beyond U+FFFF; these functions do not.
int compareScalarValues(QStringView a, QStringView b);
inline bool scalarValueLess(QStringView a, QStringView b)
{
    return compareScalarValues(a, b) < 0;
}

// The locale whose collation orders names for people: the default locale's, which for the
// system locale follows LC_COLLATE (or LC_ALL) rather than the language of messages.
inline QLocale collationLocale()
{
    return QLocale().collation();
}

} // namespace halvora
