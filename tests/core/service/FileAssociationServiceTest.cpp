#include "core/service/FileAssociationService.h"
#include "core/history/InMemoryKeyValueStore.h"
#include "core/history/UserDefaultsAssociationChangeHistoryStore.h"
#include "core/model/FileAssociationError.h"
#include "core/model/ModelJson.h"
#include "support/doubles/InMemoryFileAssociationClient.h"
#include "support/doubles/WaitForTask.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <stdexcept>

namespace halvora {
namespace {

using test::InMemoryFileAssociationClient;
using test::waitForTask;

AssociatedApp app(const QString &id, const QString &path = {})
{
    return AssociatedApp(id.section(u'.', 0, 0), id,
                         QUrl::fromLocalFile(path.isEmpty() ? u"/usr/share/applications/"_qs + id : path));
}

FileAssociation association(const QString &extension, const QString &type,
                            std::optional<AssociatedApp> current)
{
    QList<AssociatedApp> candidates;
    if (current)
        candidates.append(*current);
    return FileAssociation(extension, type, current, candidates);
}

template <typename T> FileAssociationError failureOf(QCoro::Task<T> task)
{
    try {
        waitForTask(std::move(task));
    } catch (const FileAssociationError &error) {
        return error;
    }
    ADD_FAILURE() << "no FileAssociationError";
    return FileAssociationError::noRecentChange();
}

class ListReadError : public LocalizedError {
public:
    using LocalizedError::LocalizedError;
    HALVORA_LOCALIZED_ERROR_CLONE(ListReadError)
};

// Records where the blocking loads run.
class ThreadRecordingClient : public InMemoryFileAssociationClient {
public:
    FileAssociation loadAssociation(const QString &extension) const override
    {
        threads.append(QThread::currentThread());
        return InMemoryFileAssociationClient::loadAssociation(extension);
    }
    mutable QList<QThread *> threads;
};

class FileAssociationServiceTest : public ::testing::Test {
protected:
    const AssociatedApp evince = app(u"org.gnome.Evince.desktop"_qs);
    const AssociatedApp okular = app(u"org.kde.okular.desktop"_qs);
    const Timestamp fixedTime{700000000.25};

    FileAssociationServiceTest()
    {
        auto owned = std::make_unique<ThreadRecordingClient>();
        client = owned.get();
        client->setAssociation(association(u"pdf"_qs, u"application/pdf"_qs, evince));
        service = std::make_unique<FileAssociationService>(
            std::move(owned), store,
            ExtensionCatalog({u"pdf"_qs, u"png"_qs, u"txt"_qs}, {{u"md"_qs, ExtensionCategory::documents},
                                                                 {u"zip"_qs, ExtensionCategory::archives},
                                                                 {u"json"_qs, ExtensionCategory::data}}),
            [this] {
                ++clockReads;
                requestsWhenClockRead = int(client->defaultApplicationRequests().size());
                return fixedTime;
            });
    }

    AssociationChangeRecord apply(const AssociatedApp &target, const FileAssociation &current)
    {
        return waitForTask(service->applyDefaultApplication(target, current));
    }

