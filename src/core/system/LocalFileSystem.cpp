#include "core/system/LocalFileSystem.h"

#include "core/system/SystemErrors.h"

#include <QFile>
#include <QFileInfo>

namespace halvora {

bool LocalFileSystem::exists(const QString &path) const
{
    // A dangling symbolic link is no file, as for the desktop's own readers.
    return QFileInfo::exists(path);
}

QByteArray LocalFileSystem::readAll(const QString &path) const
{
    // Opening a pipe or device would block or never end.
    const QFileInfo info(path);
    if (info.isDir())
        throw FileReadError(path, QStringLiteral("디렉터리입니다"));
    if (info.exists() && !info.isFile())
        throw FileReadError(path, QStringLiteral("일반 파일이 아닙니다"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw FileReadError(path, file.errorString());
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw FileReadError(path, file.errorString());
    return bytes;
}

QString LocalFileSystem::displayName(const QString &path) const
{
    return QFileInfo(path).fileName();
}

} // namespace halvora
