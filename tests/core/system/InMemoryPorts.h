#pragma once

#include "core/model/FileAssociationError.h"
#include "core/system/ContentTypeHandlerListReader.h"
#include "core/system/SystemErrors.h"
#include "core/system/SystemPorts.h"
#include "core/system/WorkspaceFileAssociationClient.h"

#include <QHash>
#include <QMutex>
#include <QThread>

#include <memory>

namespace halvora::test {

// Ports whose answers a test sets; the tables are filled before the client is used.
struct InMemoryContentTypes : ContentTypeRegistry {
    QHash<QString, QString> typeByExtension;
    QHash<QString, ContentTypeDescription> typeByIdentifier;

    std::optional<QString> contentTypeForExtension(const QString &extension) const override
    {
        if (auto it = typeByExtension.find(extension); it != typeByExtension.end())
            return *it;
        return std::nullopt;
    }
    std::optional<ContentTypeDescription> contentType(const QString &identifier) const override
    {
        if (auto it = typeByIdentifier.find(identifier); it != typeByIdentifier.end())
            return *it;
        return std::nullopt;
    }
    void add(const QString &identifier, const QString &preferredExtension)
    {
        typeByIdentifier.insert(identifier, {identifier, preferredExtension});
        if (!preferredExtension.isEmpty())
            typeByExtension.insert(preferredExtension, identifier);
    }
};

struct InMemoryApplications : ApplicationRegistry {
    QHash<QString, DesktopEntry> defaults;
    QHash<QString, QList<DesktopEntry>> listed;
    std::optional<QString> refusal;
    mutable QMutex mutex;
    mutable QList<std::pair<QUrl, QString>> requests;
    mutable QThread *thread = nullptr; // of the last request

    std::optional<DesktopEntry> defaultApplication(const QString &contentType) const override
    {
        if (auto it = defaults.find(contentType); it != defaults.end())
            return *it;
        return std::nullopt;
    }
    QList<DesktopEntry> applications(const QString &contentType) const override
    {
        return listed.value(contentType);
    }
    void setDefaultApplication(const QUrl &application, const QString &contentType) const override
    {
        QMutexLocker lock(&mutex);
        requests.append({application, contentType});
        thread = QThread::currentThread();
        if (refusal)
            throw FileAssociationError::systemFailure(*refusal);
    }
};

struct InMemoryDesktopEntries : DesktopEntryReader {
    QHash<QUrl, DesktopEntry> entries;

    std::optional<DesktopEntry> read(const QUrl &fileUrl) const override
    {
        if (auto it = entries.find(fileUrl); it != entries.end())
            return *it;
        return std::nullopt;
    }
};

struct InMemoryFiles : FileSystem {
    QHash<QString, QByteArray> files;

    bool exists(const QString &path) const override { return files.contains(path); }
    QByteArray readAll(const QString &path) const override { return files.value(path); }
    QString displayName(const QString &path) const override { return path.section(u'/', -1); }
};

// Reads "type=handler" lines ("type=" for none); "!" anywhere makes the bytes unreadable.
struct LineHandlerListReader : ContentTypeHandlerListReader {
    QList<LaunchServicesContentTypeHandler>
    registeredContentTypeHandlers(const QByteArray &bytes) const override
    {
        if (bytes.contains('!'))
            throw HandlerListFormatError(u"bad line"_qs);
        QList<LaunchServicesContentTypeHandler> result;
        for (const QByteArray &line : bytes.split('\n')) {
            if (line.isEmpty())
                continue;
            const QList<QByteArray> parts = line.split('=');
            const QString handler = QString::fromUtf8(parts.value(1));
            result.append({QString::fromUtf8(parts.value(0)),
                           handler.isEmpty() ? std::nullopt : std::optional<QString>(handler)});
        }
        return result;
    }
};

struct InMemoryWorkspace {
    std::shared_ptr<InMemoryContentTypes> contentTypes = std::make_shared<InMemoryContentTypes>();
    std::shared_ptr<InMemoryApplications> applications = std::make_shared<InMemoryApplications>();
    std::shared_ptr<InMemoryDesktopEntries> desktopEntries = std::make_shared<InMemoryDesktopEntries>();
    std::shared_ptr<InMemoryFiles> files = std::make_shared<InMemoryFiles>();

    static inline const QString listPath = u"/home/u/.config/mimeapps.list"_qs;

    WorkspaceFileAssociationClient client() const
    {
        return WorkspaceFileAssociationClient(QUrl::fromLocalFile(listPath),
                                              std::make_shared<LineHandlerListReader>(),
                                              {contentTypes, applications, desktopEntries, files});
    }
};

inline DesktopEntry entry(const QString &path, std::optional<QString> identifier,
                          std::optional<QString> localizedName = std::nullopt,
                          std::optional<QString> name = std::nullopt)
{
    return {QUrl::fromLocalFile(path), std::move(identifier), std::move(localizedName), std::move(name)};
}

} // namespace halvora::test
