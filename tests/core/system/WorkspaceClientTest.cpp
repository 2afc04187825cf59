#include "core/model/FileAssociationError.h"
#include "core/system/ContentTypeHandlerListReader.h"
#include "core/system/SystemErrors.h"
#include "core/system/SystemPorts.h"
#include "core/system/WorkspaceFileAssociationClient.h"
#include "support/doubles/WaitForTask.h"

#include <QHash>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>

using namespace halvora;
using namespace halvora::test;

namespace {

// Ports whose answers a test sets; the tables are filled before the client is used.
struct InMemoryContentTypes : ContentTypeRegistry {
    QHash<QString, QString> typeByExtension;
    QHash<QString, ContentTypeDescription> typeByIdentifier;

    std::optional<QString> contentTypeForExtension(const QString &extension) const override
    {
        if (auto it = typeByExtension.find(extension); it != typeByExtension.end())
            return *it;
        return std::nullopt;
    }
    std::optional<ContentTypeDescription> contentType(const QString &identifier) const override
    {
        if (auto it = typeByIdentifier.find(identifier); it != typeByIdentifier.end())
            return *it;
        return std::nullopt;
    }
    void add(const QString &identifier, const QString &preferredExtension)
    {
        typeByIdentifier.insert(identifier, {identifier, preferredExtension});
        if (!preferredExtension.isEmpty())
            typeByExtension.insert(preferredExtension, identifier);
    }
};

struct InMemoryApplications : ApplicationRegistry {
    QHash<QString, DesktopEntry> defaults;
    QHash<QString, QList<DesktopEntry>> listed;
    // Written on the background executor; read after the task's end.
    mutable QList<std::pair<QUrl, QString>> requests;
    mutable QThread *thread = nullptr; // of the last request

    std::optional<DesktopEntry> defaultApplication(const QString &contentType) const override
    {
        if (auto it = defaults.find(contentType); it != defaults.end())
            return *it;
        return std::nullopt;
    }
    QList<DesktopEntry> applications(const QString &contentType) const override
    {
        return listed.value(contentType);
    }
    void setDefaultApplication(const QUrl &application, const QString &contentType) const override
    {
        requests.append({application, contentType});
        thread = QThread::currentThread();
    }
};

struct InMemoryDesktopEntries : DesktopEntryReader {
    QHash<QUrl, DesktopEntry> entries;

    std::optional<DesktopEntry> read(const QUrl &fileUrl) const override
    {
        if (auto it = entries.find(fileUrl); it != entries.end())
            return *it;
        return std::nullopt;
    }
};

struct InMemoryFiles : FileSystem {
    QHash<QString, QByteArray> files;

    bool exists(const QString &path) const override { return files.contains(path); }
    QByteArray readAll(const QString &path) const override { return files.value(path); }
    QString displayName(const QString &path) const override { return path.section(u'/', -1); }
};

// Reads "type=handler" lines ("type=" for none); "!" anywhere makes the bytes unreadable.
struct LineHandlerListReader : ContentTypeHandlerListReader {
    QList<LaunchServicesContentTypeHandler>
    registeredContentTypeHandlers(const QByteArray &bytes) const override
    {
        if (bytes.contains('!'))
            throw HandlerListFormatError(u"bad line"_qs);
        QList<LaunchServicesContentTypeHandler> result;
        for (const QByteArray &line : bytes.split('\n')) {
            if (line.isEmpty())
                continue;
            const QList<QByteArray> parts = line.split('=');
            const QString handler = QString::fromUtf8(parts.value(1));
            result.append({QString::fromUtf8(parts.value(0)),
                           handler.isEmpty() ? std::nullopt : std::optional<QString>(handler)});
        }
        return result;
    }
};

struct InMemoryWorkspace {
    std::shared_ptr<InMemoryContentTypes> contentTypes = std::make_shared<InMemoryContentTypes>();
    std::shared_ptr<InMemoryApplications> applications = std::make_shared<InMemoryApplications>();
    std::shared_ptr<InMemoryDesktopEntries> desktopEntries = std::make_shared<InMemoryDesktopEntries>();
    std::shared_ptr<InMemoryFiles> files = std::make_shared<InMemoryFiles>();

    static inline const QString listPath = u"/home/u/.config/mimeapps.list"_qs;

