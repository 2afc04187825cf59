// The built halvora-cli as a child process, each test on a fresh isolated desktop tree,
// checked against what `gio mime` reports for the same tree.
#include "core/model/ModelJson.h"
#include "linux/store/SqliteKeyValueStore.h"
#include "support/TestIsolation.h"
#include "support/fixtures/GioMime.h"
#include "support/fixtures/StandardFixture.h"
#include "support/fixtures/XdgFixture.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

#include <functional>

#include <gtest/gtest.h>

#include <sys/stat.h>

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
struct Desktop {
    QTemporaryDir dir{test::isolatedRoot() + QStringLiteral("/desktop-XXXXXX")};
    XdgFixture fixture{dir.path()};
    // Variables of every later process, gio's included.
    QProcessEnvironment extra;

    Desktop()
    {
        fixture.addStandardContents();
        fixture.commit();
    }

    QString historyFile() const { return fixture.homeDir() + u"/.local/state/halvora/defaults.sqlite3"_qs; }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment environment = fixture.environment();
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        environment.remove(QStringLiteral("LANGUAGE"));
        environment.insert(extra);
        return environment;
    }

    // Standard input is an empty pipe, never a terminal; this process serves its events (the
    // notification bus) meanwhile. noFileMayGrow: a file size limit of zero whose signal is
    // ignored, so that every write to a file fails, as on a full disk.
    Outcome run(const QStringList &arguments, const QString &standardOutputFile = {},
                bool noFileMayGrow = false) const
    {
        QProcess process;
        process.setProcessEnvironment(environment());
        if (!standardOutputFile.isEmpty())
            process.setStandardOutputFile(standardOutputFile);
        const QString limit = noFileMayGrow ? u"ulimit -f 0; trap '' XFSZ; "_qs : QString();
        QEventLoop loop;
        QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
        process.start(u"/bin/sh"_qs,
                      QStringList{"-c", limit + u"exec \"$0\" \"$@\""_qs, HALVORA_CLI_PATH} + arguments);
        process.closeWriteChannel();
        loop.exec();
        const bool finished = process.exitStatus() == QProcess::NormalExit;
        EXPECT_TRUE(finished) << "halvora-cli " << arguments.join(u' ').toStdString() << " crashed";
        return {finished ? process.exitCode() : -1, QString::fromUtf8(process.readAllStandardOutput()),
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
        return test::queryGioMime(environment(), contentType).defaultApplication;
    }
};

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::optional<QString> currentId(const QJsonValue &association)
{
    const QJsonValue current = association[u"currentApp"];
    return current.isObject() ? std::optional(current[u"bundleIdentifier"].toString()) : std::nullopt;
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
    const QJsonArray list = desktop.runJson({"list", "--json"}).array();
    ASSERT_GT(list.size(), 20);

    // Each content type once: extensions that share a type would only repeat the question.
    QSet<QString> asked;
    for (const QJsonValue &value : list) {
        const QString type = value[u"contentTypeIdentifier"].toString();
        if (asked.contains(type))
            continue;
        asked.insert(type);
        const test::GioMimeAnswer gio = test::queryGioMime(desktop.environment(), type);
        EXPECT_EQ(currentId(value), gio.defaultApplication) << type.toStdString();
        QStringList expected = gio.registeredApplications;
        if (gio.defaultApplication) {
            expected.removeAll(*gio.defaultApplication);
            expected.prepend(*gio.defaultApplication);
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
    const Outcome table = desktop.run({"list", "--search", " PDF "});
    EXPECT_EQ(table.exitCode, 0) << table;
    EXPECT_TRUE(table.out.startsWith(QStringLiteral("확장자"))) << table;
    EXPECT_TRUE(table.out.contains(standard::documentViewerName)) << table;
    EXPECT_FALSE(table.out.contains(QStringLiteral(".txt"))) << table;
}

TEST(CliProcess, NothingChangesWithoutYesOnAPipeAndGioAgreesWithWhatDoes)
{
    const Desktop desktop;
    const QString pdf = QStringLiteral("application/pdf");
    const QString userList = desktop.fixture.mimeAppsListPath(XdgFixture::Scope::user);
    const QByteArray listBefore = fileBytes(userList);

    // Named by its file, the application is taken where it is no candidate; an extension
    // named twice is planned once.
    const QString entry = desktop.fixture.applicationsDir(XdgFixture::Scope::system) + u'/';
    for (const auto &[application, pdfRow] : {std::pair{standard::textEditor, "pdf=blocked"},
                                              std::pair{entry + standard::textEditor, "pdf=ready"}}) {
        const QJsonObject plan =
            desktop.runJson({"bulk", application, "md", "txt", "pdf", ".TXT", "--dry-run", "--json"})
                .object();
        QStringList rows;
        for (const QJsonValue &row : plan[u"rows"].toArray())
            rows.append(row[u"association"][u"fileExtension"].toString() + u'=' + row[u"status"].toString());
        EXPECT_EQ(rows, (QStringList{"md=skipped", "txt=ready", pdfRow}));
        EXPECT_FALSE(plan.contains(u"summary"));
    }
    const Outcome refused = desktop.run({"set", "pdf", standard::browser});
    EXPECT_EQ(refused.exitCode, 2) << refused;
    EXPECT_TRUE(refused.err.contains(QStringLiteral("--yes"))) << refused;
    // Neither touched the desktop, and reading a history that is not there created nothing.
    EXPECT_EQ(fileBytes(userList), listBefore);
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(desktop.historyFile()).path()));

    // A relative path that climbs above the root counts from the working directory first.
    const QJsonObject record =
        desktop
            .runJson({"set", "pdf", QStringLiteral("../").repeated(40) + entry.mid(1) + standard::browser,
                      "--yes", "--json"})
            .object();
    EXPECT_EQ(record[u"verificationStatus"].toString(), QStringLiteral("verified"));
    EXPECT_EQ(record[u"replacementApp"][u"url"].toString(),
              QUrl::fromLocalFile(entry + standard::browser).toString());
    EXPECT_EQ(desktop.gioDefault(pdf), standard::browser);
    EXPECT_EQ(desktop.runJson({"history", "--json"}).array(), QJsonArray{record});

    // A record is named by the beginning of its id, in any case.
    const Outcome undone = desktop.run({"undo", record[u"id"].toString().left(8).toLower()});
    EXPECT_EQ(undone.exitCode, 0) << undone;
    EXPECT_TRUE(undone.out.contains(QStringLiteral("되돌림 완료"))) << undone;
    EXPECT_EQ(desktop.gioDefault(pdf), standard::documentViewer);

    // More records than the history keeps, all later than now (a clock set back): a new
    // change is made, but said not to be kept.
    QList<AssociationChangeRecord> future;
    const AssociatedApp app(u"Notes"_qs, standard::notes, QUrl::fromLocalFile(entry));
    for (int i = 0; i < 60; ++i)
        future.append(AssociationChangeRecord(u"future-%1"_qs.arg(i), u"txt"_qs, u"text/plain"_qs, app, app,
                                              Timestamp(3e9 + i), AssociationVerificationStatus::verified,
                                              std::nullopt));
    SqliteKeyValueStore(desktop.historyFile()).write(u"associationChangeHistory"_qs, encodeJsonArray(future));
    const Outcome dropped = desktop.run({"set", "pdf", standard::browser, "--yes"});
    EXPECT_EQ(dropped.exitCode, 1) << dropped;
    EXPECT_TRUE(dropped.err.contains(QStringLiteral("기록에 남지 않았습니다"))) << dropped;
    EXPECT_TRUE(dropped.out.isEmpty()) << dropped;
    EXPECT_EQ(desktop.gioDefault(pdf), standard::browser);
}

