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

namespace {

const QString listPath = u"/home/u/.config/mimeapps.list"_qs;

// Every port at once, answering from tables the test fills before the client is used. The
// handler list reads as `handlers` whatever its bytes, but "!" makes it unreadable.
struct FakeWorkspace : ContentTypeRegistry,
                       ApplicationRegistry,
                       DesktopEntryReader,
                       FileSystem,
                       ContentTypeHandlerListReader {
    QHash<QString, std::optional<QString>> typeOf;
    QHash<QString, std::optional<ContentTypeDescription>> described;
    QHash<QString, std::optional<DesktopEntry>> defaults;
    QHash<QString, QList<DesktopEntry>> listed;
    QHash<QUrl, std::optional<DesktopEntry>> entries;
    QByteArray list; // null: there is no list
    QList<LaunchServicesContentTypeHandler> handlers;
    mutable QList<std::pair<QUrl, QString>> requests; // written on the background executor
    mutable QThread *requestThread = nullptr;

    void add(const QString &identifier, const QString &preferredExtension)
    {
        described.insert(identifier, ContentTypeDescription{identifier, preferredExtension});
        typeOf.insert(preferredExtension, identifier);
    }
    std::optional<QString> contentTypeForExtension(const QString &e) const override { return typeOf[e]; }
    std::optional<ContentTypeDescription> contentType(const QString &t) const override
    {
        return described[t];
    }
    std::optional<DesktopEntry> defaultApplication(const QString &t) const override { return defaults[t]; }
    QList<DesktopEntry> applications(const QString &type) const override { return listed.value(type); }
    void setDefaultApplication(const QUrl &application, const QString &type) const override
    {
        requests.append({application, type});
        requestThread = QThread::currentThread();
    }
    std::optional<DesktopEntry> read(const QUrl &url) const override { return entries[url]; }
    bool exists(const QString &path) const override { return path == listPath && !list.isNull(); }
    QByteArray readAll(const QString &) const override { return list; }
    QString displayName(const QString &path) const override { return path.section(u'/', -1); }
    QList<LaunchServicesContentTypeHandler>
    registeredContentTypeHandlers(const QByteArray &bytes) const override
    {
        if (bytes == "!")
            throw HandlerListFormatError(u"bad line"_qs);
        return handlers;
    }
};

struct WorkspaceClientTest : ::testing::Test {
    std::shared_ptr<FakeWorkspace> fake = std::make_shared<FakeWorkspace>();
    WorkspaceFileAssociationClient client{QUrl::fromLocalFile(listPath),
                                          std::shared_ptr<ContentTypeHandlerListReader>(fake),
                                          {fake, fake, fake, fake}};
};

DesktopEntry entry(const QString &path, std::optional<QString> identifier,
                   std::optional<QString> localizedName = {}, std::optional<QString> name = {})
{
    return {QUrl::fromLocalFile(path), std::move(identifier), std::move(localizedName), std::move(name)};
}

// Agreement with the desktop is checked on the real ports by the Linux client's tests; these
// are the client's own rules, which no standard desktop tree exercises.
TEST_F(WorkspaceClientTest, RegisteredTypesSkipUnknownTypesKeepFirstPerExtensionAndSort)
{
    EXPECT_TRUE(client.loadRegisteredContentTypes().isEmpty()); // no list at all
    fake->list = "!";
    try {
        client.loadRegisteredContentTypes();
        ADD_FAILURE();
    } catch (const HandlerListFormatError &error) {
        // The reader knows only bytes; the client names the file.
        const QString message = error.localizedDescription();
        EXPECT_TRUE(message.contains(listPath) && message.contains(u"bad line"_qs)) << message.toStdString();
    }

    fake->add(u"text/plain"_qs, u"txt"_qs);
    fake->add(u"application/pdf"_qs, u"pdf"_qs);
    fake->add(u"inode/directory"_qs, QString());
    // An alias: the registry answers with its canonical name, the list keeps its own text.
    fake->described.insert(u"application/x-pdf"_qs, ContentTypeDescription{u"application/pdf"_qs, u"pdf"_qs});
    fake->add(u"application/x-compressed-tar"_qs, u".TAR.GZ"_qs);
    fake->list = "";
    fake->handlers = {{u"x-scheme-handler/https"_qs, u"browser.desktop"_qs},
                      {u"application/x-pdf"_qs, u"viewer.desktop"_qs},
                      {u"text/plain"_qs, std::nullopt},
                      {u"inode/directory"_qs, u"files.desktop"_qs},
                      {u"application/pdf"_qs, u"other.desktop"_qs},
                      {u"application/x-compressed-tar"_qs, u"ark.desktop"_qs}};
    EXPECT_EQ(
        client.loadRegisteredContentTypes(),
        (QList<RegisteredContentType>{{u"pdf"_qs, u"application/x-pdf"_qs, u"viewer.desktop"_qs},
                                      {u"tar.gz"_qs, u"application/x-compressed-tar"_qs, u"ark.desktop"_qs},
                                      {u"txt"_qs, u"text/plain"_qs, std::nullopt}}));

    // One preferred extension that the normaliser rejects loses the whole list.
    fake->add(u"application/x-odd"_qs, u"a b"_qs);
    fake->handlers.append({u"application/x-odd"_qs, u"odd.desktop"_qs});
    EXPECT_THROW(client.loadRegisteredContentTypes(), FileAssociationError);
}

TEST_F(WorkspaceClientTest, CandidatesHaveTheDefaultFirstAndEachAppOnceAndChangesRunInTheBackground)
{
    fake->add(u"application/pdf"_qs, u"pdf"_qs);
    const DesktopEntry viewer =
        entry(u"/usr/share/applications/viewer.desktop"_qs, u"viewer.desktop"_qs, u"문서 보기"_qs);
    const DesktopEntry editor =
        entry(u"/usr/share/applications/editor.desktop"_qs, u"editor.desktop"_qs, std::nullopt, u"Editor"_qs);
    // Listed twice, once through a path that standardises to the same file.
    const DesktopEntry editorAgain = entry(u"/usr/share/applications/../applications/editor.desktop"_qs,
                                           u"editor.desktop"_qs, u"Other name"_qs);
    fake->listed.insert(u"application/pdf"_qs, {editor, editorAgain, viewer});
    const AssociatedApp viewerApp(u"문서 보기"_qs, u"viewer.desktop"_qs, viewer.url);
    const AssociatedApp editorApp(u"Editor"_qs, u"editor.desktop"_qs, editor.url);

    fake->defaults.insert(u"application/pdf"_qs, viewer);
    EXPECT_EQ(client.loadAssociation(u" .PDF"_qs),
              FileAssociation(u"pdf"_qs, u"application/pdf"_qs, viewerApp, {viewerApp, editorApp}));

    // One listed application without an identifier loses the whole association.
    fake->listed[u"application/pdf"_qs].append(entry(u"/usr/share/applications/./broken app.desktop"_qs, {}));
    try {
        client.loadAssociation(u"pdf"_qs);
        ADD_FAILURE() << "loaded";
    } catch (const FileAssociationError &error) {
        EXPECT_EQ(error, FileAssociationError::appMissingBundleIdentifier(
                             u"/usr/share/applications/broken app.desktop"_qs));
    }

    // An empty name is a name; a change runs off the calling thread.
    const QUrl url = QUrl::fromLocalFile(u"/home/u/.local/share/applications/memo.desktop"_qs);
    fake->entries.insert(url, DesktopEntry{url, u"memo.desktop"_qs, QString(), u"Notes"_qs});
    EXPECT_EQ(client.app(url).name(), QString());
    test::waitForTask(client.setDefaultApplication(client.app(url), u"application/pdf"_qs));
    EXPECT_EQ(fake->requests, (QList<std::pair<QUrl, QString>>{{url, u"application/pdf"_qs}}));
    EXPECT_NE(fake->requestThread, QThread::currentThread());
}

} // namespace
