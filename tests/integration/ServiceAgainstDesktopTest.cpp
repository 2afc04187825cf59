// The service with the real client and the real history store, in an isolated desktop
// tree that main() builds before anything calls glib (glib reads the XDG variables once).

#include "core/history/UserDefaultsAssociationChangeHistoryStore.h"
#include "core/service/FileAssociationService.h"
#include "linux/desktop/LinuxFileAssociationClient.h"
#include "linux/store/SqliteKeyValueStore.h"
#include "support/TestIsolation.h"
#include "support/doubles/WaitForTask.h"
#include "support/fixtures/GioMime.h"
#include "support/fixtures/StandardFixture.h"
#include "support/fixtures/XdgFixture.h"

#include <QCoreApplication>
#include <QFile>

#include <gtest/gtest.h>

namespace halvora {
namespace {

using test::waitForTask;

test::XdgFixture *tree = nullptr;

// A fresh object graph as the application builds it: client, store on the default file, catalog.
std::unique_ptr<FileAssociationService> makeService()
{
    auto history = std::make_shared<UserDefaultsAssociationChangeHistoryStore>(
        std::make_shared<SqliteKeyValueStore>(), u"associationChangeHistory"_qs,
        u"recentAssociationChange"_qs, 50);
    return std::make_unique<FileAssociationService>(makeLinuxFileAssociationClient(), history,
                                                    ExtensionCatalog::defaultCatalog());
}

std::optional<QString> gioDefault(const QString &contentType)
{
    return test::queryGioMime(tree->environment(), contentType).defaultApplication;
}

TEST(ServiceAgainstDesktop, AppliedAndUndoneChangesAreSeenByGioAndByAnotherService)
{
    const auto service = makeService();
    const FileAssociation pdf = waitForTask(service->loadAssociation(u"pdf"_qs));
    ASSERT_TRUE(pdf.currentApp());
    ASSERT_EQ(pdf.currentApp()->bundleIdentifier(), test::standard::documentViewer);
    const auto browser =
        std::find_if(pdf.candidateApps().cbegin(), pdf.candidateApps().cend(), [](const AssociatedApp &app) {
            return app.bundleIdentifier() == test::standard::browser;
        });
    ASSERT_NE(browser, pdf.candidateApps().cend());

    const AssociationChangeRecord applied = waitForTask(service->applyDefaultApplication(*browser, pdf));
    EXPECT_EQ(applied.verificationStatus(), AssociationVerificationStatus::verified);
    EXPECT_EQ(gioDefault(pdf.contentTypeIdentifier()), test::standard::browser);
    const auto other = makeService();
    EXPECT_EQ(waitForTask(other->loadAssociation(u".PDF"_qs)).currentApp(), *browser);
    EXPECT_EQ(other->loadChangeHistory(), QList<AssociationChangeRecord>{applied});

    const AssociationChangeRecord undone = waitForTask(service->undoChange(applied));
    EXPECT_EQ(undone, applied.updating(AssociationVerificationStatus::undoVerified, std::nullopt));
    EXPECT_EQ(gioDefault(pdf.contentTypeIdentifier()), test::standard::documentViewer);
    EXPECT_EQ(other->loadChangeHistory(), QList<AssociationChangeRecord>{undone});
}

TEST(ServiceAgainstDesktop, AnEntryOutsideEveryDataDirectoryIsNotRecordedAsVerified)
{
    const QString path = tree->outsideDir() + u"/org.example.Outside.desktop"_qs;
    QFile entry(path);
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
    entry.write("[Desktop Entry]\nType=Application\nName=Outside\nExec=true %U\nMimeType=application/pdf;\n");
    entry.close();
    const AssociatedApp outside(u"Outside"_qs, u"org.example.Outside.desktop"_qs, QUrl::fromLocalFile(path));

    const auto service = makeService();
    const FileAssociation pdf = waitForTask(service->loadAssociation(u"pdf"_qs));
    const AssociationChangeRecord record = waitForTask(service->applyDefaultApplication(outside, pdf));

    EXPECT_EQ(record.verificationStatus(), AssociationVerificationStatus::verificationFailed)
        << record.verificationMessage().value_or(QString()).toStdString();
    EXPECT_NE(gioDefault(pdf.contentTypeIdentifier()), outside.bundleIdentifier());
    EXPECT_EQ(service->loadChangeHistory(), QList<AssociationChangeRecord>{record});
}

} // namespace
} // namespace halvora

int main(int argc, char **argv)
{
    const QString root = halvora::test::isolateUserEnvironment();
    halvora::test::XdgFixture fixture(root);
    fixture.addStandardContents();
    fixture.commit();
    halvora::tree = &fixture;

    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