TEST(CliProcess, ImportReproducesAnExportAndRefusesWhatItCannotApply)
{
    const Desktop source;
    const QString pdf = QStringLiteral("application/pdf");
    const QString jpeg = QStringLiteral("image/jpeg");
    test::setDefaultWithGioMime(source.environment(), pdf, standard::browser);
    test::setDefaultWithGioMime(source.environment(), QStringLiteral("text/plain"), standard::textEditor);
    const QString profile = source.dir.filePath(QStringLiteral("profile.json"));
    ASSERT_EQ(source.run({"export", profile}).exitCode, 0);

    const Desktop target;
    const QString written = target.dir.filePath("written.json");
    auto importing = [&](const QString &jpg, const QString &jpe, const QString &pdfApp) {
        writeFile(written, QStringLiteral(R"({"format": "halvora-profile", "version": 1,
            "defaults": {"jpg": "%1", "jpe": "%2", "pdf": "%3"}})")
                               .arg(jpg, jpe, pdfApp)
                               .toUtf8());
        return target.run({"import", written, "--yes", "--json"});
    };
    // Two applications for one content type: refused before any change.
    const Outcome conflict = importing(standard::documentViewer, standard::browser, standard::browser);
    EXPECT_EQ(conflict.exitCode, 2) << conflict;
    for (const QString &named :
         {QStringLiteral(".jpg(") + standard::documentViewer, QStringLiteral(".jpe(") + standard::browser})
        EXPECT_TRUE(conflict.err.contains(named)) << conflict;
    EXPECT_EQ(target.gioDefault(jpeg), standard::imageViewer);

    // The same application twice: the second row is planned against the first and skipped. An
    // application this machine lacks is shown as unknown and not applied.
    const Outcome partly =
        importing(standard::documentViewer, standard::documentViewer, u"org.example.Gone.desktop"_qs);
    EXPECT_EQ(partly.exitCode, 1) << partly;
    const QJsonObject summary = QJsonDocument::fromJson(partly.out.toUtf8())[u"summary"].toObject();
    EXPECT_EQ(summary[u"verifiedCount"].toInt(), 1) << partly;
    EXPECT_EQ(summary[u"skippedCount"].toInt(), 1) << partly;
    EXPECT_TRUE(partly.out.contains(QStringLiteral("알 수 없는 앱"))) << partly;
    EXPECT_EQ(target.gioDefault(jpeg), standard::documentViewer);

    EXPECT_EQ(target.run({"import", profile, "--dry-run"}).exitCode, 0);
    EXPECT_EQ(target.gioDefault(pdf), standard::documentViewer);

    const QJsonObject imported = target.runJson({"import", profile, "--yes", "--json"}).object();
    EXPECT_GE(imported[u"summary"][u"verifiedCount"].toInt(), 2);
    EXPECT_EQ(imported[u"summary"][u"failedCount"].toInt(), 0);
    EXPECT_EQ(target.gioDefault(pdf), standard::browser);
    EXPECT_EQ(target.gioDefault(QStringLiteral("text/plain")), standard::textEditor);
    // Every extension now has the same default on both machines (subtypes of the changed
    // types follow them).
    const QJsonArray targetList = target.runJson({"list", "--json"}).array();
    for (const QJsonValue &value : source.runJson({"list", "--json"}).array()) {
        const QString extension = value[u"fileExtension"].toString();
        EXPECT_EQ(currentId(findExtension(targetList, extension)), currentId(value))
            << extension.toStdString();
    }
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
    expectFailure({"undo"}, 1, QStringLiteral("되돌릴 최근 변경 사항이 없습니다."));
    expectFailure({"show", "tar/gz"}, 2, QStringLiteral("사용할 수 없는 확장자입니다"));
    expectFailure({"set", "pdf", "org.example.Nowhere", "--yes"}, 2, QStringLiteral("알 수 없는 앱입니다"));
    expectFailure({"set", "pdf", desktop.dir.filePath("missing/entry.desktop"), "--yes"}, 2,
                  QStringLiteral("데스크톱 파일을 찾을 수 없습니다"));
    expectFailure({"import", desktop.dir.filePath("missing.json"), "--yes"}, 2,
                  QStringLiteral("프로필 파일을 찾을 수 없습니다: ") + desktop.dir.filePath("missing.json"));
    expectFailure({"list", "--filter", "broken"}, 2, QStringLiteral("알 수 없는 필터입니다"));
    expectFailure({"undo", "no-such-record"}, 2,
                  QStringLiteral("변경 기록을 찾을 수 없습니다: no-such-record"));

    // A history whose stored text is damaged: nothing is changed that could not be recorded,
    // the damaged value is left as it was, and the plain list still shows with a warning.
    const QString unreadable = QStringLiteral("변경 이력을 읽을 수 없습니다");
    SqliteKeyValueStore(desktop.historyFile()).write(u"associationChangeHistory"_qs, "[{\"id\": 1");
    expectFailure({"set", "pdf", standard::browser, "--yes"}, 3, unreadable);
    expectFailure({"list", "--filter", "recentlyChanged"}, 3, unreadable);
    const Outcome listed = desktop.run({"list", "--json"});
    EXPECT_EQ(listed.exitCode, 0) << listed;
    EXPECT_GT(QJsonDocument::fromJson(listed.out.toUtf8()).array().size(), 20) << listed;
    EXPECT_TRUE(listed.err.contains(unreadable)) << listed;
    EXPECT_EQ(desktop.gioDefault(QStringLiteral("application/pdf")), standard::documentViewer);
    EXPECT_EQ(SqliteKeyValueStore(desktop.historyFile()).read(QStringLiteral("associationChangeHistory")),
              QByteArray("[{\"id\": 1"));
}

