#pragma once

#include "core/model/Models.h"
#include "core/system/FileAssociationSystemClient.h"

#include <QCoroTask>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QPromise>
#include <QString>

#include <exception>
#include <memory>
#include <optional>
#include <utility>

namespace halvora::test {

// A system client whose answers and failures a test sets (failures with std::make_exception_ptr,
// cleared with a null pointer), and whose requests it can hold. Like the real one, it
// normalises extensions, unknown ones have no content type, and a successful change makes
// later loads report the new default (unless switched off). Thread-safe; setDefaultApplication
// does its work on the background executor.
class InMemoryFileAssociationClient : public FileAssociationSystemClient {
public:
    struct DefaultApplicationRequest {
        AssociatedApp app;
        QString contentTypeIdentifier;
        bool operator==(const DefaultApplicationRequest &) const = default;
    };

    void setRegisteredContentTypes(QList<RegisteredContentType> types)
    {
        QMutexLocker lock(&mutex_);
        registeredTypes_ = std::move(types);
    }
    // Replaces the association with the same extension.
    void setAssociation(const FileAssociation &association)
    {
        QMutexLocker lock(&mutex_);
        associations_.insert(association.fileExtension(), association);
    }
    std::optional<FileAssociation> association(const QString &extension) const
    {
        QMutexLocker lock(&mutex_);
        const auto found = associations_.constFind(extension);
        return found == associations_.constEnd() ? std::nullopt : std::optional(*found);
    }
    // When false, successful requests leave every association as it was.
    void setDefaultChangesTakeEffect(bool takeEffect)
    {
        QMutexLocker lock(&mutex_);
        changesTakeEffect_ = takeEffect;
    }

    void failRegisteredContentTypes(std::exception_ptr failure)
    {
        QMutexLocker lock(&mutex_);
        registeredFailure_ = std::move(failure);
    }
    void failLoadAssociation(const QString &extension, std::exception_ptr failure)
    {
        QMutexLocker lock(&mutex_);
        loadFailures_.insert(extension, std::move(failure));
    }
    void failDefaultApplicationRequests(std::exception_ptr failure)
    {
        QMutexLocker lock(&mutex_);
        requestFailure_ = std::move(failure);
    }

    // While holding, a new setDefaultApplication waits (blocking no thread) until released; its
    // outcome is decided at release, so failures may be set in between.
    void holdDefaultApplicationRequests()
    {
        QMutexLocker lock(&mutex_);
        holding_ = true;
    }
    int heldRequestCount() const
    {
        QMutexLocker lock(&mutex_);
        return int(held_.size());
    }
    // Releases every waiting request and stops holding.
    void releaseDefaultApplicationRequests();

    // The extension texts exactly as callers passed them, in call order.
    QList<QString> loadAssociationCalls() const
    {
        QMutexLocker lock(&mutex_);
        return loadCalls_;
    }
    QList<DefaultApplicationRequest> defaultApplicationRequests() const
    {
        QMutexLocker lock(&mutex_);
        return requests_;
    }
    void clearCallLog()
    {
        QMutexLocker lock(&mutex_);
        loadCalls_.clear();
        requests_.clear();
    }

    QList<RegisteredContentType> loadRegisteredContentTypes() const override;
    FileAssociation loadAssociation(const QString &extension) const override;
    QCoro::Task<void> setDefaultApplication(AssociatedApp app, QString contentTypeIdentifier) const override;

private:
    void finishDefaultApplication(const AssociatedApp &app, const QString &contentTypeIdentifier) const;

    mutable QMutex mutex_;
    QList<RegisteredContentType> registeredTypes_;
    mutable QHash<QString, FileAssociation> associations_;
    bool changesTakeEffect_ = true;
    std::exception_ptr registeredFailure_, requestFailure_;
    QHash<QString, std::exception_ptr> loadFailures_;
    bool holding_ = false;
    mutable QList<std::shared_ptr<QPromise<void>>> held_;
    mutable QList<QString> loadCalls_;
    mutable QList<DefaultApplicationRequest> requests_;
};

} // namespace halvora::test
