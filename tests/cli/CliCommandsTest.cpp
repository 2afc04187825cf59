// The commands over the real service and state, with an in-memory system and store.
#include "FakeConsole.h"

#include "cli/Commands.h"
#include "core/history/InMemoryKeyValueStore.h"
#include "core/history/UserDefaultsAssociationChangeHistoryStore.h"
#include "core/model/FileAssociationError.h"
#include "core/service/FileAssociationService.h"
#include "support/doubles/InMemoryFileAssociationClient.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace halvora;
using namespace halvora::cli;
using halvora::test::InMemoryFileAssociationClient;

namespace {

AssociatedApp makeApp(const QString &name, const QString &id)
{
    return AssociatedApp(name, id, QUrl::fromLocalFile("/usr/share/applications/" + id));
}

const AssociatedApp editor = makeApp("Editor", "org.example.Editor.desktop");
const AssociatedApp viewer = makeApp("Viewer", "org.example.Viewer.desktop");
const AssociatedApp painter = makeApp("Painter", "org.example.Painter.desktop");

class FakeDirectory final : public ApplicationDirectory {
public:
    QList<AssociatedApp> installed{editor, viewer, painter};

    std::optional<AssociatedApp> applicationWithId(const QString &id) const override
    {
        for (const AssociatedApp &app : installed) {
            if (app.bundleIdentifier() == id)
                return app;
        }
        return std::nullopt;
    }
    // Any file named like an installed application's entry describes that application.
    AssociatedApp applicationAt(const QString &path) const override
    {
        for (const AssociatedApp &app : installed) {
            if (QFileInfo(path).fileName() == QFileInfo(app.url().toLocalFile()).fileName())
                return app;
        }
        throw FileAssociationError::appMissingBundleIdentifier(path);
    }
};

// The in-memory store, able to refuse every change while reads still work (a full disk).
class RefusableStore final : public KeyValueStore {
public:
    bool refusesWrites = false;

    std::optional<QByteArray> read(const QString &key) override { return held_.read(key); }
    void write(const QString &key, const QByteArray &value) override
    {
        transact([&](KeyValueAccess &a) { a.write(key, value); });
    }
    void remove(const QString &key) override
    {
        transact([&](KeyValueAccess &a) { a.remove(key); });
    }
    void transact(const std::function<void(KeyValueAccess &access)> &body) override
    {
        if (refusesWrites)
            throw LocalizedError("디스크가 가득 찼습니다.");
        held_.transact(body);
    }

private:
    InMemoryKeyValueStore held_;
};

// One machine: its desktop (in memory), its history store and a console.
struct Machine {
    InMemoryFileAssociationClient *client = nullptr;
    std::shared_ptr<RefusableStore> defaults = std::make_shared<RefusableStore>();
    std::shared_ptr<FileAssociationService> service;
    FakeDirectory directory;
    cli::test::FakeConsole console;

    Machine()
    {
        auto owned = std::make_unique<InMemoryFileAssociationClient>();
        client = owned.get();
        client->setAssociation(FileAssociation("md", "text/markdown", editor, {editor, viewer}));
        client->setAssociation(FileAssociation("pdf", "application/pdf", viewer, {viewer}));
        client->setAssociation(FileAssociation("txt", "text/plain", std::nullopt, {editor}));
        client->setAssociation(FileAssociation("png", "image/png", viewer, {viewer, painter}));
        auto store = std::make_shared<UserDefaultsAssociationChangeHistoryStore>(
            defaults, "associationChangeHistory", "recentAssociationChange", 50);
        service = std::make_shared<FileAssociationService>(std::move(owned), store,
                                                           ExtensionCatalog::defaultCatalog());
    }

    int run(const QStringList &arguments)
    {
        console.out.clear();
        console.err.clear();
        CliContext context{service, directory, ExtensionCatalog::defaultCatalog(), console};
        return runCli(arguments, context);
    }

