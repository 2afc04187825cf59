// The service with the real client and the real history store, in an isolated desktop
// tree that main() builds before anything calls glib (glib reads the XDG variables once).

#include "support/doubles/WaitForTask.h"
#include "support/fixtures/DesktopService.h"
#include "support/fixtures/GioMime.h"
#include "support/fixtures/StandardFixture.h"

#include <QFile>

#include <gtest/gtest.h>

namespace halvora {
namespace {

using test::makeDesktopService;
using test::waitForTask;

test::XdgFixture *tree = nullptr;

std::optional<QString> gioDefault(const QString &contentType)
{
    return test::queryGioMime(tree->environment(), contentType).defaultApplication;
}

TEST(ServiceAgainstDesktop, AppliedAndUndoneChangesAreSeenByGioAndByAnotherService)
{
    const auto service = makeDesktopService();
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
    const auto other = makeDesktopService();
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

    const auto service = makeDesktopService();
    const FileAssociation pdf = waitForTask(service->loadAssociation(u"pdf"_qs));
    const AssociationChangeRecord record = waitForTask(service->applyDefaultApplication(outside, pdf));

    // Refused before anything is written: its ID could never resolve.
    EXPECT_EQ(record.verificationStatus(), AssociationVerificationStatus::apiFailed)
        << record.verificationMessage().value_or(QString()).toStdString();
    EXPECT_TRUE(record.verificationMessage().value_or(QString()).contains(u"~/.local/share/applications"_qs));
    EXPECT_NE(gioDefault(pdf.contentTypeIdentifier()), outside.bundleIdentifier());
    EXPECT_EQ(service->loadChangeHistory(), QList<AssociationChangeRecord>{record});
}

} // namespace
} // namespace halvora

int main(int argc, char **argv)
{
    return halvora::test::runTestsOnStandardDesktop(argc, argv, halvora::tree);
}
