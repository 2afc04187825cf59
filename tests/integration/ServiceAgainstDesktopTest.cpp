// The service with the real client and the real history store, in an isolated desktop
// tree that main() builds before anything calls glib (glib reads the XDG variables once).

#include "support/doubles/WaitForTask.h"
#include "support/fixtures/DesktopService.h"
#include "support/fixtures/GioMime.h"

#include <QFile>

#include <gtest/gtest.h>

namespace halvora {
namespace {

using test::makeDesktopService;
using test::waitForTask;

test::XdgFixture *tree = nullptr;

// A change, its undo and their sight by GIO and by a second service are checked through the
// window (e2e) and the command line (process tests); this is what only the service shows.
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
    EXPECT_NE(test::queryGioMime(tree->environment(), pdf.contentTypeIdentifier()).defaultApplication,
              outside.bundleIdentifier());
    EXPECT_EQ(service->loadChangeHistory(), QList<AssociationChangeRecord>{record});
}

} // namespace
} // namespace halvora

int main(int argc, char **argv)
{
    return halvora::test::runTestsOnStandardDesktop(argc, argv, halvora::tree);
}
