// The console, and the commands over the real service and state for the outcomes the built
// program cannot be brought to on a real desktop: a system that does not take a change, a list
// it cannot read, a history store that refuses to record, a terminal that answers no.
#include "cli/Commands.h"
#include "core/history/InMemoryKeyValueStore.h"
#include "core/history/UserDefaultsAssociationChangeHistoryStore.h"
#include "core/model/FileAssociationError.h"
#include "core/service/FileAssociationService.h"
#include "support/doubles/InMemoryFileAssociationClient.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

using namespace halvora;
using namespace halvora::cli;

namespace {

// A terminal whose input is a scripted list of lines and whose output is collected.
struct FakeConsole final : Console {
    QString out;
    QString err;
    QStringList input;

    void writeOut(const QString &text) override { out += text; }
    void writeErr(const QString &text) override { err += text; }
    std::optional<QString> readLine() override
    {
        return input.isEmpty() ? std::nullopt : std::optional(input.takeFirst());
    }
    bool inputIsTerminal() const override { return true; }
    bool outputUsesColour() const override { return false; }
    bool errorsUseColour() const override { return false; }
};

const AssociatedApp editor(u"Editor"_qs, u"org.example.Editor.desktop"_qs, QUrl::fromLocalFile("/e"));
const AssociatedApp viewer(u"Viewer"_qs, u"org.example.Viewer.desktop"_qs, QUrl::fromLocalFile("/v"));

// Knows Editor, and takes any other name for Viewer.
struct Directory final : ApplicationDirectory {
    std::optional<AssociatedApp> applicationWithId(const QString &id) const override
    {
        return id == editor.bundleIdentifier() ? editor : viewer;
    }
    AssociatedApp applicationAt(const QString &path) const override
    {
        throw FileAssociationError::appMissingBundleIdentifier(path);
    }
};

// The in-memory store, able to refuse every change while reads still work (a full disk).
// The history changes only through transactions.
struct RefusableStore final : KeyValueStore {
    InMemoryKeyValueStore held;
    bool refusesWrites = false;

    std::optional<QByteArray> read(const QString &key) override { return held.read(key); }
    void write(const QString &key, const QByteArray &value) override { held.write(key, value); }
    void remove(const QString &key) override { held.remove(key); }
    void transact(const std::function<void(KeyValueAccess &access)> &body) override
    {
        if (refusesWrites)
            throw LocalizedError("디스크가 가득 찼습니다.");
        held.transact(body);
    }
};

// One machine whose only extension, md, has Editor as its default and Viewer as another candidate.
struct Machine {
    std::unique_ptr<halvora::test::InMemoryFileAssociationClient> owned =
        std::make_unique<halvora::test::InMemoryFileAssociationClient>();
    halvora::test::InMemoryFileAssociationClient *client = owned.get();
    std::shared_ptr<RefusableStore> defaults = std::make_shared<RefusableStore>();
    std::shared_ptr<FileAssociationService> service = std::make_shared<FileAssociationService>(
        std::move(owned),
        std::make_shared<UserDefaultsAssociationChangeHistoryStore>(defaults, "associationChangeHistory",
                                                                    "recentAssociationChange", 50),
        ExtensionCatalog::defaultCatalog());
    Directory directory;
    FakeConsole console;
    CliContext context{service, directory, ExtensionCatalog::defaultCatalog(), console};
    QString recordId; // stands for "<id>" in the arguments

    Machine() { client->setAssociation(FileAssociation("md", "text/markdown", editor, {editor, viewer})); }
    int run(QStringList args) { return runCli(args.replaceInStrings(u"<id>"_qs, recordId), context); }
};

} // namespace

TEST(CliConsole, ColourAndConfirmationFollowTheTerminal)
{
    EXPECT_TRUE(colourAllowed(true, false, "xterm-256color"));
    EXPECT_FALSE(colourAllowed(false, false, "xterm"));
    EXPECT_FALSE(colourAllowed(true, true, "xterm"));
    EXPECT_FALSE(colourAllowed(true, false, "dumb"));

    // A pipe that cannot confirm is the process test's refused set.
    FakeConsole terminal;
    terminal.input = {" 예 ", "yess"};
    EXPECT_TRUE(confirm(terminal, "바꿀까요?", false));
    EXPECT_FALSE(confirm(terminal, "바꿀까요?", false));
    EXPECT_FALSE(confirm(terminal, "바꿀까요?", false)); // end of input
    EXPECT_TRUE(terminal.err.contains("[y/N]"));
}

