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
// in memory until its file monitors report a change; every query here first waits for
// reports of files changed since the previous one (GioChangeSync.h), so answers follow
// changes made by other processes. Desktop entries themselves are re-read per query.
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
