#include "linux/desktop/LinuxFileAssociationClient.h"

#include "core/system/LocalFileSystem.h"
#include "linux/desktop/MimeAppsListReader.h"
#include "linux/desktop/MimeDatabaseContentTypes.h"
#include "linux/desktop/ResolverApplications.h"
#include "linux/mimeapps/XdgEnvironment.h"

namespace halvora {

QUrl defaultMimeAppsListURL()
{
    return QUrl::fromLocalFile(XdgEnvironment::fromProcess().configHome + QStringLiteral("/mimeapps.list"));
}

QList<QUrl> desktopMimeAppsListURLs()
{
    const XdgEnvironment environment = XdgEnvironment::fromProcess();
    QList<QUrl> lists;
    for (const QString &prefix : environment.desktopFilePrefixes())
        lists.append(
            QUrl::fromLocalFile(environment.configHome + u'/' + prefix + QStringLiteral("-mimeapps.list")));
    return lists;
}

WorkspacePorts linuxWorkspacePorts()
{
    const std::shared_ptr<const MimeAppsResolver> resolver = processResolver();
    return {std::make_shared<MimeDatabaseContentTypes>(), std::make_shared<ResolverApplications>(resolver),
            std::make_shared<ResolverDesktopEntries>(resolver), std::make_shared<LocalFileSystem>()};
}

std::unique_ptr<WorkspaceFileAssociationClient> makeLinuxFileAssociationClient(const QUrl &mimeAppsList)
{
    return std::make_unique<WorkspaceFileAssociationClient>(desktopMimeAppsListURLs(), mimeAppsList,
                                                            std::make_shared<MimeAppsListReader>(),
                                                            linuxWorkspacePorts());
}

} // namespace halvora
