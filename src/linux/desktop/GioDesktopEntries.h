#pragma once

#include "core/system/SystemPorts.h"

#include <QUrl>

#include <optional>

namespace halvora {

// Desktop entries read the way GIO reads them: the identifier is the desktop-file ID that
// GIO derives from the entry's place under an applications directory.
class GioDesktopEntries : public DesktopEntryReader {
public:
    std::optional<DesktopEntry> read(const QUrl &fileUrl) const override;
};

// The handlers GIO resolves from mimeapps.list and the MIME caches. GIO keeps those lists
// in memory and drops them when its inotify monitors, served by glib's own worker thread
// (no main loop needed), report a change, well under a millisecond after the write; desktop
// entries are re-read per query. So answers follow changes made by other processes.
class GioApplications : public ApplicationRegistry {
public:
    std::optional<DesktopEntry> defaultApplication(const QString &contentType) const override;
    QList<DesktopEntry> applications(const QString &contentType) const override;
    void setDefaultApplication(const QUrl &application, const QString &contentType) const override;
};

// The entry's icon as GIO serialises it (a theme name or a file path); absent when the
// entry has none or cannot be loaded.
std::optional<QString> desktopEntryIconName(const QUrl &desktopEntry);

} // namespace halvora
