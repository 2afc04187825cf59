#include "core/service/FileAssociationService.h"
#include "core/history/InMemoryKeyValueStore.h"
#include "core/history/UserDefaultsAssociationChangeHistoryStore.h"
#include "core/model/FileAssociationError.h"
#include "core/model/ModelJson.h"
#include "core/service/Takeovers.h"
#include "support/SampleAssociations.h"
#include "support/doubles/InMemoryFileAssociationClient.h"
#include "support/doubles/WaitForTask.h"

#include <QThread>

#include <gtest/gtest.h>

#include <stdexcept>

namespace halvora::test {
namespace {

using Status = AssociationVerificationStatus;

std::exception_ptr systemFailure(const QString &message)
{
    return std::make_exception_ptr(FileAssociationError::systemFailure(message));
}

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
    const AssociatedApp evince = app(u"Evince"_qs, u"org.gnome.Evince.desktop"_qs);
    const AssociatedApp okular = app(u"Okular"_qs, u"org.kde.okular.desktop"_qs);
    const Timestamp fixedTime{700000000.25};

    FileAssociationServiceTest()
    {
        auto owned = std::make_unique<ThreadRecordingClient>();
        client = owned.get();
        client->setAssociation(assoc(u"pdf"_qs, evince));
        service = std::make_unique<FileAssociationService>(
            std::move(owned), store, ExtensionCatalog({u"pdf"_qs, u"png"_qs, u"txt"_qs}, {}), [this] {
                ++clockReads;
                requestsWhenClockRead = int(client->defaultApplicationRequests().size());
                return fixedTime;
            });
    }

    AssociationChangeRecord apply(const AssociatedApp &target, const FileAssociation &current)
    {
        return waitForTask(service->applyDefaultApplication(target, current));
    }
    FileAssociation pdf() const { return *client->association(u"pdf"_qs); }