    std::shared_ptr<InMemoryKeyValueStore> defaults = std::make_shared<InMemoryKeyValueStore>();
    std::shared_ptr<AssociationChangeHistoryStore> store =
        std::make_shared<UserDefaultsAssociationChangeHistoryStore>(defaults, u"associationChangeHistory"_qs,
                                                                    u"recentAssociationChange"_qs, 50);
    ThreadRecordingClient *client = nullptr;
    std::unique_ptr<FileAssociationService> service;
    int clockReads = 0;
    int requestsWhenClockRead = -1;
};

TEST_F(FileAssociationServiceTest, FullLoadAsksEachExtensionOnceDropsFailuresAndKeepsCatalogOrder)
{
    // txt cannot be described, png has no content type; md, pdf and zip are also registered.
    client->failLoadAssociation(u"txt"_qs,
                                std::make_exception_ptr(FileAssociationError::appMissingBundleIdentifier(
                                    u"/usr/share/applications/broken.desktop"_qs)));
    for (const QString &extension : {u"md"_qs, u"zip"_qs, u"json"_qs})
        client->setAssociation(association(extension, u"type/"_qs + extension, std::nullopt));
    client->setRegisteredContentTypes(
        {RegisteredContentType(u"json"_qs, u"application/json"_qs, std::nullopt),
         RegisteredContentType(u"md"_qs, u"text/markdown"_qs, std::nullopt),
         RegisteredContentType(u"pdf"_qs, u"application/pdf"_qs, std::nullopt),
         RegisteredContentType(u"zip"_qs, u"application/zip"_qs, std::nullopt)});

    const QList<FileAssociation> loaded = waitForTask(service->loadRegisteredAssociations());

    QStringList extensions;
    for (const FileAssociation &entry : loaded)
        extensions.append(entry.fileExtension());
    EXPECT_EQ(extensions, (QStringList{u"pdf"_qs, u"md"_qs, u"zip"_qs, u"json"_qs}));
    EXPECT_EQ(client->loadAssociationCalls(),
              (QList<QString>{u"pdf"_qs, u"png"_qs, u"txt"_qs, u"json"_qs, u"md"_qs, u"zip"_qs}));

    // Without a handler list only the common extensions the system knows are listed.
    client->setRegisteredContentTypes({});
    const QList<FileAssociation> commonOnly = waitForTask(service->loadRegisteredAssociations());
    ASSERT_EQ(commonOnly.size(), 1);
    EXPECT_EQ(commonOnly.first().fileExtension(), u"pdf"_qs);

    // An unreadable list fails the load with the client's own failure, before any lookup.
    client->clearCallLog();
    client->failRegisteredContentTypes(std::make_exception_ptr(ListReadError(u"목록을 읽을 수 없습니다"_qs)));
    EXPECT_THROW(waitForTask(service->loadRegisteredAssociations()), ListReadError);
    EXPECT_TRUE(client->loadAssociationCalls().isEmpty());
}

TEST_F(FileAssociationServiceTest, SingleLoadNormalisesTextAndPassesFailuresOn)
{
    EXPECT_EQ(waitForTask(service->loadAssociation(u"  .PDF "_qs)).currentApp(), evince);
    EXPECT_EQ(client->loadAssociationCalls(), QList<QString>{u"pdf"_qs});

    client->clearCallLog();
    EXPECT_EQ(failureOf(service->loadAssociation(u"   "_qs)).kind(),
              FileAssociationError::Kind::invalidExtension);
    EXPECT_TRUE(client->loadAssociationCalls().isEmpty());
    EXPECT_EQ(failureOf(service->loadAssociation(u"nosuch"_qs)),
              FileAssociationError::contentTypeUnavailable(u"nosuch"_qs));
}

TEST_F(FileAssociationServiceTest, BlockingWorkRunsOffTheCallerAndResumesOnIt)
{
    QThread *const caller = QThread::currentThread();
    QThread *resumedOn = nullptr;
    auto operation = [&]() -> QCoro::Task<void> {
        co_await service->loadAssociation(u"pdf"_qs);
        co_await service->applyDefaultApplication(okular, *client->association(u"pdf"_qs));
        resumedOn = QThread::currentThread();
    };
    waitForTask(operation());

    EXPECT_EQ(resumedOn, caller);
    ASSERT_EQ(client->threads.size(), 2); // the load and the verifying reload
    for (QThread *thread : client->threads)
        EXPECT_NE(thread, caller);
}

TEST_F(FileAssociationServiceTest, ConfirmedApplyIsRecordedAsVerified)
{
    const FileAssociation asShown = *client->association(u"pdf"_qs);
    // The system's default changes behind the caller's back before the apply.
    client->setAssociation(association(u"pdf"_qs, u"application/pdf"_qs, app(u"other.desktop"_qs)));

    const AssociationChangeRecord record = apply(okular, asShown);

    // The previous app is the one the user saw; the time is read before the request.
    EXPECT_EQ(record,
              AssociationChangeRecord(record.id(), u"pdf"_qs, u"application/pdf"_qs, evince, okular,
                                      fixedTime, AssociationVerificationStatus::verified, std::nullopt));
    EXPECT_EQ(clockReads, 1);
    EXPECT_EQ(requestsWhenClockRead, 0);
    EXPECT_EQ(
        client->defaultApplicationRequests(),
        (QList<InMemoryFileAssociationClient::DefaultApplicationRequest>{{okular, u"application/pdf"_qs}}));
    EXPECT_EQ(service->loadChangeHistory(), QList<AssociationChangeRecord>{record});

    // Another copy of the same application is still the requested one.
    client->setDefaultChangesTakeEffect(false);
    client->setAssociation(association(u"pdf"_qs, u"application/pdf"_qs,
                                       app(u"org.kde.okular.desktop"_qs, u"/opt/okular.desktop"_qs)));
    EXPECT_EQ(apply(okular, asShown).verificationStatus(), AssociationVerificationStatus::verified);
    EXPECT_EQ(service->loadChangeHistory().size(), 2);
}

TEST_F(FileAssociationServiceTest, UnconfirmedOrRefusedApplyIsRecordedNotThrown)
{
    const FileAssociation pdf = *client->association(u"pdf"_qs);
    client->setDefaultChangesTakeEffect(false);

    const auto expectUnconfirmed = [&](const char *situation) {
        const AssociationChangeRecord record = apply(okular, pdf);
        EXPECT_EQ(record.verificationStatus(), AssociationVerificationStatus::verificationFailed)
            << situation;
        EXPECT_EQ(record.verificationMessage(), FileAssociationService::verificationMismatchMessage)
            << situation;
    };
    expectUnconfirmed("the system keeps the old default");
    client->setAssociation(association(u"pdf"_qs, u"application/pdf"_qs, std::nullopt));
    expectUnconfirmed("the system reports no default");
    client->failLoadAssociation(u"pdf"_qs,
                                std::make_exception_ptr(FileAssociationError::systemFailure(u"gone"_qs)));
    expectUnconfirmed("the reload fails");

    client->failDefaultApplicationRequests(
        std::make_exception_ptr(FileAssociationError::systemFailure(u"권한이 없습니다"_qs)));
    const AssociationChangeRecord refused = apply(okular, pdf);
    EXPECT_EQ(refused.verificationStatus(), AssociationVerificationStatus::apiFailed);
    EXPECT_EQ(refused.verificationMessage(), u"권한이 없습니다"_qs);

    // A failure that is not one of ours is recorded with its own text too.
    client->failDefaultApplicationRequests(std::make_exception_ptr(std::runtime_error("bus closed")));
    EXPECT_EQ(apply(okular, pdf).verificationMessage(), u"bus closed"_qs);

    EXPECT_EQ(service->loadChangeHistory().size(), 5);
}

TEST_F(FileAssociationServiceTest, UndoUpdatesTheRecordInPlace)
{
    const FileAssociation pdf = *client->association(u"pdf"_qs);
    const AssociationChangeRecord applied = apply(okular, pdf);
    ASSERT_EQ(client->association(u"pdf"_qs)->currentApp(), okular);
    clockReads = 0;

    const AssociationChangeRecord undone = waitForTask(service->undoChange(applied));

    EXPECT_EQ(undone, applied.updating(AssociationVerificationStatus::undoVerified, std::nullopt));
    EXPECT_EQ(clockReads, 0);
    EXPECT_EQ(client->association(u"pdf"_qs)->currentApp(), evince);
    EXPECT_EQ(client->defaultApplicationRequests().last().app, evince);
    EXPECT_EQ(service->loadChangeHistory(), QList<AssociationChangeRecord>{undone});

    // Undoing again is allowed; a refusal or an unconfirmed result becomes undoFailed.
    client->failDefaultApplicationRequests(
        std::make_exception_ptr(FileAssociationError::systemFailure(u"no"_qs)));
    EXPECT_EQ(waitForTask(service->undoChange(undone)),
              applied.updating(AssociationVerificationStatus::undoFailed, u"no"_qs));
    client->failDefaultApplicationRequests(nullptr);
    client->setDefaultChangesTakeEffect(false);
    client->setAssociation(association(u"pdf"_qs, u"application/pdf"_qs, okular));
    EXPECT_EQ(waitForTask(service->undoChange(undone)),
              applied.updating(AssociationVerificationStatus::undoFailed,
                               FileAssociationService::verificationMismatchMessage));
    EXPECT_EQ(service->loadChangeHistory().size(), 1);

    // Without a previous application there is nothing to go back to: the system is not asked.
    const AssociationChangeRecord fromNothing =
        apply(okular, association(u"pdf"_qs, u"application/pdf"_qs, std::nullopt));
    client->clearCallLog();
    EXPECT_EQ(failureOf(service->undoChange(fromNothing)),
              FileAssociationError::noPreviousApplication(u"pdf"_qs));
    EXPECT_TRUE(client->defaultApplicationRequests().isEmpty());
    EXPECT_TRUE(client->loadAssociationCalls().isEmpty());
    EXPECT_TRUE(service->loadChangeHistory().contains(fromNothing));
}

TEST_F(FileAssociationServiceTest, StoreFailuresAreThrownWithTheirOwnType)
{
    const AssociationChangeRecord applied = apply(okular, *client->association(u"pdf"_qs));
    const QByteArray corrupt = "{not a list";
    defaults->write(u"associationChangeHistory"_qs, corrupt);

    EXPECT_THROW(apply(evince, *client->association(u"pdf"_qs)), JsonDecodingError);
    // A change whose record could not be stored is not made.
    EXPECT_EQ(client->association(u"pdf"_qs)->currentApp(), okular);
    EXPECT_THROW(waitForTask(service->undoChange(applied)), JsonDecodingError);
    EXPECT_THROW(service->loadChangeHistory(), JsonDecodingError);
    EXPECT_EQ(defaults->read(u"associationChangeHistory"_qs), corrupt);
}

} // namespace
} // namespace halvora
