#include "cli/ApplicationDirectory.h"

#include "cli/CliError.h"
#include "core/model/FileAssociationError.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace halvora::cli {

namespace {

// The absolute path of a path relative to the working directory, with "." and ".." worked
// out against it; ".." at the root stays at the root, as the system treats it.
QString absolutePath(const QString &path)
{
    const QString joined = QDir::isAbsolutePath(path) ? path : QDir::currentPath() + u'/' + path;
    QStringList parts;
    for (const QString &part : joined.split(u'/', Qt::SkipEmptyParts)) {
        if (part == u"..") {
            if (!parts.isEmpty())
                parts.removeLast();
        } else if (part != u".") {
            parts.append(part);
        }
    }
    return u'/' + parts.join(u'/');
}

} // namespace

ResolvedApplication resolveApplication(const ApplicationDirectory &directory, const QString &argument)
{
    if (argument.contains(u'/')) {
        const QFileInfo file(argument);
        if (!file.isFile()) {
            throw CliError(ExitCode::badInput,
                           QStringLiteral("데스크톱 파일을 찾을 수 없습니다: ") + argument);
        }
        try {
            return {directory.applicationAt(absolutePath(argument)), true};
        } catch (const FileAssociationError &error) {
            throw CliError(ExitCode::badInput, error.errorDescription());
        }
    }
    const QString trimmed = argument.trimmed();
    if (trimmed.isEmpty())
        throw CliError(ExitCode::badInput, QStringLiteral("앱을 지정하세요."));
    const QString id =
        trimmed.endsWith(QStringLiteral(".desktop")) ? trimmed : trimmed + QStringLiteral(".desktop");
    if (std::optional<AssociatedApp> app = directory.applicationWithId(id))
        return {*app, false};
    throw CliError(ExitCode::badInput,
                   QStringLiteral("알 수 없는 앱입니다: ") + id +
                       QStringLiteral(" (데스크톱 파일 ID 또는 .desktop 파일의 경로를 주세요.)"));
}

} // namespace halvora::cli
