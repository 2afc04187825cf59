#include "core/history/UserDefaultsAssociationChangeHistoryStore.h"
#include "core/service/FileAssociationService.h"
#include "linux/store/SqliteKeyValueStore.h"
#include "support/SampleAssociations.h"
#include "support/TestIsolation.h"
#include "support/doubles/InMemoryFileAssociationClient.h"
#include "support/doubles/WaitForTask.h"

#include <QDir>

#include <vector>

#include <gtest/gtest.h>

namespace halvora::test {
namespace {

constexpr int applyCount = 20;

// Many applies and undos in flight at once all write the one history; none may be lost.
TEST(ServiceConcurrency, SimultaneousAppliesAndUndosEachKeepTheirRecord)
{
    const QString path = QDir(isolatedRoot()).filePath(u"concurrency/defaults.sqlite3"_qs);
    const auto history = [&] {
        return std::make_shared<UserDefaultsAssociationChangeHistoryStore>(
            std::make_shared<SqliteKeyValueStore>(path), u"associationChangeHistory"_qs,
            u"recentAssociationChange"_qs, 50);
    };
    auto owned = std::make_unique<InMemoryFileAssociationClient>();
    InMemoryFileAssociationClient *client = owned.get();
    QList<FileAssociation> associations;
    for (int i = 0; i < applyCount; ++i) {
        associations.append(assoc(u"ext%1"_qs.arg(i), app(u"Before"_qs, u"before.desktop"_qs)));
        client->setAssociation(associations.last());
    }
    FileAssociationService service(std::move(owned), history(), ExtensionCatalog({}, {}));

    // Held until all have started, then released together so their writes overlap.
    client->holdDefaultApplicationRequests();
    std::vector<QCoro::Task<AssociationChangeRecord>> applies;
    for (const FileAssociation &association : associations)
        applies.push_back(
            service.applyDefaultApplication(app(u"After"_qs, u"after.desktop"_qs), association));
    ASSERT_TRUE(processEventsUntil([&] { return client->heldRequestCount() == applyCount; }));
    client->releaseDefaultApplicationRequests();

    QList<AssociationChangeRecord> applied;
    for (auto &task : applies)
        applied.append(waitForTask(std::move(task)));
    // Read through a fresh store: every record is there, in the state its last write left.
    const auto expectStored = [&](AssociationVerificationStatus status) {
        const QList<AssociationChangeRecord> stored = history()->loadHistory();
        EXPECT_EQ(stored.size(), applyCount);
        for (const AssociationChangeRecord &record : stored)
            EXPECT_EQ(record.verificationStatus(), status) << record.fileExtension().toStdString();
    };
    expectStored(AssociationVerificationStatus::verified);

    std::vector<QCoro::Task<AssociationChangeRecord>> undos;
    for (const AssociationChangeRecord &record : applied)
        undos.push_back(service.undoChange(record));
    for (auto &task : undos)
        waitForTask(std::move(task));
    expectStored(AssociationVerificationStatus::undoVerified);
}

} // namespace
} // namespace halvora::test
