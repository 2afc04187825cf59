#include "support/doubles/InMemoryFileAssociationClient.h"

#include "core/model/FileAssociationError.h"
#include "core/model/FileExtensionNormalizer.h"

#include <QCoroFuture>
#include <QMutexLocker>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>

namespace halvora::test {

void InMemoryFileAssociationClient::setRegisteredContentTypes(QList<RegisteredContentType> types)
{
    QMutexLocker lock(&mutex_);
    registeredTypes_ = std::move(types);
}

void InMemoryFileAssociationClient::setAssociation(FileAssociation association)
{
    QMutexLocker lock(&mutex_);
    const QString extension = association.fileExtension();
    associations_.insert(extension, std::move(association));
}

void InMemoryFileAssociationClient::removeAssociation(const QString &extension)
{
    QMutexLocker lock(&mutex_);
    associations_.remove(extension);
}

std::optional<FileAssociation> InMemoryFileAssociationClient::association(const QString &extension) const
{
    QMutexLocker lock(&mutex_);
    const auto found = associations_.constFind(extension);
    if (found == associations_.constEnd())
        return std::nullopt;
    return *found;
}

void InMemoryFileAssociationClient::setDefaultChangesTakeEffect(bool takeEffect)
{
    QMutexLocker lock(&mutex_);
    changesTakeEffect_ = takeEffect;
}

void InMemoryFileAssociationClient::failRegisteredContentTypes(std::exception_ptr failure)
{
    QMutexLocker lock(&mutex_);
    registeredFailure_ = std::move(failure);
}

void InMemoryFileAssociationClient::failLoadAssociation(const QString &extension, std::exception_ptr failure)
{
    QMutexLocker lock(&mutex_);
    if (failure)
        loadFailures_.insert(extension, std::move(failure));
    else
        loadFailures_.remove(extension);
}

void InMemoryFileAssociationClient::failDefaultApplicationRequests(std::exception_ptr failure)
{
    QMutexLocker lock(&mutex_);
    requestFailure_ = std::move(failure);
}

void InMemoryFileAssociationClient::failDefaultApplicationRequests(const QString &contentTypeIdentifier,
                                                                   std::exception_ptr failure)
{
    QMutexLocker lock(&mutex_);
    if (failure)
        requestFailuresByType_.insert(contentTypeIdentifier, std::move(failure));
    else
        requestFailuresByType_.remove(contentTypeIdentifier);
}

void InMemoryFileAssociationClient::setLoadDelay(std::chrono::milliseconds delay)
{
    QMutexLocker lock(&mutex_);
    loadDelay_ = delay;
}

void InMemoryFileAssociationClient::setDefaultApplicationDelay(std::chrono::milliseconds delay)
{
    QMutexLocker lock(&mutex_);
    requestDelay_ = delay;
}

void InMemoryFileAssociationClient::holdDefaultApplicationRequests()
{
    QMutexLocker lock(&mutex_);
    holding_ = true;
}

int InMemoryFileAssociationClient::heldRequestCount() const
{
    QMutexLocker lock(&mutex_);
    return int(held_.size());
}

bool InMemoryFileAssociationClient::releaseNextDefaultApplicationRequest()
{
    std::shared_ptr<QPromise<void>> next;
    {
        QMutexLocker lock(&mutex_);
        if (held_.isEmpty())
            return false;
        next = held_.takeFirst();
    }
    next->finish();
    return true;
}

void InMemoryFileAssociationClient::releaseDefaultApplicationRequests()
{
    QList<std::shared_ptr<QPromise<void>>> waiting;
    {
        QMutexLocker lock(&mutex_);
        holding_ = false;
        waiting.swap(held_);
    }
    for (const auto &promise : waiting)
        promise->finish();
}

int InMemoryFileAssociationClient::registeredContentTypesCallCount() const
{
    QMutexLocker lock(&mutex_);
    return registeredCalls_;
}

QList<QString> InMemoryFileAssociationClient::loadAssociationCalls() const
{
    QMutexLocker lock(&mutex_);
    return loadCalls_;
}

QList<InMemoryFileAssociationClient::DefaultApplicationRequest>
InMemoryFileAssociationClient::defaultApplicationRequests() const
{
    QMutexLocker lock(&mutex_);
    return requests_;
}

void InMemoryFileAssociationClient::clearCallLog()
{
    QMutexLocker lock(&mutex_);
    registeredCalls_ = 0;
    loadCalls_.clear();
    requests_.clear();
}

QList<RegisteredContentType> InMemoryFileAssociationClient::loadRegisteredContentTypes() const
{
    std::chrono::milliseconds delay;
    {
        QMutexLocker lock(&mutex_);
        ++registeredCalls_;
        delay = loadDelay_;
    }
    QThread::msleep(static_cast<unsigned long>(delay.count()));
    QMutexLocker lock(&mutex_);
    if (registeredFailure_)
        std::rethrow_exception(registeredFailure_);
    return registeredTypes_;
}

FileAssociation InMemoryFileAssociationClient::loadAssociation(const QString &extension) const
{
    std::chrono::milliseconds delay;
    {
        QMutexLocker lock(&mutex_);
        loadCalls_.append(extension);
        delay = loadDelay_;
    }
    QThread::msleep(static_cast<unsigned long>(delay.count()));
    const QString normalized = FileExtensionNormalizer::normalize(extension);
    QMutexLocker lock(&mutex_);
    if (const auto failure = loadFailures_.constFind(normalized); failure != loadFailures_.constEnd())
        std::rethrow_exception(*failure);
    const auto found = associations_.constFind(normalized);
    if (found == associations_.constEnd())
        throw FileAssociationError::contentTypeUnavailable(normalized);
    return *found;
}

QCoro::Task<void> InMemoryFileAssociationClient::setDefaultApplication(AssociatedApp app,
                                                                       QString contentTypeIdentifier) const
{
    std::optional<QFuture<void>> release;
    {
        QMutexLocker lock(&mutex_);
        requests_.append({app, contentTypeIdentifier});
        if (holding_) {
            auto promise = std::make_shared<QPromise<void>>();
            promise->start();
            release = promise->future();
            held_.append(std::move(promise));
        }
    }
    if (release)
        co_await *release;
    // Named, not a temporary inside co_await: g++ 12 destroys those twice.
    QFuture<void> work = QtConcurrent::run(&InMemoryFileAssociationClient::finishDefaultApplication, this,
                                           app, contentTypeIdentifier);
    co_await work;
}

void InMemoryFileAssociationClient::finishDefaultApplication(const AssociatedApp &app,
                                                             const QString &contentTypeIdentifier) const
{
    std::chrono::milliseconds delay;
    {
        QMutexLocker lock(&mutex_);
        delay = requestDelay_;
    }
    QThread::msleep(static_cast<unsigned long>(delay.count()));

    QMutexLocker lock(&mutex_);
    if (const auto failure = requestFailuresByType_.constFind(contentTypeIdentifier);
        failure != requestFailuresByType_.constEnd())
        std::rethrow_exception(*failure);
    if (requestFailure_)
        std::rethrow_exception(requestFailure_);
    if (!changesTakeEffect_)
        return;
    // Like the desktop: the new default heads the candidates of every extension of the type.
    for (FileAssociation &association : associations_) {
        if (association.contentTypeIdentifier() != contentTypeIdentifier)
            continue;
        QList<AssociatedApp> candidates{app};
        candidates.append(association.candidateApps());
        association = FileAssociation(association.fileExtension(), contentTypeIdentifier, app,
                                      uniquedByAppIdentity(candidates));
    }
}

} // namespace halvora::test