    QJsonValue runJson(const QStringList &arguments, int expectedCode = 0)
    {
        EXPECT_EQ(run(arguments), expectedCode) << console.err.toStdString();
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(console.out.toUtf8(), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << console.out.toStdString();
        return document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
    }

    QString currentId(const QString &extension) const
    {
        const auto current = client->association(extension)->currentApp();
        return current ? current->bundleIdentifier() : QString();
    }
};

} // namespace

// The commands' own part: what reaches the service, the texts and the exit codes. The rules
// behind them (row plans, verification, undo) are the state's and service's tests.
TEST(CliCommands, PassWhatTheyAreGivenAndAnswerWithTextsAndExitCodes)
{
    Machine machine;
    EXPECT_EQ(machine.runJson({"list", "--json", "--search", " VIEWER "}).toArray().size(), 2); // pdf, png
    EXPECT_EQ(machine.runJson({"list", "--json", "--filter=missingDefaultApplication"})
                  .toArray()
                  .at(0)["fileExtension"],
              "txt");

    // A terminal that answers no: nothing is asked of the system.
    machine.console.terminal = true;
    machine.console.input = {"n"};
    EXPECT_EQ(machine.run({"set", "md", "org.example.Viewer"}), 1);
    EXPECT_TRUE(machine.console.err.contains(".md의 기본 앱을 Viewer(으)로 변경합니다."));
    EXPECT_TRUE(machine.client->defaultApplicationRequests().isEmpty());
    machine.console.terminal = false;
    EXPECT_EQ(machine.runJson(
                  {"set", " .MD", "org.example.Viewer.desktop", "--yes", "--json"})["verificationStatus"],
              "verified");
    EXPECT_EQ(machine.currentId("md"), viewer.bundleIdentifier());

    // A named application file counts as picked on disk; the missing previous default is pointed out.
    QTemporaryDir dir;
    QFile entry(dir.filePath("org.example.Painter.desktop"));
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
    entry.close();
    const QJsonObject applied =
        machine.runJson({"bulk", entry.fileName(), "txt", "--yes", "--json"}).toObject();
    EXPECT_EQ(applied["rows"][0]["status"], "ready");
    EXPECT_TRUE(applied["rows"][0]["note"].toString().contains("되돌리기"));
    EXPECT_EQ(machine.currentId("txt"), painter.bundleIdentifier());
    QString txtChange;
    for (const QJsonValue &record : machine.runJson({"history", "--json"}).toArray())
        txtChange = record["fileExtension"] == "txt" ? record["id"].toString() : txtChange;
    ASSERT_FALSE(txtChange.isEmpty());

    const struct {
        QStringList arguments;
        int code;
        QString out;
        QString err;
    } rows[] = {
        // md is a candidate, pdf already Viewer, txt not a candidate, md named twice.
        {{"bulk", "org.example.Viewer", "md", "pdf", "txt", ".MD", "--yes"},
         1,
         "검증 완료 0개, 실패 0개, 건너뜀 2개, 확인 필요 1개\n",
         {}},
        {{"bulk", "org.example.Viewer", "md", "zzz", "--yes"}, 2, {}, {}},
        {{"bulk", "./nowhere.desktop", "md", "--yes"}, 2, {}, {}},
        {{"undo", txtChange.left(8).toLower()}, 1, {}, ".txt의 현재 기본 앱이 없어"},
        {{"set", "md", "org.example.Editor", "--yes"},
         1,
         "검증 실패",
         FileAssociationService::verificationMismatchMessage},
    };
    // From here on the system accepts changes without making them.
    machine.client->setDefaultChangesTakeEffect(false);
    for (const auto &row : rows) {
        SCOPED_TRACE(row.arguments.join(u' ').toStdString());
        EXPECT_EQ(machine.run(row.arguments), row.code) << machine.console.err.toStdString();
        EXPECT_TRUE(machine.console.out.contains(row.out)) << machine.console.out.toStdString();
        EXPECT_TRUE(machine.console.err.contains(row.err)) << machine.console.err.toStdString();
    }
    machine.client->failRegisteredContentTypes(
        std::make_exception_ptr(LocalizedError("목록 파일이 망가졌습니다.")));
    EXPECT_EQ(machine.run({"list", "--json"}), 3);
    EXPECT_TRUE(machine.console.out.isEmpty());
    EXPECT_TRUE(machine.console.err.contains("목록 파일이 망가졌습니다."));
}

TEST(CliCommands, AChangeTheStoreCannotRecordIsReportedWithTheRealDefault)
{
    Machine machine;
    ASSERT_EQ(machine.run({"set", "md", "org.example.Viewer", "--yes"}), 0);
    machine.defaults->refusesWrites = true;
    const struct {
        QStringList arguments;
        AssociatedApp shownAfter;
    } cases[] = {
        {{"undo"}, editor},
        {{"bulk", "org.example.Viewer", "md", "--yes"}, viewer},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        EXPECT_EQ(machine.run(c.arguments), 3);
        EXPECT_TRUE(machine.console.err.contains(
            "기본 앱은 바뀌었을 수 있지만 변경 기록을 저장하지 못했습니다: 디스크가 가득 찼습니다."))
            << machine.console.err.toStdString();
        EXPECT_EQ(machine.currentId("md"), c.shownAfter.bundleIdentifier());
    }
    EXPECT_TRUE(machine.console.out.contains(
        "확인 필요 0개\n기본 앱은 바뀌었을 수 있지만 변경 기록을 저장하지 못했습니다 (1개)"));
    machine.defaults->refusesWrites = false;
    EXPECT_EQ(machine.runJson({"history", "--json"}).toArray().size(), 1);
}