TEST(CliProcess, OutputsAreCheckedAndOnlyRegularFilesAreReplaced)
{
    const Desktop desktop;
    const QString profile = desktop.dir.filePath("profile.json");
    writeFile(profile, "old profile\n");
    const QString link = desktop.dir.filePath("link.json");
    ASSERT_TRUE(QFile::link(profile, link));
    // Whether the profile is replaced or not, no temporary is left beside it.
    const auto entries = [&] {
        return QDir(desktop.dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    };
    const QStringList before = entries();

    // Nothing can be written: the old profile stays byte for byte.
    const Outcome full = desktop.run({"export", profile}, {}, true);
    EXPECT_EQ(full.exitCode, 3) << full;
    EXPECT_TRUE(full.err.contains(QStringLiteral("프로필 파일을 쓸 수 없습니다"))) << full;
    EXPECT_EQ(fileBytes(profile), "old profile\n");
    EXPECT_EQ(entries(), before);

    // Through a symlink the file it names is replaced and the link stays.
    const Outcome linked = desktop.run({"export", link});
    EXPECT_EQ(linked.exitCode, 0) << linked;
    EXPECT_EQ(entries(), before);
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_TRUE(fileBytes(profile).contains(standard::notes.toUtf8())) << fileBytes(profile).constData();

    // A FIFO or a folder is never opened nor replaced.
    const QString fifo = desktop.dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ASSERT_TRUE(QDir().mkdir(desktop.dir.filePath("folder")));
    for (const QString &target : {fifo, desktop.dir.filePath("folder")}) {
        const Outcome refused = desktop.run({"export", target});
        EXPECT_EQ(refused.exitCode, 2) << refused;
        EXPECT_TRUE(refused.err.contains(QStringLiteral("일반 파일이 아닙니다"))) << refused;
    }
    EXPECT_TRUE(QFileInfo::exists(fifo) && !QFileInfo(fifo).isFile() && !QFileInfo(fifo).isSymLink());
    EXPECT_TRUE(QFileInfo(desktop.dir.filePath("folder")).isDir());

    // Standard output that takes nothing.
    for (const QStringList &arguments :
         {QStringList{"list", "--json"}, QStringList{"history", "--json"}, QStringList{"export", "-"}}) {
        const Outcome outcome = desktop.run(arguments, "/dev/full");
        EXPECT_EQ(outcome.exitCode, 3) << outcome;
        EXPECT_TRUE(outcome.err.contains(QStringLiteral("표준 출력에 쓸 수 없습니다"))) << outcome;
    }
}

// Stands in for the desktop's notification service, on a bus of its own that starts no
// services, so that no notification daemon of the machine can answer in its place.
class FakeNotifications final : public QDBusVirtualObject {
public:
    FakeNotifications()
    {
        const QString config = dir_.filePath(QStringLiteral("bus.conf"));
        writeFile(config, "<busconfig><type>session</type><listen>unix:tmpdir=" + dir_.path().toUtf8() +
                              "</listen><policy context=\"default\"><allow send_destination=\"*\" "
                              "eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/></policy>"
                              "</busconfig>");
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {"--config-file=" + config, "--nofork", "--print-address=1"});
        EXPECT_TRUE(daemon_.waitForReadyRead(60000)) << daemon_.readAllStandardError().toStdString();
        address = QString::fromUtf8(daemon_.readLine()).trimmed();
        QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("notifications"));
        EXPECT_TRUE(bus.registerService(QStringLiteral("org.freedesktop.Notifications")));
        EXPECT_TRUE(bus.registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"), this));
    }
    ~FakeNotifications() override
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("notifications"));
        daemon_.kill();
        daemon_.waitForFinished();
    }

    QString address;
    QList<QVariantList> calls;

    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        if (message.member() != u"Notify")
            return false;
        calls.append(message.arguments());
        connection.send(message.createReply(QVariant::fromValue(1u)));
        return true;
    }