    WorkspaceFileAssociationClient client() const
    {
        return WorkspaceFileAssociationClient(QUrl::fromLocalFile(listPath),
                                              std::make_shared<LineHandlerListReader>(),
                                              {contentTypes, applications, desktopEntries, files});
    }
};

DesktopEntry entry(const QString &path, std::optional<QString> identifier,
                   std::optional<QString> localizedName = std::nullopt,
                   std::optional<QString> name = std::nullopt)
{
    return {QUrl::fromLocalFile(path), std::move(identifier), std::move(localizedName), std::move(name)};
}

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

} // namespace

// Unreadable lists, unknown extensions and types, and refused changes are checked against
// the real desktop by the Linux client's tests.
TEST(WorkspaceClientRegisteredTypes, MissingAndMalformedLists)
{
    InMemoryWorkspace workspace;
    EXPECT_TRUE(workspace.client().loadRegisteredContentTypes().isEmpty());

    workspace.files->files.insert(InMemoryWorkspace::listPath, "text/plain=a!");
    try {
        workspace.client().loadRegisteredContentTypes();
        FAIL();
    } catch (const HandlerListFormatError &error) {
        // The reader knows only bytes; the client names the file.
        EXPECT_EQ(error.path(), InMemoryWorkspace::listPath);
        EXPECT_TRUE(error.localizedDescription().contains(InMemoryWorkspace::listPath));
        EXPECT_TRUE(error.localizedDescription().contains(u"bad line"_qs));
    }
}

TEST(WorkspaceClientRegisteredTypes, SkipsUnknownTypesKeepsFirstPerExtensionAndSorts)
{
    InMemoryWorkspace workspace;
    workspace.contentTypes->add(u"text/plain"_qs, u"txt"_qs);
    workspace.contentTypes->add(u"application/pdf"_qs, u"pdf"_qs);
    workspace.contentTypes->add(u"inode/directory"_qs, QString());
    // An alias: the registry answers with its canonical name, the list keeps its own text.
    workspace.contentTypes->typeByIdentifier.insert(u"application/x-pdf"_qs,
                                                    {u"application/pdf"_qs, u"pdf"_qs});
    workspace.contentTypes->add(u"application/x-compressed-tar"_qs, u".TAR.GZ"_qs);
    workspace.files->files.insert(InMemoryWorkspace::listPath, "x-scheme-handler/https=browser.desktop\n"
                                                               "application/x-pdf=viewer.desktop\n"
                                                               "text/plain=\n"
                                                               "inode/directory=files.desktop\n"
                                                               "application/pdf=other.desktop\n"
                                                               "application/x-compressed-tar=ark.desktop\n");

    const QList<RegisteredContentType> expected{
        {u"pdf"_qs, u"application/x-pdf"_qs, u"viewer.desktop"_qs},
        {u"tar.gz"_qs, u"application/x-compressed-tar"_qs, u"ark.desktop"_qs},
        {u"txt"_qs, u"text/plain"_qs, std::nullopt},
    };
    EXPECT_EQ(workspace.client().loadRegisteredContentTypes(), expected);

    // One preferred extension that the normaliser rejects loses the whole list.
    workspace.contentTypes->add(u"application/x-odd"_qs, u"a b"_qs);
    workspace.files->files[InMemoryWorkspace::listPath].append("application/x-odd=odd.desktop\n");
    const FileAssociationError error =
        associationFailure([&] { workspace.client().loadRegisteredContentTypes(); });
    EXPECT_EQ(error.kind(), FileAssociationError::Kind::invalidExtension);
}

