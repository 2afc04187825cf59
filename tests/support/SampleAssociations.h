#pragma once

// Sample applications and associations for the state's and the window's tests.

#include "core/model/Models.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>
#include <ostream>

// Failure messages show texts as texts.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace halvora::test {

inline AssociatedApp app(const QString &name, const QString &bundle, const QString &dir = u"/usr/share"_qs)
{
    return AssociatedApp(name, bundle, QUrl::fromLocalFile(dir + u"/applications/"_qs + bundle));
}

// Content type application/x-EXTENSION; without candidates, the current application is the one.
inline FileAssociation assoc(const QString &extension, std::optional<AssociatedApp> current,
                             QList<AssociatedApp> candidates = {})
{
    if (candidates.isEmpty() && current)
        candidates.append(*current);
    return FileAssociation(extension, u"application/x-"_qs + extension, std::move(current),
                           std::move(candidates));
}

inline QStringList extensionsOf(const QList<FileAssociation> &associations)
{
    QStringList extensions;
    for (const auto &a : associations)
        extensions.append(a.fileExtension());
    return extensions;
}

} // namespace halvora::test
