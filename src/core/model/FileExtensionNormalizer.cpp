#include "core/model/FileExtensionNormalizer.h"

#include "core/model/FileAssociationError.h"

#include <QChar>

namespace halvora::FileExtensionNormalizer {

namespace {

// Tab, U+000A..U+000D, U+0085 and the separators of category Z, written out so that the
// set does not hang on how Qt defines white space. No such character lies beyond U+FFFF,
// so single UTF-16 units suffice.
bool isWhiteSpace(QChar c)
{
    const char16_t u = c.unicode();
    if (u == u'\t' || (u >= 0x000A && u <= 0x000D) || u == 0x0085)
        return true;
    switch (c.category()) {
    case QChar::Separator_Space:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

QStringView trimmed(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isWhiteSpace(text[begin]))
        ++begin;
    while (end > begin && isWhiteSpace(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

} // namespace

QString normalize(const QString &text)
{
    QStringView rest = trimmed(text);
    while (!rest.isEmpty() && rest.front() == u'.')
        rest = rest.sliced(1);
    const QString result = rest.toString().toLower();

    if (result.isEmpty())
        throw FileAssociationError::invalidExtension(QString());
    // The same set that trims also rejects inside: an extension never holds white space.
    for (QChar c : result) {
        if (c == u'/' || c == u':' || isWhiteSpace(c))
            throw FileAssociationError::invalidExtension(result);
    }
    if (result.endsWith(u'.'))
        throw FileAssociationError::invalidExtension(result);
    return result;
}

} // namespace halvora::FileExtensionNormalizer
