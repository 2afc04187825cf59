#include "InMemoryPorts.h"

#include "support/doubles/WaitForTask.h"

#include <QThread>

#include <gtest/gtest.h>

using namespace halvora;
using namespace halvora::test;

namespace {

template <typename Operation> FileAssociationError associationFailure(Operation &&operation)
{
    try {
        operation();
    } catch (const FileAssociationError &error) {
        return error;
    }
    ADD_FAILURE() << "no FileAssociationError was thrown";
    return FileAssociationError::noRecentChange();
}

struct RecordingApplications : InMemoryApplications {
    mutable QThread *thread = nullptr;
    void setDefaultApplication(const QUrl &application, const QString &contentType) const override
    {
        thread = QThread::currentThread();
        InMemoryApplications::setDefaultApplication(application, contentType);
    }
};

} // namespace

TEST(WorkspaceClientRegisteredTypes, MissingUnreadableAndMalformedLists)
{
    InMemoryWorkspace workspace;
    EXPECT_TRUE(workspace.client().loadRegisteredContentTypes().isEmpty());

    workspace.files->unreadable.insert(InMemoryWorkspace::listPath, QStringLiteral("Permission denied"));
    try {
        workspace.client().loadRegisteredContentTypes();
        FAIL();
    } catch (const FileReadError &error) {
        EXPECT_EQ(error.path(), InMemoryWorkspace::listPath);
        EXPECT_TRUE(error.localizedDescription().contains(QStringLiteral("Permission denied")));
    }

    workspace.files->unreadable.clear();
    workspace.files->files.insert(InMemoryWorkspace::listPath, "text/plain=a!");
    try {
        workspace.client().loadRegisteredContentTypes();
        FAIL();
    } catch (const HandlerListFormatError &error) {
        // The reader knows only bytes; the client names the file.
        EXPECT_EQ(error.path(), InMemoryWorkspace::listPath);
        EXPECT_TRUE(error.localizedDescription().contains(InMemoryWorkspace::listPath));
        EXPECT_TRUE(error.localizedDescription().contains(QStringLiteral("bad line")));
    }
}

TEST(WorkspaceClientRegisteredTypes, SkipsUnknownTypesKeepsFirstPerExtensionAndSorts)
{
    InMemoryWorkspace workspace;
    workspace.contentTypes->add(QStringLiteral("text/plain"), QStringLiteral("txt"));
    workspace.contentTypes->add(QStringLiteral("application/pdf"), QStringLiteral("pdf"));
    workspace.contentTypes->add(QStringLiteral("inode/directory"), QString());
    // An alias: the registry answers with its canonical name, the list keeps its own text.
    workspace.contentTypes->typeByIdentifier.insert(
        QStringLiteral("application/x-pdf"), {QStringLiteral("application/pdf"), QStringLiteral("pdf")});
    workspace.contentTypes->add(QStringLiteral("application/x-compressed-tar"), QStringLiteral(".TAR.GZ"));
    workspace.files->files.insert(InMemoryWorkspace::listPath, "x-scheme-handler/https=browser.desktop\n"
                                                               "application/x-pdf=viewer.desktop\n"
                                                               "text/plain=\n"
                                                               "inode/directory=files.desktop\n"
                                                               "application/pdf=other.desktop\n"
                                                               "application/x-compressed-tar=ark.desktop\n");

    const QList<RegisteredContentType> expected{
        {QStringLiteral("pdf"), QStringLiteral("application/x-pdf"), QStringLiteral("viewer.desktop")},
        {QStringLiteral("tar.gz"), QStringLiteral("application/x-compressed-tar"),
         QStringLiteral("ark.desktop")},
        {QStringLiteral("txt"), QStringLiteral("text/plain"), std::nullopt},
    };
    EXPECT_EQ(workspace.client().loadRegisteredContentTypes(), expected);

    // One preferred extension that the normaliser rejects loses the whole list.
    workspace.contentTypes->add(QStringLiteral("application/x-odd"), QStringLiteral("a b"));
    workspace.files->files[InMemoryWorkspace::listPath].append("application/x-odd=odd.desktop\n");
    const FileAssociationError error =
        associationFailure([&] { workspace.client().loadRegisteredContentTypes(); });
    EXPECT_EQ(error.kind(), FileAssociationError::Kind::invalidExtension);
}

