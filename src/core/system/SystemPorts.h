#pragma once

#include "core/model/DefaultApplicationOrigin.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <optional>

// The small interfaces through which WorkspaceFileAssociationClient reaches the platform.
// Each is stateless and safe to call from any thread; in-memory versions serve the tests.
namespace halvora {

// A content type as the registry knows it.
struct ContentTypeDescription {
    QString identifier;
    // Empty when the type has none.
    QString preferredExtension;

    bool operator==(const ContentTypeDescription &) const = default;
};

class ContentTypeRegistry {
public:
    virtual ~ContentTypeRegistry() = default;

    // The type of files with this (normalised) extension; absent when the registry has
    // nothing more specific than "some data".
    virtual std::optional<QString> contentTypeForExtension(const QString &extension) const = 0;
    // Absent for identifiers the registry does not know.
    virtual std::optional<ContentTypeDescription> contentType(const QString &identifier) const = 0;
    // Every type that claims files with this extension, the one answered above first.
    virtual QStringList contentTypesForExtension(const QString &extension) const
    {
        const std::optional<QString> type = contentTypeForExtension(extension);
        return type ? QStringList{*type} : QStringList{};
    }
};

// What a desktop entry file says about the application it launches.
struct DesktopEntry {
    QUrl url;
    // Absent when the file cannot serve as an application.
    std::optional<QString> identifier;
    std::optional<QString> localizedName;
    std::optional<QString> name;

    bool operator==(const DesktopEntry &) const = default;
};

class DesktopEntryReader {
public:
    virtual ~DesktopEntryReader() = default;

    // Absent when nothing at the location can be read as a desktop entry.
    virtual std::optional<DesktopEntry> read(const QUrl &fileUrl) const = 0;
};

class ApplicationRegistry {
public:
    virtual ~ApplicationRegistry() = default;

    virtual std::optional<DesktopEntry> defaultApplication(const QString &contentType) const = 0;
    // In the registry's order.
    virtual QList<DesktopEntry> applications(const QString &contentType) const = 0;
    // Blocking; throws FileAssociationError::systemFailure when the registry refuses.
    virtual void setDefaultApplication(const QUrl &application, const QString &contentType) const = 0;

    // Runs work so that the queries inside it answer from one reading of the registry.
    virtual void inOneReading(const std::function<void()> &work) const { work(); }
    // Why the default is what it is; absent when the registry cannot tell.
    virtual std::optional<DefaultApplicationOrigin> defaultApplicationOrigin(const QString &) const
    {
        return std::nullopt;
    }
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    virtual bool exists(const QString &path) const = 0;
    // Throws FileReadError.
    virtual QByteArray readAll(const QString &path) const = 0;
    // The name under which a file manager shows the item.
    virtual QString displayName(const QString &path) const = 0;
};

} // namespace halvora
