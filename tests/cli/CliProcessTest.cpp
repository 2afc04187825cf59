// The built halvora-cli as a child process, each test on a fresh isolated desktop tree,
// checked against what `gio mime` reports for the same tree.
#include "linux/store/SqliteKeyValueStore.h"
#include "support/TestIsolation.h"
#include "support/fixtures/GioMime.h"
#include "support/fixtures/StandardFixture.h"
#include "support/fixtures/XdgFixture.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace halvora;
using halvora::test::XdgFixture;
namespace standard = halvora::test::standard;

namespace {

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
};

std::ostream &operator<<(std::ostream &stream, const Outcome &outcome)
{
    return stream << "exit " << outcome.exitCode << "\nstdout: " << outcome.out.toStdString()
                  << "\nstderr: " << outcome.err.toStdString();
}

// One machine: a standard desktop tree of its own, with its own history file.
class Desktop {
public:
    Desktop() : dir_(test::isolatedRoot() + QStringLiteral("/desktop-XXXXXX")), fixture_(dir_.path())
    {
        fixture_.addStandardContents();
        fixture_.commit();
    }

    const XdgFixture &fixture() const { return fixture_; }
    QString path(const QString &name) const { return dir_.filePath(name); }
    QString historyFile() const
    {
        return fixture_.homeDir() + QStringLiteral("/.local/state/halvora/defaults.sqlite3");
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment environment = fixture_.environment();
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        environment.remove(QStringLiteral("LANGUAGE"));
        return environment;
    }