TEST(WorkspaceClientAssociation, BuildsCandidatesWithTheDefaultFirstAndOnce)
{
    InMemoryWorkspace workspace;
    workspace.contentTypes->add(QStringLiteral("application/pdf"), QStringLiteral("pdf"));
    const DesktopEntry viewer = entry(QStringLiteral("/usr/share/applications/viewer.desktop"),
                                      QStringLiteral("viewer.desktop"), QStringLiteral("문서 보기"));
    const DesktopEntry editor =
        entry(QStringLiteral("/usr/share/applications/editor.desktop"), QStringLiteral("editor.desktop"),
              std::nullopt, QStringLiteral("Editor"));
    // Listed twice, once through a path that standardises to the same file.
    const DesktopEntry editorAgain =
        entry(QStringLiteral("/usr/share/applications/../applications/editor.desktop"),
              QStringLiteral("editor.desktop"), QStringLiteral("Other name"));
    workspace.applications->listed.insert(QStringLiteral("application/pdf"), {editor, editorAgain, viewer});

    const AssociatedApp viewerApp(QStringLiteral("문서 보기"), QStringLiteral("viewer.desktop"), viewer.url);
    const AssociatedApp editorApp(QStringLiteral("Editor"), QStringLiteral("editor.desktop"), editor.url);

    FileAssociation association = workspace.client().loadAssociation(QStringLiteral(" .PDF"));
    EXPECT_EQ(association, FileAssociation(QStringLiteral("pdf"), QStringLiteral("application/pdf"),
                                           std::nullopt, {editorApp, viewerApp}));

    workspace.applications->defaults.insert(QStringLiteral("application/pdf"), viewer);
    association = workspace.client().loadAssociation(QStringLiteral("pdf"));
    EXPECT_EQ(association.currentApp(), viewerApp);
    EXPECT_EQ(association.candidateApps(), (QList<AssociatedApp>{viewerApp, editorApp}));

    // A default that the registry does not list still leads the candidates.
    const DesktopEntry outside =
        entry(QStringLiteral("/opt/app/outside.desktop"), QStringLiteral("outside.desktop"));
    workspace.applications->defaults.insert(QStringLiteral("application/pdf"), outside);
    association = workspace.client().loadAssociation(QStringLiteral("pdf"));
    ASSERT_EQ(association.candidateApps().size(), 3);
    EXPECT_EQ(association.candidateApps().first().name(), QStringLiteral("outside.desktop"));
    EXPECT_EQ(association.candidateApps().first(), association.currentApp());
}

TEST(WorkspaceClientAssociation, Failures)
{
    InMemoryWorkspace workspace;
    workspace.contentTypes->add(QStringLiteral("application/pdf"), QStringLiteral("pdf"));
    const auto client = workspace.client();

    for (const QString &text :
         {QString(), QStringLiteral("a/b"), QStringLiteral("my ext"), QStringLiteral("..")}) {
        EXPECT_EQ(associationFailure([&] { client.loadAssociation(text); }).kind(),
                  FileAssociationError::Kind::invalidExtension)
            << text.toStdString();
    }
    EXPECT_EQ(associationFailure([&] { client.loadAssociation(QStringLiteral(".ZZZ")); }),
              FileAssociationError::contentTypeUnavailable(QStringLiteral("zzz")));

    // One listed application without an identifier loses the whole association.
    workspace.applications->listed.insert(
        QStringLiteral("application/pdf"),
        {entry(QStringLiteral("/usr/share/applications/ok.desktop"), QStringLiteral("ok.desktop")),
         entry(QStringLiteral("/usr/share/applications/./broken app.desktop"), std::nullopt)});
    EXPECT_EQ(associationFailure([&] { client.loadAssociation(QStringLiteral("pdf")); }),
              FileAssociationError::appMissingBundleIdentifier(
                  QStringLiteral("/usr/share/applications/broken app.desktop")));
}

