#pragma once

#include "core/system/ContentTypeHandlerListReader.h"
#include "core/system/FileAssociationSystemClient.h"
#include "core/system/SystemPorts.h"

#include <QUrl>

#include <memory>

namespace halvora {

// The platform facilities the workspace client is built on.
struct WorkspacePorts {
    std::shared_ptr<const ContentTypeRegistry> contentTypes;
    std::shared_ptr<const ApplicationRegistry> applications;
    std::shared_ptr<const DesktopEntryReader> desktopEntries;
    std::shared_ptr<const FileSystem> fileSystem;
};

// The system client over the platform ports. Holds no mutable state.
class WorkspaceFileAssociationClient : public FileAssociationSystemClient {
public:
    WorkspaceFileAssociationClient(QUrl launchServicesPlistURL,
                                   std::shared_ptr<const ContentTypeHandlerListReader> plistReader,
                                   WorkspacePorts workspace);
    // With further handler lists read before the main one; where two name the same type,
    // the earlier list's record counts.
    WorkspaceFileAssociationClient(QList<QUrl> earlierHandlerLists, QUrl launchServicesPlistURL,
                                   std::shared_ptr<const ContentTypeHandlerListReader> plistReader,
                                   WorkspacePorts workspace);

    // Library/Preferences/com.apple.LaunchServices/com.apple.launchservices.secure.plist
    // under the user's home directory.
    static QUrl defaultLaunchServicesPlistURL();

    const QUrl &launchServicesPlistURL() const { return launchServicesPlistURL_; }

    QList<RegisteredContentType> loadRegisteredContentTypes() const override;
    FileAssociation loadAssociation(const QString &extension) const override;
    QCoro::Task<void> setDefaultApplication(AssociatedApp app, QString contentTypeIdentifier) const override;
    void inOneReading(const std::function<void()> &work) const override;

    // Every type claiming the extension, the one the association uses first.
    QStringList contentTypesForExtension(const QString &extension) const;

    // Describes the application whose desktop entry is at the URL; throws
    // FileAssociationError::appMissingBundleIdentifier when it has no identifier.
    AssociatedApp app(const QUrl &url) const;

private:
    FileAssociation loadAssociationNow(const QString &extension) const;
    QList<RegisteredContentType> loadRegisteredContentTypesNow() const;
    AssociatedApp describe(const QUrl &standardizedUrl, const std::optional<DesktopEntry> &entry) const;

    QList<QUrl> earlierHandlerLists_;
    QUrl launchServicesPlistURL_;
    std::shared_ptr<const ContentTypeHandlerListReader> plistReader_;
    WorkspacePorts workspace_;
};

} // namespace halvora
