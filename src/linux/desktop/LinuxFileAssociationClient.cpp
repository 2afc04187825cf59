#include "linux/desktop/LinuxFileAssociationClient.h"

#include "core/system/LocalFileSystem.h"
#include "linux/desktop/GioDesktopEntries.h"
#include "linux/desktop/MimeAppsListReader.h"
#include "linux/desktop/MimeDatabaseContentTypes.h"

#include <glib.h>

#include <QFile>

namespace halvora {

QUrl defaultMimeAppsListURL()
{
    // Ask glib rather than the environment, so that this is the file GIO itself writes.
    return QUrl::fromLocalFile(QFile::decodeName(g_get_user_config_dir()) + QStringLiteral("/mimeapps.list"));
}

WorkspacePorts linuxWorkspacePorts()
{
    return {std::make_shared<MimeDatabaseContentTypes>(), std::make_shared<GioApplications>(),
            std::make_shared<GioDesktopEntries>(), std::make_shared<LocalFileSystem>()};
}

std::unique_ptr<WorkspaceFileAssociationClient> makeLinuxFileAssociationClient(const QUrl &mimeAppsList)
{
    return std::make_unique<WorkspaceFileAssociationClient>(
        mimeAppsList, std::make_shared<MimeAppsListReader>(), linuxWorkspacePorts());
}

} // namespace halvora
