#include "core/system/WorkspaceFileAssociationClient.h"

#include "core/model/ExtensionCatalog.h"
#include "core/model/FileAssociationError.h"
#include "core/model/FileExtensionNormalizer.h"
#include "core/system/SystemErrors.h"

#include <QCoroFuture>
#include <QDir>
#include <QSet>
#include <QtConcurrent/QtConcurrentRun>

#include <utility>

namespace halvora {

namespace {

// "." and ".." resolved, repeated slashes folded; symbolic links are left alone, since a
// linked desktop entry has the identity of the link.
QUrl standardized(const QUrl &url)
{
    if (!url.isLocalFile())
        return url;
    return QUrl::fromLocalFile(QDir::cleanPath(url.toLocalFile()));
}

} // namespace

WorkspaceFileAssociationClient::WorkspaceFileAssociationClient(
    QUrl launchServicesPlistURL, std::shared_ptr<const ContentTypeHandlerListReader> plistReader,
    WorkspacePorts workspace)
    : launchServicesPlistURL_(std::move(launchServicesPlistURL)), plistReader_(std::move(plistReader)),
      workspace_(std::move(workspace))
{}

WorkspaceFileAssociationClient::WorkspaceFileAssociationClient(
    QList<QUrl> earlierHandlerLists, QUrl launchServicesPlistURL,
    std::shared_ptr<const ContentTypeHandlerListReader> plistReader, WorkspacePorts workspace)
    : WorkspaceFileAssociationClient(std::move(launchServicesPlistURL), std::move(plistReader),
                                     std::move(workspace))
{
    earlierHandlerLists_ = std::move(earlierHandlerLists);
}

QUrl WorkspaceFileAssociationClient::defaultLaunchServicesPlistURL()
{
    return QUrl::fromLocalFile(QDir::homePath() +
                               QStringLiteral("/Library/Preferences/com.apple.LaunchServices/"
                                              "com.apple.launchservices.secure.plist"));
}

QList<RegisteredContentType> WorkspaceFileAssociationClient::loadRegisteredContentTypes() const
{
    // One reading of the system for all the types the lists name.
    QList<RegisteredContentType> result;
    workspace_.applications->inOneReading([&] { result = loadRegisteredContentTypesNow(); });
    return result;
}

QList<RegisteredContentType> WorkspaceFileAssociationClient::loadRegisteredContentTypesNow() const
{
    QList<LaunchServicesContentTypeHandler> handlers;
    QList<QUrl> lists = earlierHandlerLists_;
    lists.append(launchServicesPlistURL_);
    for (const QUrl &list : std::as_const(lists)) {
        const QString path = list.toLocalFile();
        if (!workspace_.fileSystem->exists(path))
            continue;
        const QByteArray bytes = workspace_.fileSystem->readAll(path);
        try {
            handlers.append(plistReader_->registeredContentTypeHandlers(bytes));
        } catch (const HandlerListFormatError &error) {
            throw error.inFile(path);
        }
    }

    QList<RegisteredContentType> result;
    QSet<QString> seenExtensions;
    for (const LaunchServicesContentTypeHandler &handler : handlers) {
        const std::optional<ContentTypeDescription> type =
            workspace_.contentTypes->contentType(handler.contentTypeIdentifier());
        if (!type || type->preferredExtension.isEmpty())
            continue;
        QString extension = FileExtensionNormalizer::normalize(type->preferredExtension);
        if (seenExtensions.contains(extension))
            continue;
        seenExtensions.insert(extension);
        // The list's own spelling of the type is kept, not the registry's canonical name.
        result.append(RegisteredContentType(std::move(extension), handler.contentTypeIdentifier(),
                                            handler.handlerBundleIdentifier()));
    }
    return sortedInRegisteredTypeOrder(std::move(result));
}

FileAssociation WorkspaceFileAssociationClient::loadAssociation(const QString &extensionText) const
{
    // The default, the candidates and the reasons from one reading of the system.
    std::optional<FileAssociation> association;
    workspace_.applications->inOneReading([&] { association = loadAssociationNow(extensionText); });
    return std::move(*association);
}

FileAssociation WorkspaceFileAssociationClient::loadAssociationNow(const QString &extensionText) const
{
    QString extension = FileExtensionNormalizer::normalize(extensionText);
    const std::optional<QString> contentType = workspace_.contentTypes->contentTypeForExtension(extension);
    if (!contentType)
        throw FileAssociationError::contentTypeUnavailable(extension);

    std::optional<AssociatedApp> current;
    if (const std::optional<DesktopEntry> entry = workspace_.applications->defaultApplication(*contentType))
        current = describe(standardized(entry->url), entry);

    QList<AssociatedApp> listed;
    for (const DesktopEntry &entry : workspace_.applications->applications(*contentType))
        listed.append(describe(standardized(entry.url), entry));
    listed = uniquedByAppIdentity(listed);

    QList<AssociatedApp> candidates;
    candidates.reserve(listed.size() + 1);
    if (current)
        candidates.append(*current);
    candidates.append(listed);
    FileAssociation association(std::move(extension), *contentType, std::move(current),
                                uniquedByAppIdentity(candidates));
    if (std::optional<DefaultApplicationOrigin> origin =
            workspace_.applications->defaultApplicationOrigin(*contentType))
        association.setOrigin(std::make_shared<const DefaultApplicationOrigin>(std::move(*origin)));
    return association;
}

void WorkspaceFileAssociationClient::inOneReading(const std::function<void()> &work) const
{
    workspace_.applications->inOneReading(work);
}

QStringList WorkspaceFileAssociationClient::contentTypesForExtension(const QString &extension) const
{
    return workspace_.contentTypes->contentTypesForExtension(FileExtensionNormalizer::normalize(extension));
}

QCoro::Task<void> WorkspaceFileAssociationClient::setDefaultApplication(AssociatedApp app,
                                                                        QString contentTypeIdentifier) const
{
    // The ports are shared so that the background work does not depend on this client's lifetime.
    auto request = [contentTypes = workspace_.contentTypes, applications = workspace_.applications,
                    url = app.url(), identifier = std::move(contentTypeIdentifier)] {
        if (!contentTypes->contentType(identifier))
            throw FileAssociationError::contentTypeUnavailable(identifier);
        applications->setDefaultApplication(url, identifier);
    };
    co_await QtConcurrent::run(std::move(request));
}

AssociatedApp WorkspaceFileAssociationClient::app(const QUrl &url) const
{
    const QUrl standardizedUrl = standardized(url);
    return describe(standardizedUrl, workspace_.desktopEntries->read(standardizedUrl));
}

AssociatedApp WorkspaceFileAssociationClient::describe(const QUrl &standardizedUrl,
                                                       const std::optional<DesktopEntry> &entry) const
{
    const QString path = standardizedUrl.path(QUrl::FullyDecoded);
    if (!entry || !entry->identifier)
        throw FileAssociationError::appMissingBundleIdentifier(path);
    // An empty name is still the entry's name; only a missing one falls through.
    QString name = entry->localizedName ? *entry->localizedName
                   : entry->name        ? *entry->name
                                        : workspace_.fileSystem->displayName(path);
    return AssociatedApp(std::move(name), *entry->identifier, standardizedUrl);
}

} // namespace halvora