    std::shared_ptr<InMemoryKeyValueStore> defaults = std::make_shared<InMemoryKeyValueStore>();
    std::shared_ptr<AssociationChangeHistoryStore> store =
        std::make_shared<UserDefaultsAssociationChangeHistoryStore>(defaults, u"associationChangeHistory"_qs,
                                                                    u"recentAssociationChange"_qs, 50);
    ThreadRecordingClient *client = nullptr;
    std::unique_ptr<FileAssociationService> service;
    int clockReads = 0;
    int requestsWhenClockRead = -1;
};

TEST_F(FileAssociationServiceTest, LoadsAskEachExtensionOnceOffTheCallerAndPassFailuresOn)
{
    // txt cannot be described, png has no content type; md, pdf and zip are also registered.
    client->failLoadAssociation(u"txt"_qs, systemFailure(u"broken"_qs));
    for (const QString &extension : {u"md"_qs, u"zip"_qs, u"json"_qs})
        client->setAssociation(assoc(extension, std::nullopt));
    QList<RegisteredContentType> registered;
    for (const QString &extension : {u"zip"_qs, u"md"_qs, u"json"_qs, u"pdf"_qs})
        registered.append(RegisteredContentType(extension, u"application/x-"_qs + extension, std::nullopt));
    client->setRegisteredContentTypes(registered);
    EXPECT_EQ(extensionsOf(waitForTask(service->loadRegisteredAssociations())),
              (QStringList{u"pdf"_qs, u"json"_qs, u"md"_qs, u"zip"_qs}));
    EXPECT_EQ(client->loadAssociationCalls(),
              (QList<QString>{u"pdf"_qs, u"png"_qs, u"txt"_qs, u"zip"_qs, u"md"_qs, u"json"_qs}));
    EXPECT_FALSE(client->threads.contains(QThread::currentThread()));

    // An unreadable list fails the load with the client's own failure, before any lookup.
    client->clearCallLog();
    client->failRegisteredContentTypes(systemFailure(u"목록을 읽을 수 없습니다"_qs));
    EXPECT_THROW(waitForTask(service->loadRegisteredAssociations()), FileAssociationError);
    EXPECT_TRUE(client->loadAssociationCalls().isEmpty());

    // One extension: the text is normalised first; invalid text never reaches the system.
    EXPECT_EQ(waitForTask(service->loadAssociation(u"  .PDF "_qs)).currentApp(), evince);
    EXPECT_THROW(waitForTask(service->loadAssociation(u"   "_qs)), FileAssociationError);
    EXPECT_EQ(client->loadAssociationCalls(), QList<QString>{u"pdf"_qs});
}

TEST_F(FileAssociationServiceTest, ApplyRecordsWhatTheSystemConfirmsAndResumesOnTheCaller)
{
    const FileAssociation asShown = pdf();
    // The system's default changes behind the caller's back before the apply.
    client->setAssociation(assoc(u"pdf"_qs, app(u"Other"_qs, u"other.desktop"_qs)));
    QThread *resumedOn = nullptr;
    std::optional<AssociationChangeRecord> record;
    waitForTask([&]() -> QCoro::Task<void> {
        record = co_await service->applyDefaultApplication(okular, asShown);
        resumedOn = QThread::currentThread();
    }());
    EXPECT_EQ(resumedOn, QThread::currentThread());
    // The previous app is the one the user saw; the time is read once, before the request.
    EXPECT_EQ(record, AssociationChangeRecord(record->id(), u"pdf"_qs, u"application/x-pdf"_qs, evince,
                                              okular, fixedTime, Status::verified, std::nullopt));
    EXPECT_EQ(std::pair(clockReads, requestsWhenClockRead), std::pair(1, 0));
    ASSERT_EQ(client->threads.size(), 1); // the verifying reload
    EXPECT_NE(client->threads[0], QThread::currentThread());

    // Another copy of the same application is still the requested one.
    client->setDefaultChangesTakeEffect(false);
    client->setAssociation(assoc(u"pdf"_qs, app(u"Okular"_qs, u"org.kde.okular.desktop"_qs, u"/opt"_qs)));
    EXPECT_EQ(apply(okular, asShown).verificationStatus(), Status::verified);

    // What the system does not confirm, or refuses, is recorded, not thrown.
    auto outcome = [&] {
        const AssociationChangeRecord result = apply(okular, asShown);
        return std::pair(result.verificationStatus(), result.verificationMessage());
    };
    const auto unconfirmed = std::pair(Status::verificationFailed,
                                       std::optional(FileAssociationService::verificationMismatchMessage));
    client->setAssociation(asShown); // the old default stays
    EXPECT_EQ(outcome(), unconfirmed);
    client->failLoadAssociation(u"pdf"_qs, systemFailure(u"gone"_qs));
    EXPECT_EQ(outcome(), unconfirmed);
    // Not only the system's own error type: whatever the request throws is a refusal.
    client->failDefaultApplicationRequests(std::make_exception_ptr(std::runtime_error("bus closed")));
    EXPECT_EQ(outcome(), std::pair(Status::apiFailed, std::optional(u"bus closed"_qs)));
    EXPECT_EQ(service->loadChangeHistory().size(), 5); // refusals are recorded too
}

TEST_F(FileAssociationServiceTest, UndoUpdatesTheRecordInPlaceAndNeverAsksWithoutAReadableRecord)
{
    const AssociationChangeRecord applied = apply(okular, pdf());
    const AssociationChangeRecord undone = waitForTask(service->undoChange(applied));
    EXPECT_EQ(undone, applied.updating(Status::undoVerified, std::nullopt)); // same id and time
    EXPECT_EQ(pdf().currentApp(), evince);
    EXPECT_EQ(service->loadChangeHistory(), QList<AssociationChangeRecord>{undone});

    // Undoing again is allowed; a refusal or an unconfirmed result becomes undoFailed.
    client->failDefaultApplicationRequests(systemFailure(u"no"_qs));
    EXPECT_EQ(waitForTask(service->undoChange(undone)), applied.updating(Status::undoFailed, u"no"_qs));
    client->failDefaultApplicationRequests(nullptr);
    client->setDefaultChangesTakeEffect(false);
    client->setAssociation(assoc(u"pdf"_qs, okular));
    EXPECT_EQ(waitForTask(service->undoChange(undone)),
              applied.updating(Status::undoFailed, FileAssociationService::verificationMismatchMessage));

    // The system is not asked without a previous application to go back to, nor while the history
    // cannot be read: a change whose record could not be stored is not made.
    const AssociationChangeRecord fromNothing = apply(okular, assoc(u"pdf"_qs, std::nullopt));
    client->clearCallLog();
    try {
        waitForTask(service->undoChange(fromNothing));
        ADD_FAILURE() << "undone without a previous application";
    } catch (const FileAssociationError &error) {
        EXPECT_EQ(error, FileAssociationError::noPreviousApplication(u"pdf"_qs));
    }
    const QByteArray corrupt = "{not a list";
    defaults->write(u"associationChangeHistory"_qs, corrupt);
    EXPECT_THROW(apply(evince, pdf()), JsonDecodingError);
    EXPECT_THROW(waitForTask(service->undoChange(applied)), JsonDecodingError);
    EXPECT_TRUE(client->defaultApplicationRequests().isEmpty() && client->loadAssociationCalls().isEmpty());
    EXPECT_EQ(defaults->read(u"associationChangeHistory"_qs), corrupt);
}

TEST(Takeovers, OnlyAConfirmedNewestRecordWhoseAppIsNoLongerTheDefault)
{
    using S = Status;
    const AssociatedApp chosen = app(u"Chosen"_qs, u"chosen.desktop"_qs);
    const AssociatedApp moved = app(u"Chosen"_qs, u"chosen.desktop"_qs, u"/home/u/.local"_qs);
    const AssociatedApp old = app(u"Old"_qs, u"old.desktop"_qs);
    const AssociatedApp intruder = app(u"Intruder"_qs, u"intruder.desktop"_qs, u"/opt"_qs);
    // apng shares png's type.
    const QString png = u"png"_qs, apng = u"apng"_qs, jpg = u"jpg"_qs;
    struct Case {
        const char *name;
        QList<std::pair<QString, S>> history; // newest first
        std::optional<AssociatedApp> current;
        std::optional<AssociatedApp> expected; // the app to put back; none: no takeover
        QList<AssociatedApp> candidates = {};
    };
    const QList<Case> cases{
        {"verified, still in force", {{png, S::verified}}, chosen, {}},
        {"verified, another app now", {{png, S::verified}}, intruder, chosen},
        {"verified, no default now", {{png, S::verified}}, {}, chosen},
        {"verified, same ID elsewhere on disk", {{png, S::verified}}, moved, {}},
        {"verified, installed copy proposed", {{png, S::verified}}, intruder, moved, {intruder, moved}},
        {"undone, previous app in force", {{png, S::undoVerified}}, old, {}},
        {"undone, replacement back again", {{png, S::undoVerified}}, chosen, old},
        {"apply not confirmed", {{png, S::verificationFailed}}, intruder, {}},
        {"undo failed", {{png, S::undoFailed}}, intruder, {}},
        {"newest failed after an older verified", {{png, S::apiFailed}, {png, S::verified}}, intruder, {}},
        {"same type changed later", {{apng, S::verified}, {png, S::undoVerified}}, chosen, {}},
        {"only a change of another extension of the type", {{apng, S::verified}}, intruder, chosen},
        {"records of other types only", {{jpg, S::verified}}, intruder, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QList<AssociationChangeRecord> history;
        for (const auto &[extension, status] : c.history) {
            const QString type = extension == jpg ? u"image/jpeg"_qs : u"image/png"_qs;
            history.append(AssociationChangeRecord(u"r%1"_qs.arg(history.size()), extension, type, old,
                                                   chosen, Timestamp(1.0), status, std::nullopt));
        }
        FileAssociation association(png, u"image/png"_qs, c.current, c.candidates);
        DefaultApplicationOrigin origin;
        origin.summary = u"~/.config/mimeapps.list 3행에서 지정"_qs;
        association.setOrigin(std::make_shared<const DefaultApplicationOrigin>(origin));
        // The jpg entry keeps the recorded app: only the png entry can be taken over.
        const QList<Takeover> found =
            takeovers({FileAssociation(jpg, u"image/jpeg"_qs, chosen, {}), association}, history);
        QList<Takeover> expected;
        if (c.expected)
            expected.append(Takeover{association, history.first(), *c.expected, origin.summary});
        EXPECT_EQ(found, expected);
    }
}

} // namespace
} // namespace halvora::test
