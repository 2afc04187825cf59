#pragma once

#include "core/system/WorkspaceFileAssociationClient.h"

#include <QUrl>

#include <memory>

namespace halvora {

// The user's mimeapps.list, where GIO records the user's choices:
// $XDG_CONFIG_HOME/mimeapps.list, by default ~/.config/mimeapps.list.
QUrl defaultMimeAppsListURL();

// shared-mime-info for content types, GIO for applications, Qt for files.
WorkspacePorts linuxWorkspacePorts();

// The system client of this desktop, reading the handler list from mimeAppsList.
std::unique_ptr<WorkspaceFileAssociationClient>
makeLinuxFileAssociationClient(const QUrl &mimeAppsList = defaultMimeAppsListURL());

} // namespace halvora
