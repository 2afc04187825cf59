#include "core/model/TextOrder.h"

#include <algorithm>

namespace halvora {

namespace {

// Maps a UTF-16 unit so that unit order equals scalar-value order at the first
// difference: surrogates (U+D800..U+DFFF, which start characters beyond U+FFFF) move
// above U+E000..U+FFFF.
constexpr char32_t scalarOrderKey(char16_t unit)
{
    if (unit >= 0xE000)
        return unit - 0x800;
    if (unit >= 0xD800)
        return unit + 0x2000;
    return unit;
}

} // namespace

int compareScalarValues(QStringView a, QStringView b)
{
    const qsizetype common = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < common; ++i) {
        const char16_t x = a[i].unicode();
        const char16_t y = b[i].unicode();
        if (x != y)
            return scalarOrderKey(x) < scalarOrderKey(y) ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

} // namespace halvora
