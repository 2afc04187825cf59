// The desktop client on the standard fixture tree, for what the resolver's differential and
// writer tests do not reach: entries named by their files, and hostile files in the way. The
// tree is built by main() before anything calls glib, which reads the XDG variables only once.

#include "core/model/FileAssociationError.h"
#include "core/system/SystemErrors.h"
#include "linux/desktop/GioDesktopEntries.h"
#include "linux/desktop/LinuxFileAssociationClient.h"
#include "support/TestFiles.h"
#include "support/doubles/WaitForTask.h"
#include "support/fixtures/DesktopService.h"
#include "support/fixtures/StandardFixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>

using namespace halvora;
using namespace halvora::test;
using Scope = XdgFixture::Scope;

namespace {

XdgFixture *tree = nullptr;

QUrl entryUrl(Scope scope, const QString &relativePath)
{
    return QUrl::fromLocalFile(tree->applicationsDir(scope) + u'/' + relativePath);
}

} // namespace

TEST(LinuxClientAgreement, DescribesEntriesAsTheDesktopNamesThem)
{
    const auto client = makeLinuxFileAssociationClient();
    EXPECT_EQ(client->loadAssociation(u"pdf"_qs).currentApp(),
              AssociatedApp(standard::documentViewerKoreanName, standard::documentViewer,
                            entryUrl(Scope::system, standard::documentViewer)));
    EXPECT_EQ(client->loadAssociation(u"txt"_qs).currentApp()->url(), entryUrl(Scope::user, standard::notes));
    // A linked entry is read through the link.
    EXPECT_EQ(client->app(entryUrl(Scope::user, standard::linkedEditor)).name(), u"Linked Editor"_qs);
    EXPECT_EQ(client->app(entryUrl(Scope::system, standard::unnamed)).name(), standard::unnamed);
    EXPECT_EQ(client->app(entryUrl(Scope::system, u"vendor/./x/../archiver.desktop"_qs)),
              AssociatedApp(u"Archiver"_qs, standard::archiver,
                            entryUrl(Scope::system, u"vendor/archiver.desktop"_qs)));

    // Hidden, failing TryExec, absent, a folder, a pipe (which would block a reader forever):
    // nothing that can be chosen.
    const QString fifo = tree->outsideDir() + u"/pipe.desktop"_qs;
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QUrl &url :
         {entryUrl(Scope::system, standard::hiddenEditor), entryUrl(Scope::system, standard::missingTool),
          entryUrl(Scope::system, u"absent.desktop"_qs),
          QUrl::fromLocalFile(tree->applicationsDir(Scope::system)), QUrl::fromLocalFile(fifo)}) {
        EXPECT_EQ(failureOf<FileAssociationError>([&] { client->app(url); }).value().kind(),
                  FileAssociationError::Kind::appMissingBundleIdentifier)
            << url.toString().toStdString();
    }

    EXPECT_EQ(desktopEntryIconName(entryUrl(Scope::system, standard::textEditor)),
              u"accessories-text-editor"_qs);
    EXPECT_EQ(desktopEntryIconName(entryUrl(Scope::system, standard::imageViewer)), std::nullopt);
    EXPECT_EQ(desktopEntryIconName(QUrl::fromLocalFile(fifo)), std::nullopt);
}

// A folder in the list's place and a deleted entry are the fault tests' (tests/e2e/EndToEndTest.cpp).
TEST(LinuxClientAgreement, RefusedChangesAreTypedFailures)
{
    const auto client = makeLinuxFileAssociationClient();
    const AssociatedApp editor = client->app(entryUrl(Scope::system, standard::textEditor));
    const QString listPath = tree->mimeAppsListPath(Scope::user);
    const QByteArray before = bytesOf(listPath);
    EXPECT_EQ(failureOf<FileAssociationError>(
                  [&] { waitForTask(client->setDefaultApplication(editor, u"application/x-nope"_qs)); }),
              FileAssociationError::contentTypeUnavailable(u"application/x-nope"_qs));
    EXPECT_EQ(bytesOf(listPath), before);

    // A pipe in the list's place: a typed failure, never a blocked reader.
    ASSERT_TRUE(QFile::remove(listPath));
    ASSERT_EQ(::mkfifo(QFile::encodeName(listPath).constData(), 0600), 0);
    EXPECT_EQ(failureOf<FileReadError>([&] { client->loadRegisteredContentTypes(); }).value().path(),
              listPath);
}

int main(int argc, char **argv)
{
    // Localised names are chosen through glib's language list.
    ::setenv("LANGUAGE", "ko", 1);
    return runTestsOnStandardDesktop(argc, argv, tree);
}