private:
    QTemporaryDir dir_{test::isolatedRoot() + QStringLiteral("/bus-XXXXXX")};
    QProcess daemon_;
};

TEST(CliProcess, CheckNamesDefaultsTakenOverSinceAVerifiedChangeNotifiesAndRestoresThem)
{
    FakeNotifications notifications;
    const QString pdf = QStringLiteral("application/pdf");
    const QString newcomer = QStringLiteral("org.example.Newcomer.desktop");
    struct Case {
        const char *name;
        // What happens to the desktop after the user's verified change of pdf to the browser.
        std::function<void(Desktop &)> change;
        // A piece of "what decides now"; none: not a takeover.
        std::optional<QString> cause;
        QString takenBy = standard::documentViewer;
    };
    const QList<Case> cases{
        {"another program makes itself the default",
         [&](Desktop &d) { test::setDefaultWithGioMime(d.environment(), pdf, standard::documentViewer); },
         QStringLiteral("mimeapps.list")},
        {"a desktop-specific list names another application",
         [&](Desktop &d) {
             d.extra.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("KDE"));
             writeFile(d.fixture.configDir(XdgFixture::Scope::user) + QStringLiteral("/kde-mimeapps.list"),
                       "[Default Applications]\napplication/pdf=" + standard::documentViewer.toUtf8() + '\n');
         },
         QStringLiteral("kde-mimeapps.list")},
        {"the list is replaced and a new application claims the type",
         [&](Desktop &d) {
             writeFile(d.fixture.mimeAppsListPath(XdgFixture::Scope::user), "[Default Applications]\n");
             d.fixture.addDesktopEntry(XdgFixture::Scope::user, newcomer, QStringLiteral("Newcomer"), {pdf});
             d.fixture.updateMimeCaches();
         },
         QStringLiteral("첫 번째 호환 앱"), newcomer},
        {"the change was undone", [&](Desktop &d) { ASSERT_EQ(d.run({"undo"}).exitCode, 0); }, std::nullopt},
        {"a newer change failed",
         [&](Desktop &d) {
             test::setDefaultWithGioMime(d.environment(), pdf, standard::documentViewer);
             QJsonArray history = d.runJson({"history", "--json"}).array();
             QJsonObject failed = history.first().toObject();
             failed[u"id"] = QStringLiteral("F0000000-0000-0000-0000-000000000000");
             failed[u"changedAt"] = failed[u"changedAt"].toDouble() + 1;
             failed[u"verificationStatus"] = QStringLiteral("verificationFailed");
             history.prepend(failed);
             SqliteKeyValueStore(d.historyFile())
                 .write(QStringLiteral("associationChangeHistory"), QJsonDocument(history).toJson());
         },
         std::nullopt},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Desktop desktop;
        desktop.extra.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), notifications.address);
        ASSERT_EQ(desktop.run({"set", "pdf", standard::browser, "--yes"}).exitCode, 0);
        c.change(desktop);

        // The command waits for the notification's answer, which this process gives.
        const qsizetype notified = notifications.calls.size();
        const QJsonArray found = desktop.runJson({"check", "--json", "--notify"}, c.cause ? 1 : 0).array();
        ASSERT_EQ(found.size(), c.cause ? 1 : 0);
        ASSERT_EQ(notifications.calls.size(), notified + found.size());
        if (!c.cause)
            continue;
        EXPECT_TRUE(notifications.calls.last().at(4).toString().startsWith(QStringLiteral(".pdf: ")));
        const QJsonObject takeover = found.first().toObject();
        EXPECT_EQ(
            QStringList({takeover[u"fileExtension"].toString(), takeover[u"contentTypeIdentifier"].toString(),
                         takeover[u"chosenApp"][u"bundleIdentifier"].toString(),
                         takeover[u"currentApp"][u"bundleIdentifier"].toString(), *desktop.gioDefault(pdf)}),
            QStringList({u"pdf"_qs, pdf, standard::browser, c.takenBy, c.takenBy}));
        const QString cause = takeover[u"decidedBy"].toString();
        EXPECT_TRUE(cause.contains(*c.cause)) << cause.toStdString();
        EXPECT_TRUE(desktop.run({"check"}).out.contains(cause));

        const QJsonObject restored = desktop.runJson({"check", "--restore", "--yes", "--json"}).object();
        EXPECT_EQ(restored[u"summary"][u"verifiedCount"].toInt(), 1)
            << QJsonDocument(restored).toJson().data();
        EXPECT_EQ(desktop.gioDefault(pdf), standard::browser);
        const QJsonArray history = desktop.runJson({"history", "--json"}).array();
        ASSERT_EQ(history.size(), 2);
        EXPECT_EQ(history.first()[u"previousApp"][u"bundleIdentifier"].toString(), c.takenBy);
        EXPECT_EQ(desktop.run({"check"}).exitCode, 0);
    }
}