TEST(WorkspaceClientAssociation, BuildsCandidatesWithTheDefaultFirstAndOnce)
{
    InMemoryWorkspace workspace;
    workspace.contentTypes->add(u"application/pdf"_qs, u"pdf"_qs);
    const DesktopEntry viewer =
        entry(u"/usr/share/applications/viewer.desktop"_qs, u"viewer.desktop"_qs, u"문서 보기"_qs);
    const DesktopEntry editor =
        entry(u"/usr/share/applications/editor.desktop"_qs, u"editor.desktop"_qs, std::nullopt, u"Editor"_qs);
    // Listed twice, once through a path that standardises to the same file.
    const DesktopEntry editorAgain = entry(u"/usr/share/applications/../applications/editor.desktop"_qs,
                                           u"editor.desktop"_qs, u"Other name"_qs);
    workspace.applications->listed.insert(u"application/pdf"_qs, {editor, editorAgain, viewer});

    const AssociatedApp viewerApp(u"문서 보기"_qs, u"viewer.desktop"_qs, viewer.url);
    const AssociatedApp editorApp(u"Editor"_qs, u"editor.desktop"_qs, editor.url);

    FileAssociation association = workspace.client().loadAssociation(u" .PDF"_qs);
    EXPECT_EQ(association,
              FileAssociation(u"pdf"_qs, u"application/pdf"_qs, std::nullopt, {editorApp, viewerApp}));

    workspace.applications->defaults.insert(u"application/pdf"_qs, viewer);
    association = workspace.client().loadAssociation(u"pdf"_qs);
    EXPECT_EQ(association.currentApp(), viewerApp);
    EXPECT_EQ(association.candidateApps(), (QList<AssociatedApp>{viewerApp, editorApp}));

    // A default that the registry does not list still leads the candidates.
    const DesktopEntry outside = entry(u"/opt/app/outside.desktop"_qs, u"outside.desktop"_qs);
    workspace.applications->defaults.insert(u"application/pdf"_qs, outside);
    association = workspace.client().loadAssociation(u"pdf"_qs);
    ASSERT_EQ(association.candidateApps().size(), 3);
    EXPECT_EQ(association.candidateApps().first().name(), u"outside.desktop"_qs);
    EXPECT_EQ(association.candidateApps().first(), association.currentApp());
}

TEST(WorkspaceClientAssociation, Failures)
{
    InMemoryWorkspace workspace;
    workspace.contentTypes->add(u"application/pdf"_qs, u"pdf"_qs);
    const auto client = workspace.client();

    EXPECT_EQ(associationFailure([&] { client.loadAssociation(u"a/b"_qs); }).kind(),
              FileAssociationError::Kind::invalidExtension);

    // One listed application without an identifier loses the whole association.
    workspace.applications->listed.insert(
        u"application/pdf"_qs, {entry(u"/usr/share/applications/ok.desktop"_qs, u"ok.desktop"_qs),
                                entry(u"/usr/share/applications/./broken app.desktop"_qs, std::nullopt)});
    EXPECT_EQ(
        associationFailure([&] { client.loadAssociation(u"pdf"_qs); }),
        FileAssociationError::appMissingBundleIdentifier(u"/usr/share/applications/broken app.desktop"_qs));
}

TEST(WorkspaceClientApp, NameFallbacks)
{
    InMemoryWorkspace workspace;
    const QString path = u"/home/u/.local/share/applications/메모 app.desktop"_qs;
    const QUrl url = QUrl::fromLocalFile(path);
    const auto client = workspace.client();
    const auto nameWith = [&](std::optional<QString> localizedName, std::optional<QString> name) {
        workspace.desktopEntries->entries.insert(url, entry(path, u"id"_qs, localizedName, name));
        return client.app(url).name();
    };
    EXPECT_EQ(nameWith(u"메모"_qs, u"Notes"_qs), u"메모"_qs);
    EXPECT_EQ(nameWith(std::nullopt, u"Notes"_qs), u"Notes"_qs);
    EXPECT_EQ(nameWith(QString(), u"Notes"_qs), QString()); // an empty name is a name
    EXPECT_EQ(nameWith(std::nullopt, std::nullopt), u"메모 app.desktop"_qs);
}

// Refusals crossing back as typed failures are checked on the real ports by the Linux client's tests.
TEST(WorkspaceClientSetDefault, RunsOffTheCallingThread)
{
    InMemoryWorkspace workspace;
    const auto &applications = workspace.applications;
    workspace.contentTypes->add(u"application/pdf"_qs, u"pdf"_qs);
    const AssociatedApp viewer(u"Viewer"_qs, u"viewer.desktop"_qs,
                               QUrl::fromLocalFile(u"/usr/share/applications/viewer.desktop"_qs));
    const auto client = workspace.client();

    waitForTask(client.setDefaultApplication(viewer, u"application/pdf"_qs));
    ASSERT_EQ(applications->requests.size(), 1);
    EXPECT_EQ(applications->requests.first(), std::make_pair(viewer.url(), u"application/pdf"_qs));
    EXPECT_NE(applications->thread, QThread::currentThread());
}
