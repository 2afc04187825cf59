#pragma once

#include "core/system/SystemPorts.h"
#include "linux/mimeapps/MimeAppsResolver.h"

#include <memory>

namespace halvora {

// The resolver of this process's environment, shared by every port; made again when the
// XDG variables or XDG_CURRENT_DESKTOP changed since.
std::shared_ptr<const MimeAppsResolver> processResolver();

// Defaults and candidates as the desktop's programs see them, read from the files at each
// query (MimeAppsResolver). A hidden default is answered as it is, with its ID.
class ResolverApplications : public ApplicationRegistry {
public:
    explicit ResolverApplications(std::shared_ptr<const MimeAppsResolver> resolver);

    std::optional<DesktopEntry> defaultApplication(const QString &contentType) const override;
    QList<DesktopEntry> applications(const QString &contentType) const override;
    // Writes the user's lists with MimeAppsWriter.
    void setDefaultApplication(const QUrl &application, const QString &contentType) const override;
    void inOneReading(const std::function<void()> &work) const override;
    std::optional<DefaultApplicationOrigin>
    defaultApplicationOrigin(const QString &contentType) const override;

private:
    std::shared_ptr<const MimeAppsResolver> resolver_;
};

// Desktop entries with the ID under which an applications dir provides them; an entry that
// none provides, that does not load, or that is hidden has no identifier.
class ResolverDesktopEntries : public DesktopEntryReader {
public:
    explicit ResolverDesktopEntries(std::shared_ptr<const MimeAppsResolver> resolver);
    std::optional<DesktopEntry> read(const QUrl &fileUrl) const override;

private:
    std::shared_ptr<const MimeAppsResolver> resolver_;
};

} // namespace halvora
