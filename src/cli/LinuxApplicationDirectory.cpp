#include "cli/LinuxApplicationDirectory.h"

#include "core/model/FileAssociationError.h"
#include "linux/desktop/ResolverApplications.h"

namespace halvora::cli {

std::optional<AssociatedApp> LinuxApplicationDirectory::applicationWithId(const QString &desktopFileId) const
{
    // The resolver's lookup is the desktop's (the first copy of the ID that loads) and reads
    // only what it needs, where GIO would first index every applications directory.
    const std::optional<ResolvedApp> app = processResolver()->application(desktopFileId);
    if (!app)
        return std::nullopt;
    try {
        return client_->app(QUrl::fromLocalFile(app->path));
    } catch (const FileAssociationError &) {
        return std::nullopt;
    }
}

AssociatedApp LinuxApplicationDirectory::applicationAt(const QString &absolutePath) const
{
    return client_->app(QUrl::fromLocalFile(absolutePath));
}

} // namespace halvora::cli
