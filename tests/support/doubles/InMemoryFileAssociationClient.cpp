#include "support/doubles/InMemoryFileAssociationClient.h"

#include "core/model/FileAssociationError.h"
#include "core/model/FileExtensionNormalizer.h"

#include <QCoroFuture>
#include <QtConcurrent/QtConcurrentRun>

namespace halvora::test {

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

QList<RegisteredContentType> InMemoryFileAssociationClient::loadRegisteredContentTypes() const
{
    QMutexLocker lock(&mutex_);
    if (registeredFailure_)
        std::rethrow_exception(registeredFailure_);
    return registeredTypes_;
}

FileAssociation InMemoryFileAssociationClient::loadAssociation(const QString &extension) const
{
    QMutexLocker lock(&mutex_);
    loadCalls_.append(extension);
    const QString normalized = FileExtensionNormalizer::normalize(extension);
    if (const std::exception_ptr failure = loadFailures_.value(normalized))
        std::rethrow_exception(failure);
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
            held_.append(std::make_shared<QPromise<void>>());
            held_.last()->start();
            release = held_.last()->future();
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
    QMutexLocker lock(&mutex_);
    if (requestFailure_)
        std::rethrow_exception(requestFailure_);
    if (!changesTakeEffect_)
        return;
    // Like the desktop: the new default heads the candidates of every extension of the type.
    for (FileAssociation &association : associations_) {
        if (association.contentTypeIdentifier() == contentTypeIdentifier)
            association = FileAssociation(
                association.fileExtension(), contentTypeIdentifier, app,
                uniquedByAppIdentity(QList<AssociatedApp>{app} + association.candidateApps()));
    }
}

} // namespace halvora::test
