#pragma once

#include "cli/ApplicationDirectory.h"
#include "core/system/WorkspaceFileAssociationClient.h"

#include <memory>

namespace halvora::cli {

// Finds desktop entries by ID the way the desktop does (the first copy in the XDG data
// directories that loads) and describes them with the same client the service uses, so a named
// application gets the same name and identity as in the lists.
class LinuxApplicationDirectory final : public ApplicationDirectory {
public:
    explicit LinuxApplicationDirectory(std::shared_ptr<const WorkspaceFileAssociationClient> client)
        : client_(std::move(client))
    {}

    std::optional<AssociatedApp> applicationWithId(const QString &desktopFileId) const override;
    AssociatedApp applicationAt(const QString &absolutePath) const override;

private:
    std::shared_ptr<const WorkspaceFileAssociationClient> client_;
};

} // namespace halvora::cli
