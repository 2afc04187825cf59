#pragma once

#include "core/model/Models.h"

#include <QString>
#include <QUrl>

#include <gtest/gtest.h>

#include <ostream>

// Readable failure output for Qt text.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace halvora::test {

inline AssociatedApp app(const QString &name, const QString &bundleIdentifier, const QString &path)
{
    return AssociatedApp(name, bundleIdentifier, QUrl::fromLocalFile(path));
}

inline FileAssociation association(const QString &extension, std::optional<AssociatedApp> current = {})
{
    QList<AssociatedApp> candidates;
    if (current)
        candidates.append(*current);
    return FileAssociation(extension, u"application/x-"_qs + extension, current, candidates);
}

inline QStringList extensionsOf(const QList<FileAssociation> &associations)
{
    QStringList extensions;
    for (const FileAssociation &a : associations)
        extensions.append(a.fileExtension());
    return extensions;
}

} // namespace halvora::test
