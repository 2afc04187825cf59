// Runs against real GIO and shared-mime-info in the standard fixture tree. The tree is
// built by main() before anything calls glib, which reads the XDG variables only once.

#include "core/model/FileAssociationError.h"
#include "core/system/SystemErrors.h"
#include "linux/desktop/GioDesktopEntries.h"
#include "linux/desktop/LinuxFileAssociationClient.h"
#include "support/doubles/WaitForTask.h"
#include "support/fixtures/DesktopService.h"
#include "support/fixtures/GioMime.h"
#include "support/fixtures/StandardFixture.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <sys/stat.h>

using namespace halvora;
using namespace halvora::test;
using Scope = XdgFixture::Scope;

namespace {

XdgFixture *tree = nullptr;

QStringList ids(const QList<AssociatedApp> &apps)
{
    QStringList result;
    for (const AssociatedApp &app : apps)
        result.append(app.bundleIdentifier());
    return result;
}

// What the desktop itself says, in the form the client promises: the default first, then
// GIO's registered applications, each once.
struct Expected {
    std::optional<QString> current;
    QStringList candidates;
};
Expected askGio(const QString &contentType)
{
    const GioMimeAnswer answer = queryGioMime(tree->environment(), contentType);
    Expected expected{answer.defaultApplication, {}};
    if (answer.defaultApplication)
        expected.candidates.append(*answer.defaultApplication);
    for (const QString &id : answer.registeredApplications) {
        if (!expected.candidates.contains(id))
            expected.candidates.append(id);
    }
    return expected;
}

QUrl entryUrl(Scope scope, const QString &relativePath)
{
    return QUrl::fromLocalFile(tree->applicationsDir(scope) + u'/' + relativePath);
}

FileAssociationError failureOf(const std::function<void()> &operation)
{
    try {
        operation();
    } catch (const FileAssociationError &error) {
        return error;
    }
    ADD_FAILURE() << "no FileAssociationError";
    return FileAssociationError::noRecentChange();
}

} // namespace

TEST(LinuxClientAgreement, AssociationsMatchWhatGioReports)
{
    const auto client = makeLinuxFileAssociationClient();
    for (const char *extension :
         {"pdf", "txt", "md", "png", "jpg", "gif", "json", "zip", "tar.gz", "html", "csv", "c", "dmg"}) {
        const FileAssociation association = client->loadAssociation(QString::fromUtf8(extension));
        const Expected expected = askGio(association.contentTypeIdentifier());
        EXPECT_EQ(association.currentApp() ? std::optional(association.currentApp()->bundleIdentifier())
                                           : std::nullopt,
                  expected.current)
            << extension;
        EXPECT_EQ(ids(association.candidateApps()), expected.candidates) << extension;
    }
    EXPECT_EQ(client->loadAssociation(u".TAR.GZ"_qs).contentTypeIdentifier(),
              u"application/x-compressed-tar"_qs);
    EXPECT_EQ(failureOf([&] { client->loadAssociation(u"zz-unknown"_qs); }),
              FileAssociationError::contentTypeUnavailable(u"zz-unknown"_qs));
    // Something the standard tree sets, so that agreement is not agreement on nothing.
    EXPECT_EQ(client->loadAssociation(u"txt"_qs).currentApp()->bundleIdentifier(), standard::notes);
}

TEST(LinuxClientAgreement, DescribesEntriesAsTheDesktopNamesThem)
{
    const auto client = makeLinuxFileAssociationClient();
    const FileAssociation pdf = client->loadAssociation(u"pdf"_qs);
    EXPECT_EQ(pdf.currentApp(), AssociatedApp(standard::documentViewerKoreanName, standard::documentViewer,
                                              entryUrl(Scope::system, standard::documentViewer)));

    // A linked entry keeps the link's location; a hidden one or one whose TryExec is missing
    // launches nothing and is never listed.
    const FileAssociation txt = client->loadAssociation(u"txt"_qs);
    EXPECT_TRUE(ids(txt.candidateApps()).contains(standard::linkedEditor));
    EXPECT_FALSE(ids(txt.candidateApps()).contains(standard::hiddenEditor));
    EXPECT_FALSE(ids(txt.candidateApps()).contains(standard::missingTool));
    EXPECT_EQ(txt.currentApp()->url(), entryUrl(Scope::user, standard::notes));

    EXPECT_EQ(client->app(entryUrl(Scope::system, standard::unnamed)).name(), standard::unnamed);
    EXPECT_EQ(client->app(entryUrl(Scope::system, u"vendor/./x/../archiver.desktop"_qs)),
              AssociatedApp(u"Archiver"_qs, standard::archiver,
                            entryUrl(Scope::system, u"vendor/archiver.desktop"_qs)));
    EXPECT_EQ(client->app(entryUrl(Scope::user, standard::linkedEditor)).name(), u"Linked Editor"_qs);

    for (const QUrl &url :
         {entryUrl(Scope::system, standard::hiddenEditor), entryUrl(Scope::system, standard::missingTool),
          entryUrl(Scope::system, u"absent.desktop"_qs),
          QUrl::fromLocalFile(tree->applicationsDir(Scope::system))}) {
        EXPECT_EQ(failureOf([&] { client->app(url); }).kind(),
                  FileAssociationError::Kind::appMissingBundleIdentifier)
            << url.toString().toStdString();
    }
    // A pipe named like an entry would block a reader forever.
    const QString fifo = tree->outsideDir() + u"/pipe.desktop"_qs;
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(failureOf([&] { client->app(QUrl::fromLocalFile(fifo)); }).kind(),
              FileAssociationError::Kind::appMissingBundleIdentifier);

    EXPECT_EQ(desktopEntryIconName(entryUrl(Scope::system, standard::textEditor)),
              u"accessories-text-editor"_qs);
    EXPECT_EQ(desktopEntryIconName(entryUrl(Scope::system, standard::imageViewer)), std::nullopt);
    EXPECT_EQ(desktopEntryIconName(QUrl::fromLocalFile(fifo)), std::nullopt);
}