TEST(WorkspaceClientApp, NameFallbacksAndStandardisedLocation)
{
    InMemoryWorkspace workspace;
    const QString path = QStringLiteral("/home/u/.local/share/applications/메모 app.desktop");
    const QUrl url = QUrl::fromLocalFile(path);
    const QUrl roundabout =
        QUrl::fromLocalFile(QStringLiteral("/home/u/.local/share/./x/../applications/메모 app.desktop"));
    const auto client = workspace.client();

    workspace.desktopEntries->entries.insert(url, entry(path, QStringLiteral("메모 app.desktop"),
                                                        QStringLiteral("메모"), QStringLiteral("Notes")));
    EXPECT_EQ(client.app(roundabout),
              AssociatedApp(QStringLiteral("메모"), QStringLiteral("메모 app.desktop"), url));

    workspace.desktopEntries->entries.insert(
        url, entry(path, QStringLiteral("id"), std::nullopt, QStringLiteral("Notes")));
    EXPECT_EQ(client.app(url).name(), QStringLiteral("Notes"));
    // An empty name is a name.
    workspace.desktopEntries->entries.insert(
        url, entry(path, QStringLiteral("id"), QString(), QStringLiteral("Notes")));
    EXPECT_EQ(client.app(url).name(), QString());
    workspace.desktopEntries->entries.insert(url, entry(path, QStringLiteral("id")));
    EXPECT_EQ(client.app(url).name(), QStringLiteral("메모 app.desktop"));

    workspace.desktopEntries->entries.insert(url, entry(path, std::nullopt, QStringLiteral("메모")));
    EXPECT_EQ(associationFailure([&] { client.app(roundabout); }),
              FileAssociationError::appMissingBundleIdentifier(path));
    workspace.desktopEntries->entries.clear();
    EXPECT_EQ(associationFailure([&] { client.app(roundabout); }),
              FileAssociationError::appMissingBundleIdentifier(path));
}

TEST(WorkspaceClientSetDefault, ChecksTheTypeFirstAndRunsOffTheCallingThread)
{
    InMemoryWorkspace workspace;
    auto applications = std::make_shared<RecordingApplications>();
    workspace.applications = applications;
    workspace.contentTypes->add(QStringLiteral("application/pdf"), QStringLiteral("pdf"));
    const AssociatedApp viewer(QStringLiteral("Viewer"), QStringLiteral("viewer.desktop"),
                               QUrl::fromLocalFile(QStringLiteral("/usr/share/applications/viewer.desktop")));
    const auto client = workspace.client();

    try {
        waitForTask(client.setDefaultApplication(viewer, QStringLiteral("application/x-unknown")));
        FAIL();
    } catch (const FileAssociationError &error) {
        EXPECT_EQ(error,
                  FileAssociationError::contentTypeUnavailable(QStringLiteral("application/x-unknown")));
    }
    EXPECT_TRUE(applications->requests.isEmpty());

    waitForTask(client.setDefaultApplication(viewer, QStringLiteral("application/pdf")));
    ASSERT_EQ(applications->requests.size(), 1);
    EXPECT_EQ(applications->requests.first(),
              std::make_pair(viewer.url(), QStringLiteral("application/pdf")));
    EXPECT_NE(applications->thread, QThread::currentThread());

    applications->refusal = QStringLiteral("Can't create file");
    try {
        waitForTask(client.setDefaultApplication(viewer, QStringLiteral("application/pdf")));
        FAIL();
    } catch (const FileAssociationError &error) {
        EXPECT_EQ(error, FileAssociationError::systemFailure(QStringLiteral("Can't create file")));
    }
}
