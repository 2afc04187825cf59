#pragma once

#include "core/system/WorkspaceFileAssociationClient.h"

#include <QUrl>

#include <memory>

namespace halvora {

// The user's mimeapps.list, where GIO records the user's choices:
// $XDG_CONFIG_HOME/mimeapps.list, by default ~/.config/mimeapps.list.
QUrl defaultMimeAppsListURL();
// The user's desktop-specific lists, read before it: $XDG_CONFIG_HOME/<desktop>-mimeapps.list
// for each desktop of XDG_CURRENT_DESKTOP.
QList<QUrl> desktopMimeAppsListURLs();

// shared-mime-info for content types, the resolver for applications, Qt for files.
WorkspacePorts linuxWorkspacePorts();

// The system client of this desktop, reading the handler lists from the desktop-specific
// lists and mimeAppsList.
std::unique_ptr<WorkspaceFileAssociationClient>
makeLinuxFileAssociationClient(const QUrl &mimeAppsList = defaultMimeAppsListURL());

} // namespace halvora
