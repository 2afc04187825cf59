#pragma once

#include "core/model/Models.h"
#include "core/system/FileAssociationSystemClient.h"

#include <QCoroTask>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QPromise>
#include <QString>

#include <chrono>
#include <exception>
#include <memory>
#include <optional>
#include <utility>

namespace halvora::test {

// A system client whose answers, failures and delays a test sets. It behaves like the real
// one where callers can tell: extensions are normalised, unknown ones have no content type,
// and a successful change makes later loads report the new default (unless switched off).
// Thread-safe; setDefaultApplication does its work on the background executor.
class InMemoryFileAssociationClient : public FileAssociationSystemClient {
public:
    struct DefaultApplicationRequest {
        AssociatedApp app;
        QString contentTypeIdentifier;
        bool operator==(const DefaultApplicationRequest &) const = default;
    };

    // --- answers ---------------------------------------------------------------------
    void setRegisteredContentTypes(QList<RegisteredContentType> types);
    // Replaces the association with the same extension.
    void setAssociation(FileAssociation association);
    void removeAssociation(const QString &extension);
    std::optional<FileAssociation> association(const QString &extension) const;
    // When false, successful requests leave every association as it was.
    void setDefaultChangesTakeEffect(bool takeEffect);

    // --- failures (a null pointer clears); use std::make_exception_ptr(error) ---------
    void failRegisteredContentTypes(std::exception_ptr failure);
    void failLoadAssociation(const QString &extension, std::exception_ptr failure);
    // Every request fails, or only those for one content type.
    void failDefaultApplicationRequests(std::exception_ptr failure);
    void failDefaultApplicationRequests(const QString &contentTypeIdentifier, std::exception_ptr failure);

    // --- delays (blocking sleeps on the thread doing the work) -------------------------
    void setLoadDelay(std::chrono::milliseconds delay);
    void setDefaultApplicationDelay(std::chrono::milliseconds delay);

    // --- holding requests until the test releases them -------------------------------
    // While holding, a new setDefaultApplication waits (without blocking any thread) until
    // released; its outcome is decided at release, so failures may be set in between.
    void holdDefaultApplicationRequests();
    int heldRequestCount() const;
    // Releases the oldest waiting request; false when none waits.
    bool releaseNextDefaultApplicationRequest();
    // Releases every waiting request and stops holding.
    void releaseDefaultApplicationRequests();

    // --- what was asked --------------------------------------------------------------
    int registeredContentTypesCallCount() const;
    // The extension texts exactly as callers passed them, in call order.
    QList<QString> loadAssociationCalls() const;
    QList<DefaultApplicationRequest> defaultApplicationRequests() const;
    void clearCallLog();

    // --- the interface ---------------------------------------------------------------
    QList<RegisteredContentType> loadRegisteredContentTypes() const override;
    FileAssociation loadAssociation(const QString &extension) const override;
    QCoro::Task<void> setDefaultApplication(AssociatedApp app, QString contentTypeIdentifier) const override;

private:
    void finishDefaultApplication(const AssociatedApp &app, const QString &contentTypeIdentifier) const;

    mutable QMutex mutex_;
    QList<RegisteredContentType> registeredTypes_;
    mutable QHash<QString, FileAssociation> associations_;
    bool changesTakeEffect_ = true;

    std::exception_ptr registeredFailure_;
    QHash<QString, std::exception_ptr> loadFailures_;
    std::exception_ptr requestFailure_;
    QHash<QString, std::exception_ptr> requestFailuresByType_;

    std::chrono::milliseconds loadDelay_{0};
    std::chrono::milliseconds requestDelay_{0};

    bool holding_ = false;
    mutable QList<std::shared_ptr<QPromise<void>>> held_;

    mutable int registeredCalls_ = 0;
    mutable QList<QString> loadCalls_;
    mutable QList<DefaultApplicationRequest> requests_;
};

} // namespace halvora::test