TEST(LinuxClientAgreement, RegisteredTypesComeFromTheUsersList)
{
    const QList<RegisteredContentType> expected{
        {u"json"_qs, u"application/json"_qs, std::nullopt},
        {u"md"_qs, u"text/markdown"_qs, standard::textEditor},
        {u"pdf"_qs, u"application/pdf"_qs, standard::documentViewer},
        {u"png"_qs, u"image/png"_qs, standard::imageViewer},
        {u"txt"_qs, u"text/plain"_qs, standard::notes},
        {u"zip"_qs, u"application/zip"_qs, std::nullopt},
    };
    EXPECT_EQ(makeLinuxFileAssociationClient()->loadRegisteredContentTypes(), expected);
}

TEST(LinuxClientAgreement, ChangesAreSeenByGioAndByTheNextQuery)
{
    const auto client = makeLinuxFileAssociationClient();
    const AssociatedApp editor = client->app(entryUrl(Scope::system, standard::textEditor));
    waitForTask(client->setDefaultApplication(editor, u"application/pdf"_qs));
    EXPECT_EQ(queryGioMime(tree->environment(), u"application/pdf"_qs).defaultApplication,
              standard::textEditor);
    EXPECT_EQ(client->loadAssociation(u"pdf"_qs).currentApp(), editor);

    // Another process changes the default, then installs an application: GIO's in-memory
    // index follows through its file monitors, and the next query sees both.
    setDefaultWithGioMime(tree->environment(), u"application/pdf"_qs, standard::browser);
    EXPECT_EQ(client->loadAssociation(u"pdf"_qs).currentApp()->bundleIdentifier(), standard::browser);
    tree->addDesktopEntry(Scope::user, u"org.example.Fresh.desktop"_qs, u"Fresh"_qs, {u"application/pdf"_qs});
    tree->updateMimeCaches();
    EXPECT_EQ(ids(client->loadAssociation(u"pdf"_qs).candidateApps()),
              askGio(u"application/pdf"_qs).candidates);
    EXPECT_TRUE(
        ids(client->loadAssociation(u"pdf"_qs).candidateApps()).contains(u"org.example.Fresh.desktop"_qs));
}

TEST(LinuxClientAgreement, RefusedChangesAreTypedFailures)
{
    const auto client = makeLinuxFileAssociationClient();
    const AssociatedApp editor = client->app(entryUrl(Scope::system, standard::textEditor));
    const QString listPath = tree->mimeAppsListPath(Scope::user);
    QFile list(listPath);
    ASSERT_TRUE(list.open(QIODevice::ReadOnly));
    const QByteArray before = list.readAll();
    list.close();

    EXPECT_EQ(
        failureOf([&] { waitForTask(client->setDefaultApplication(editor, u"application/x-nope"_qs)); }),
        FileAssociationError::contentTypeUnavailable(u"application/x-nope"_qs));
    ASSERT_TRUE(list.open(QIODevice::ReadOnly));
    EXPECT_EQ(list.readAll(), before);
    list.close();

    const AssociatedApp gone(u"Gone"_qs, u"gone.desktop"_qs, entryUrl(Scope::user, u"gone.desktop"_qs));
    const FileAssociationError missing =
        failureOf([&] { waitForTask(client->setDefaultApplication(gone, u"application/pdf"_qs)); });
    EXPECT_EQ(missing.kind(), FileAssociationError::Kind::systemFailure);
    EXPECT_TRUE(missing.payload().contains(u"gone.desktop"_qs));

    // GIO cannot replace a directory with its list; root is not stopped by that either.
    ASSERT_TRUE(QFile::remove(listPath));
    ASSERT_TRUE(QDir().mkpath(listPath));
    const FileAssociationError refused =
        failureOf([&] { waitForTask(client->setDefaultApplication(editor, u"application/pdf"_qs)); });
    EXPECT_EQ(refused.kind(), FileAssociationError::Kind::systemFailure);
    EXPECT_FALSE(refused.payload().isEmpty());
    auto expectUnreadableList = [&] {
        try {
            client->loadRegisteredContentTypes();
            ADD_FAILURE();
        } catch (const FileReadError &error) {
            EXPECT_EQ(error.path(), listPath);
        }
    };
    expectUnreadableList();
    // A pipe in its place must not block the reader.
    ASSERT_TRUE(QDir().rmdir(listPath));
    ASSERT_EQ(::mkfifo(QFile::encodeName(listPath).constData(), 0600), 0);
    expectUnreadableList();
}

int main(int argc, char **argv)
{
    // Localised names are chosen through glib's language list.
    ::setenv("LANGUAGE", "ko", 1);
    return runTestsOnStandardDesktop(argc, argv, tree);
}