TEST(CliCommands, OutcomesOnlyADoubleCanCauseGiveTheirExitCodeAndMessage)
{
    const auto answersNo = [](Machine &m) { m.console.input = {"n"}; };
    const auto cannotList = [](Machine &m) {
        m.client->failRegisteredContentTypes(std::make_exception_ptr(LocalizedError("목록이 망가졌습니다.")));
    };
    const auto takesNoChange = [](Machine &m) { m.client->setDefaultChangesTakeEffect(false); };
    // A change made while md had no default has nothing to go back to.
    const auto changedFromNone = [](Machine &m) {
        m.client->setAssociation(FileAssociation("md", "text/markdown", std::nullopt, {editor, viewer}));
        ASSERT_EQ(m.run({"set", "md", "org.example.Editor", "--yes", "--json"}), 0);
        m.recordId = QJsonDocument::fromJson(m.console.out.toUtf8())["id"].toString();
        m.console.out.clear();
    };
    // The first change is recorded, later ones are not.
    const auto refusesAfterAChange = [](Machine &m) {
        ASSERT_EQ(m.run({"set", "md", "org.example.Viewer", "--yes"}), 0);
        m.defaults->refusesWrites = true;
        m.console.out.clear();
    };
    const QString notRecorded = u"기본 앱은 바뀌었을 수 있지만 변경 기록을 저장하지 못했습니다"_qs;
    const QString full = notRecorded + u": 디스크가 가득 찼습니다."_qs;
    const QString &verificationMismatch = FileAssociationService::verificationMismatchMessage;
    const struct {
        std::function<void(Machine &)> before;
        QStringList arguments;
        int code;
        QString out;
        QString err;
    } rows[] = {
        {answersNo, {"set", "md", "org.example.Viewer"}, 1, {}, ".md의 기본 앱을 Viewer(으)로 변경합니다."},
        {takesNoChange, {"set", "md", "org.example.Viewer", "--yes"}, 1, "검증 실패", verificationMismatch},
        {takesNoChange, {"bulk", "org.example.Viewer", "md", "--yes"}, 1, "실패 1개", {}},
        {cannotList, {"list", "--json"}, 3, {}, "목록이 망가졌습니다."},
        {changedFromNone, {"undo", "<id>"}, 1, {}, ".md의 현재 기본 앱이 없어"},
        {refusesAfterAChange, {"undo"}, 3, {}, full},
        {refusesAfterAChange, {"bulk", "org.example.Editor", "md", "--yes"}, 3, notRecorded + " (1개)", full},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.arguments.join(u' ').toStdString());
        Machine machine;
        row.before(machine);
        EXPECT_EQ(machine.run(row.arguments), row.code) << machine.console.err.toStdString();
        EXPECT_EQ(machine.console.out.isEmpty(), row.out.isEmpty()) << machine.console.out.toStdString();
        EXPECT_TRUE(machine.console.out.contains(row.out)) << machine.console.out.toStdString();
        EXPECT_TRUE(machine.console.err.contains(row.err)) << machine.console.err.toStdString();
        // Left as it was, or (after a refused record) changed back as asked.
        EXPECT_EQ(machine.client->association("md")->currentApp()->bundleIdentifier(),
                  editor.bundleIdentifier());
    }
}

TEST(CliCommands, BadUsageEndsWithExitCodeTwo)
{
    // Everything the commands cannot run, including what they cannot be given.
    for (const char *line : {"", "frobnicate", "--frobnicate", "list --yes", "list --search", "list --json=1",
                             "list --search a --search b", "show", "show md txt", "set md",
                             "bulk app.desktop", "help frobnicate"})
        EXPECT_EQ(Machine().run(QString::fromUtf8(line).split(' ', Qt::SkipEmptyParts)), 2) << line;
}