    // Standard input is an empty pipe, never a terminal. Generous limits: the machine
    // running the tests may be busy.
    Outcome run(const QStringList &arguments) const
    {
        QProcess process;
        process.setProcessEnvironment(environment());
        process.start(QStringLiteral(HALVORA_CLI_PATH), arguments);
        process.closeWriteChannel();
        if (!process.waitForFinished(180000) || process.exitStatus() != QProcess::NormalExit) {
            process.kill();
            process.waitForFinished();
            ADD_FAILURE() << "halvora-cli " << arguments.join(u' ').toStdString() << " did not finish";
            return {};
        }
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    QJsonDocument runJson(const QStringList &arguments, int expectedCode = 0) const
    {
        const Outcome outcome = run(arguments);
        EXPECT_EQ(outcome.exitCode, expectedCode) << outcome;
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(outcome.out.toUtf8(), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << outcome;
        return document;
    }

    std::optional<QString> gioDefault(const QString &contentType) const
    {
        return test::queryGioMime(fixture_.environment(), contentType).defaultApplication;
    }

private:
    QTemporaryDir dir_;
    XdgFixture fixture_;
};

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::optional<QString> currentId(const QJsonObject &association)
{
    const QJsonValue current = association.value(u"currentApp");
    if (!current.isObject())
        return std::nullopt;
    return current[u"bundleIdentifier"].toString();
}

QJsonObject findExtension(const QJsonArray &associations, const QString &extension)
{
    for (const QJsonValue &value : associations) {
        if (value[u"fileExtension"].toString() == extension)
            return value.toObject();
    }
    return {};
}

} // namespace

TEST(CliProcess, ListJsonAgreesWithGioMimeForEveryType)
{
    const Desktop desktop;
    const Outcome outcome = desktop.run({"list", "--json"});
    ASSERT_EQ(outcome.exitCode, 0) << outcome;
    EXPECT_TRUE(outcome.err.isEmpty()) << outcome;
    const QJsonArray list = QJsonDocument::fromJson(outcome.out.toUtf8()).array();
    ASSERT_GT(list.size(), 20) << outcome;

    // Each content type once: extensions that share a type would only repeat the question.
    QSet<QString> asked;
    for (const QJsonValue &value : list) {
        const QString type = value[u"contentTypeIdentifier"].toString();
        if (asked.contains(type))
            continue;
        asked.insert(type);
        const test::GioMimeAnswer gio = test::queryGioMime(desktop.fixture().environment(), type);
        EXPECT_EQ(currentId(value.toObject()), gio.defaultApplication) << type.toStdString();
        QStringList expected;
        if (gio.defaultApplication)
            expected.append(*gio.defaultApplication);
        for (const QString &id : gio.registeredApplications) {
            if (!expected.contains(id))
                expected.append(id);
        }
        QStringList candidates;
        for (const QJsonValue &app : value[u"candidateApps"].toArray())
            candidates.append(app[u"bundleIdentifier"].toString());
        EXPECT_EQ(candidates, expected) << type.toStdString();
    }
    // Agreement on something the tree sets, not only on empty answers.
    EXPECT_EQ(currentId(findExtension(list, "txt")), standard::notes);

    // One extension shown on its own is the same object as in the list.
    EXPECT_EQ(desktop.runJson({"show", ".PDF", "--json"}).object(), findExtension(list, "pdf"));
    const Outcome table = desktop.run({"list", "--search", "pdf"});
    EXPECT_EQ(table.exitCode, 0) << table;
    EXPECT_TRUE(table.out.startsWith(QStringLiteral("확장자"))) << table;
    EXPECT_TRUE(table.out.contains(standard::documentViewerName)) << table;
}

TEST(CliProcess, SetAppliesOnlyWithYesOnAPipeAndGioAgrees)
{
    const Desktop desktop;
    const QString pdf = QStringLiteral("application/pdf");

    const Outcome refused = desktop.run({"set", "pdf", standard::browser});
    EXPECT_EQ(refused.exitCode, 2) << refused;
    EXPECT_TRUE(refused.err.contains(QStringLiteral("--yes"))) << refused;
    EXPECT_TRUE(refused.out.isEmpty()) << refused;
    EXPECT_EQ(desktop.gioDefault(pdf), standard::documentViewer);
    EXPECT_EQ(desktop.runJson({"history", "--json"}).array(), QJsonArray());

    const QJsonObject record =
        desktop.runJson({"set", "pdf", "org.example.Browser", "--yes", "--json"}).object();
    EXPECT_EQ(record[u"verificationStatus"].toString(), QStringLiteral("verified"));
    EXPECT_EQ(record[u"previousApp"][u"bundleIdentifier"].toString(), standard::documentViewer);
    EXPECT_EQ(record[u"replacementApp"][u"bundleIdentifier"].toString(), standard::browser);
    EXPECT_EQ(desktop.gioDefault(pdf), standard::browser);
    EXPECT_EQ(desktop.runJson({"history", "--json"}).array(), QJsonArray{record});

    // A change gio makes behind our back is what the next command sees.
    test::setDefaultWithGioMime(desktop.fixture().environment(), pdf, standard::documentViewer);
    EXPECT_EQ(currentId(desktop.runJson({"show", "pdf", "--json"}).object()), standard::documentViewer);

    const Outcome undone = desktop.run({"undo", record[u"id"].toString().left(8)});
    EXPECT_EQ(undone.exitCode, 0) << undone;
    EXPECT_TRUE(undone.out.contains(QStringLiteral("되돌림 완료"))) << undone;
    EXPECT_EQ(desktop.gioDefault(pdf), standard::documentViewer);
    // Nothing is left to undo.
    const Outcome nothing = desktop.run({"undo"});
    EXPECT_EQ(nothing.exitCode, 1) << nothing;
    EXPECT_TRUE(nothing.err.contains(QStringLiteral("되돌릴 최근 변경 사항이 없습니다."))) << nothing;
}

TEST(CliProcess, BulkDryRunPlansWithoutChangingAnything)
{
    const Desktop desktop;
    const QString userList = desktop.fixture().mimeAppsListPath(XdgFixture::Scope::user);
    const QByteArray listBefore = fileBytes(userList);

    const QJsonObject plan =
        desktop.runJson({"bulk", standard::textEditor, "md", "txt", "pdf", "--dry-run", "--json"}).object();
    QStringList statuses;
    for (const QJsonValue &row : plan[u"rows"].toArray())
        statuses.append(row[u"association"][u"fileExtension"].toString() + u'=' + row[u"status"].toString());
    EXPECT_EQ(statuses, (QStringList{"md=skipped", "txt=ready", "pdf=blocked"}));
    EXPECT_FALSE(plan.contains(u"summary"));

    EXPECT_EQ(fileBytes(userList), listBefore);
    EXPECT_EQ(desktop.gioDefault(QStringLiteral("text/plain")), standard::notes);
    EXPECT_EQ(desktop.runJson({"history", "--json"}).array(), QJsonArray());
}

TEST(CliProcess, ExportThenImportOnAnotherMachineReproducesTheDefaults)
{
    const Desktop source;
    test::setDefaultWithGioMime(source.fixture().environment(), QStringLiteral("application/pdf"),
                                standard::browser);
    test::setDefaultWithGioMime(source.fixture().environment(), QStringLiteral("text/plain"),
                                standard::textEditor);
    const QString profile = source.path(QStringLiteral("profile.json"));
    const Outcome exported = source.run({"export", profile});
    ASSERT_EQ(exported.exitCode, 0) << exported;
    EXPECT_TRUE(exported.out.isEmpty()) << exported;

    const Desktop target;
    const Outcome dryRun = target.run({"import", profile, "--dry-run"});
    EXPECT_EQ(dryRun.exitCode, 0) << dryRun;
    EXPECT_EQ(target.gioDefault(QStringLiteral("application/pdf")), standard::documentViewer);

    const QJsonObject imported = target.runJson({"import", profile, "--yes", "--json"}).object();
    EXPECT_GE(imported[u"summary"][u"verifiedCount"].toInt(), 2);
    EXPECT_EQ(imported[u"summary"][u"failedCount"].toInt(), 0);
    EXPECT_EQ(target.gioDefault(QStringLiteral("application/pdf")), standard::browser);
    EXPECT_EQ(target.gioDefault(QStringLiteral("text/plain")), standard::textEditor);
    // Every extension now has the same default on both machines (subtypes of the changed
    // types follow them), and importing again changes nothing.
    const QJsonArray sourceList = source.runJson({"list", "--json"}).array();
    const QJsonArray targetList = target.runJson({"list", "--json"}).array();
    for (const QJsonValue &value : sourceList) {
        const QString extension = value[u"fileExtension"].toString();
        EXPECT_EQ(currentId(findExtension(targetList, extension)), currentId(value.toObject()))
            << extension.toStdString();
    }
    const QJsonObject repeated = target.runJson({"import", profile, "--yes", "--json"}).object();
    EXPECT_EQ(repeated[u"summary"][u"verifiedCount"].toInt(), 0);
}

TEST(CliProcess, BadInputAndBrokenStoresGiveTheirExitCodeAndAKoreanMessage)
{
    const Desktop desktop;
    const auto expectFailure = [&](const QStringList &arguments, int code, const QString &message) {
        const Outcome outcome = desktop.run(arguments);
        EXPECT_EQ(outcome.exitCode, code) << outcome;
        EXPECT_TRUE(outcome.out.isEmpty()) << outcome;
        EXPECT_TRUE(outcome.err.startsWith(QStringLiteral("halvora-cli: "))) << outcome;
        EXPECT_TRUE(outcome.err.contains(message)) << outcome;
    };
    expectFailure({"show", "tar/gz"}, 2, QStringLiteral("사용할 수 없는 확장자입니다"));
    expectFailure({"set", "pdf", "org.example.Nowhere", "--yes"}, 2, QStringLiteral("알 수 없는 앱입니다"));
    expectFailure({"set", "pdf", desktop.path("missing/entry.desktop"), "--yes"}, 2,
                  QStringLiteral("데스크톱 파일을 찾을 수 없습니다"));
    expectFailure({"import", desktop.path("missing.json"), "--yes"}, 2,
                  QStringLiteral("프로필 파일을 찾을 수 없습니다"));
    expectFailure({"list", "--filter", "broken"}, 2, QStringLiteral("알 수 없는 필터입니다"));
    expectFailure({"undo", "no-such-record"}, 2,
                  QStringLiteral("변경 기록을 찾을 수 없습니다: no-such-record"));

    // A profile that names an application this machine lacks: planned as unknown, not applied.
    const QString profile = desktop.path("foreign.json");
    QFile foreign(profile);
    ASSERT_TRUE(foreign.open(QIODevice::WriteOnly));
    foreign.write(
        R"({"format": "halvora-profile", "version": 1, "defaults": {"pdf": "org.example.Gone.desktop"}})");
    foreign.close();
    const Outcome unknown = desktop.run({"import", profile, "--yes"});
    EXPECT_EQ(unknown.exitCode, 1) << unknown;
    EXPECT_TRUE(unknown.out.contains(QStringLiteral("알 수 없는 앱"))) << unknown;
    EXPECT_EQ(desktop.gioDefault(QStringLiteral("application/pdf")), standard::documentViewer);

    // A history whose stored text is damaged: nothing is changed that could not be recorded,
    // and the damaged value is left as it was.
    {
        SqliteKeyValueStore store(desktop.historyFile());
        store.write(QStringLiteral("associationChangeHistory"), QByteArray("[{\"id\": 1"));
    }
    expectFailure({"history"}, 3, QStringLiteral("변경 이력을 읽을 수 없습니다"));
    expectFailure({"set", "pdf", standard::browser, "--yes"}, 3,
                  QStringLiteral("변경 이력을 읽을 수 없습니다"));
    expectFailure({"bulk", standard::browser, "pdf", "--yes"}, 3,
                  QStringLiteral("변경 이력을 읽을 수 없습니다"));
    EXPECT_EQ(desktop.gioDefault(QStringLiteral("application/pdf")), standard::documentViewer);
    EXPECT_EQ(SqliteKeyValueStore(desktop.historyFile()).read(QStringLiteral("associationChangeHistory")),
              QByteArray("[{\"id\": 1"));

    // A history file that is not a database at all.
    for (const char *suffix : {"", "-wal", "-shm"})
        QFile::remove(desktop.historyFile() + QLatin1String(suffix));
    QFile garbage(desktop.historyFile());
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray(4096, 'x'));
    garbage.close();
    expectFailure({"undo"}, 3, QStringLiteral("변경 이력을 읽을 수 없습니다"));
    EXPECT_EQ(fileBytes(desktop.historyFile()), QByteArray(4096, 'x'));
}
