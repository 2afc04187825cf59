// The built halvora-cli as a child process, each test on a fresh isolated desktop tree,
// checked against what `gio mime` reports for the same tree.
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
#include <QTemporaryDir>

#include <functional>
#include <set>

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

// Checks the exit code and a piece of what was printed, on either stream.
Outcome expect(const Outcome &outcome, int code, const QString &printed)
{
    EXPECT_EQ(outcome.exitCode, code) << outcome;
    EXPECT_TRUE((outcome.out + outcome.err).contains(printed)) << outcome;
    return outcome;
}

// One machine: a standard desktop tree of its own, with its own history file.
struct Desktop {
    QTemporaryDir dir{test::isolatedRoot() + u"/desktop-XXXXXX"_qs};
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
        environment.insert(u"LC_ALL"_qs, u"C.UTF-8"_qs);
        environment.remove(u"LANGUAGE"_qs);
        environment.insert(extra);
        return environment;
    }

    // Standard input is a pipe holding "y", never a terminal, so never a confirmation; this
    // process serves its events (the notification bus) meanwhile. noFileMayGrow: a file size
    // limit of zero whose signal is ignored, so that every write to a file fails, as on a full disk.
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
        process.write("y\n");
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
        const QJsonDocument document = QJsonDocument::fromJson(outcome.out.toUtf8());
        EXPECT_FALSE(document.isNull()) << outcome;
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

// The default application's ID of each listed extension ("" for none).
QMap<QString, QString> defaultsOf(const QJsonDocument &list)
{
    QMap<QString, QString> defaults;
    for (const QJsonValue &value : list.array())
        defaults.insert(value[u"fileExtension"].toString(),
                        value[u"currentApp"][u"bundleIdentifier"].toString());
    return defaults;
}

} // namespace

TEST(CliProcess, ListJsonAgreesWithGioMimeForEveryType)
{
    const Desktop desktop;
    const QJsonArray list = desktop.runJson({"list", "--json"}).array();
    ASSERT_GT(list.size(), 20);

    // Each content type once: extensions that share a type would only repeat the question.
    std::set<QString> asked;
    for (const QJsonValue &value : list) {
        const QString type = value[u"contentTypeIdentifier"].toString();
        if (!asked.insert(type).second)
            continue;
        const test::GioMimeAnswer gio = test::queryGioMime(desktop.environment(), type);
        EXPECT_EQ(value[u"currentApp"][u"bundleIdentifier"].toString(), gio.defaultApplication.value_or(""))
            << type.toStdString();
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
    // One extension shown on its own is the same object as in the list, and the agreement is on
    // something the tree sets, not only on empty answers.
    const QJsonObject shown = desktop.runJson({"show", ".TXT", "--json"}).object();
    EXPECT_TRUE(list.contains(shown));
    EXPECT_EQ(shown[u"currentApp"][u"bundleIdentifier"].toString(), standard::notes);
    const Outcome table = expect(desktop.run({"list", "--search", " PDF "}), 0, standard::documentViewerName);
    EXPECT_TRUE(table.out.startsWith(u"확장자"_qs) && !table.out.contains(u".txt"_qs)) << table;
}

TEST(CliProcess, NothingChangesWithoutYesOnAPipeAndGioAgreesWithWhatDoes)
{
    const Desktop desktop;
    const QString pdf = u"application/pdf"_qs;
    const QString userList = desktop.fixture.mimeAppsListPath(XdgFixture::Scope::user);
    const QByteArray listBefore = fileBytes(userList);

    // Named by its file, the application is taken where it is no candidate (a relative path
    // that climbs above the root counts from the working directory first); an extension named
    // twice is planned once.
    const QString entry = desktop.fixture.applicationsDir(XdgFixture::Scope::system) + u'/';
    for (const auto &[application, pdfRow] :
         {std::pair{standard::textEditor, "pdf=blocked"},
          std::pair{u"../"_qs.repeated(40) + entry.mid(1) + standard::textEditor, "pdf=ready"}}) {
        QStringList rows;
        for (const QJsonValue &row :
             desktop
                 .runJson({"bulk", application, "md", "txt", "pdf", ".TXT", "--dry-run", "--json"})[u"rows"]
                 .toArray())
            rows.append(row[u"association"][u"fileExtension"].toString() + u'=' + row[u"status"].toString());
        EXPECT_EQ(rows, (QStringList{"md=skipped", "txt=ready", pdfRow}));
    }
    expect(desktop.run({"set", "pdf", standard::browser}), 2, u"--yes"_qs);
    // Neither touched the desktop, and reading a history that is not there created nothing.
    EXPECT_EQ(fileBytes(userList), listBefore);
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(desktop.historyFile()).path()));

    // Exit 0 only when verified.
    const QJsonObject record = desktop.runJson({"set", "pdf", standard::browser, "--yes", "--json"}).object();
    EXPECT_EQ(desktop.gioDefault(pdf), standard::browser);

    // A record is named by the beginning of its id, in any case.
    expect(desktop.run({"undo", record[u"id"].toString().left(8).toLower()}), 0, u"되돌림 완료"_qs);
    EXPECT_EQ(desktop.gioDefault(pdf), standard::documentViewer);

    // More records than the history keeps, all later than now (a clock set back): a new
    // change is made, but said not to be kept.
    QJsonArray future;
    for (int i = 0; i < 60; ++i) {
        QJsonObject later = record;
        later[u"id"] = u"future-%1"_qs.arg(i);
        later[u"changedAt"] = 3e9 + i;
        future.append(later);
    }
    SqliteKeyValueStore(desktop.historyFile())
        .write(u"associationChangeHistory"_qs, QJsonDocument(future).toJson());
    EXPECT_TRUE(
        expect(desktop.run({"set", "pdf", standard::browser, "--yes"}), 1, u"기록에 남지 않았습니다"_qs)
            .out.isEmpty());
    EXPECT_EQ(desktop.gioDefault(pdf), standard::browser);
}

TEST(CliProcess, ImportReproducesAnExportAndRefusesWhatItCannotApply)
{
    const Desktop source;
    const QString pdf = u"application/pdf"_qs;
    const QString jpeg = u"image/jpeg"_qs;
    test::setDefaultWithGioMime(source.environment(), pdf, standard::browser);
    test::setDefaultWithGioMime(source.environment(), u"text/plain"_qs, standard::textEditor);
    const QString profile = source.dir.filePath(u"profile.json"_qs);
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
    const Outcome conflict = expect(importing(standard::documentViewer, standard::browser, standard::browser),
                                    2, u".jpg("_qs + standard::documentViewer);
    EXPECT_TRUE(conflict.err.contains(u".jpe("_qs + standard::browser)) << conflict;
    EXPECT_EQ(target.gioDefault(jpeg), standard::imageViewer);

    // The same application twice: the second row is planned against the first and skipped. An
    // application this machine lacks is shown as unknown and not applied.
    const Outcome partly =
        expect(importing(standard::documentViewer, standard::documentViewer, u"org.example.Gone.desktop"_qs),
               1, u"알 수 없는 앱"_qs);
    EXPECT_EQ(QJsonDocument::fromJson(partly.out.toUtf8())[u"summary"][u"skippedCount"].toInt(), 1) << partly;
    EXPECT_EQ(target.gioDefault(jpeg), standard::documentViewer);

    EXPECT_EQ(target.run({"import", profile, "--dry-run"}).exitCode, 0);
    EXPECT_EQ(target.gioDefault(pdf), standard::documentViewer);

    // A failure would end with exit 1.
    target.runJson({"import", profile, "--yes", "--json"});
    EXPECT_EQ(target.gioDefault(pdf), standard::browser);
    // Every extension now has the same default on both machines (subtypes of the changed
    // types follow them).
    const QMap<QString, QString> targetDefaults = defaultsOf(target.runJson({"list", "--json"}));
    for (const auto &[extension, app] : defaultsOf(source.runJson({"list", "--json"})).asKeyValueRange())
        EXPECT_EQ(targetDefaults.value(extension), app) << extension.toStdString();
}

TEST(CliProcess, BadInputHostileOutputsAndBrokenStoresGiveTheirExitCodeAndAKoreanMessage)
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
    expect(desktop.run({"export", profile}, {}, true), 3, u"프로필 파일을 쓸 수 없습니다"_qs);
    EXPECT_EQ(fileBytes(profile), "old profile\n");
    EXPECT_EQ(entries(), before);

    // Through a symlink the file it names is replaced and the link stays.
    EXPECT_EQ(desktop.run({"export", link}).exitCode, 0);
    EXPECT_EQ(entries(), before);
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_TRUE(fileBytes(profile).contains(standard::notes.toUtf8())) << fileBytes(profile).constData();

    // A FIFO or a folder is never opened nor replaced.
    const QString fifo = desktop.dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ASSERT_TRUE(QDir().mkdir(desktop.dir.filePath("folder")));
    for (const QString &target : {fifo, desktop.dir.filePath("folder")}) {
        expect(desktop.run({"export", target}), 2, u"일반 파일이 아닙니다"_qs);
        EXPECT_TRUE(QFileInfo::exists(target) && !QFileInfo(target).isFile());
    }

    // Standard output that takes nothing.
    for (const QStringList &arguments :
         {QStringList{"list", "--json"}, QStringList{"history", "--json"}, QStringList{"export", "-"}})
        expect(desktop.run(arguments, "/dev/full"), 3, u"표준 출력에 쓸 수 없습니다"_qs);

    const auto expectFailure = [&](const QStringList &arguments, int code, const QString &message) {
        const Outcome outcome = expect(desktop.run(arguments), code, message);
        EXPECT_TRUE(outcome.out.isEmpty() && outcome.err.startsWith(u"halvora-cli: "_qs)) << outcome;
    };
    expectFailure({"undo"}, 1, u"되돌릴 최근 변경 사항이 없습니다."_qs);
    expectFailure({"show", "tar/gz"}, 2, u"사용할 수 없는 확장자입니다"_qs);
    expectFailure({"set", "pdf", "org.example.Nowhere", "--yes"}, 2, u"알 수 없는 앱입니다"_qs);
    expectFailure({"set", "pdf", desktop.dir.filePath("missing/entry.desktop"), "--yes"}, 2,
                  u"데스크톱 파일을 찾을 수 없습니다"_qs);
    expectFailure({"import", desktop.dir.filePath("missing.json"), "--yes"}, 2,
                  u"프로필 파일을 찾을 수 없습니다: "_qs + desktop.dir.filePath("missing.json"));
    expectFailure({"list", "--filter", "broken"}, 2, u"알 수 없는 필터입니다"_qs);
    expectFailure({"undo", "no-such-record"}, 2, u"변경 기록을 찾을 수 없습니다: no-such-record"_qs);

    // A history whose stored text is damaged: nothing is changed that could not be recorded,
    // the damaged value is left as it was, and the plain list still shows with a warning.
    const QString unreadable = u"변경 이력을 읽을 수 없습니다"_qs;
    SqliteKeyValueStore(desktop.historyFile()).write(u"associationChangeHistory"_qs, "[{\"id\": 1");
    expectFailure({"set", "pdf", standard::browser, "--yes"}, 3, unreadable);
    expectFailure({"list", "--filter", "recentlyChanged"}, 3, unreadable);
    const Outcome listed = expect(desktop.run({"list", "--json"}), 0, unreadable);
    EXPECT_GT(QJsonDocument::fromJson(listed.out.toUtf8()).array().size(), 20) << listed;
    EXPECT_EQ(desktop.gioDefault(u"application/pdf"_qs), standard::documentViewer);
    EXPECT_EQ(SqliteKeyValueStore(desktop.historyFile()).read(u"associationChangeHistory"_qs),
              QByteArray("[{\"id\": 1"));
}

// Stands in for the desktop's notification service on a bus of its own. It owns the name before
// any command runs, so no notification daemon of the machine can be started in its place.
struct FakeNotifications final : QDBusVirtualObject {
    FakeNotifications()
    {
        daemon_.start(u"dbus-daemon"_qs, {"--session", "--address=unix:tmpdir=" + test::isolatedRoot(),
                                          "--nofork", "--print-address=1"});
        EXPECT_TRUE(daemon_.waitForReadyRead(60000)) << daemon_.readAllStandardError().toStdString();
        address = QString::fromUtf8(daemon_.readLine()).trimmed();
        QDBusConnection bus = QDBusConnection::connectToBus(address, u"notifications"_qs);
        EXPECT_TRUE(bus.registerService(u"org.freedesktop.Notifications"_qs));
        EXPECT_TRUE(bus.registerVirtualObject(u"/org/freedesktop/Notifications"_qs, this));
    }
    ~FakeNotifications() override
    {
        QDBusConnection::disconnectFromBus(u"notifications"_qs);
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
    QProcess daemon_;
};

TEST(CliProcess, CheckNamesDefaultsTakenOverSinceAVerifiedChangeNotifiesAndRestoresThem)
{
    FakeNotifications notifications;
    const QString pdf = u"application/pdf"_qs;
    const QString newcomer = u"org.example.Newcomer.desktop"_qs;
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
         u"mimeapps.list"_qs},
        {"a desktop-specific list names another application",
         [&](Desktop &d) {
             d.extra.insert(u"XDG_CURRENT_DESKTOP"_qs, u"KDE"_qs);
             writeFile(d.fixture.configDir(XdgFixture::Scope::user) + u"/kde-mimeapps.list"_qs,
                       "[Default Applications]\napplication/pdf=" + standard::documentViewer.toUtf8() + '\n');
         },
         u"kde-mimeapps.list"_qs},
        {"the list is replaced and a new application claims the type",
         [&](Desktop &d) {
             writeFile(d.fixture.mimeAppsListPath(XdgFixture::Scope::user), "[Default Applications]\n");
             d.fixture.addDesktopEntry(XdgFixture::Scope::user, newcomer, u"Newcomer"_qs, {pdf});
             d.fixture.updateMimeCaches();
         },
         u"첫 번째 호환 앱"_qs, newcomer},
        {"the change was undone", [&](Desktop &d) { ASSERT_EQ(d.run({"undo"}).exitCode, 0); }, std::nullopt},
        {"a newer change failed",
         [&](Desktop &d) {
             test::setDefaultWithGioMime(d.environment(), pdf, standard::documentViewer);
             QJsonArray history = d.runJson({"history", "--json"}).array();
             QJsonObject failed = history.first().toObject();
             failed[u"id"] = u"F0000000-0000-0000-0000-000000000000"_qs;
             failed[u"changedAt"] = failed[u"changedAt"].toDouble() + 1;
             failed[u"verificationStatus"] = u"verificationFailed"_qs;
             history.prepend(failed);
             SqliteKeyValueStore(d.historyFile())
                 .write(u"associationChangeHistory"_qs, QJsonDocument(history).toJson());
         },
         std::nullopt},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Desktop desktop;
        desktop.extra.insert(u"DBUS_SESSION_BUS_ADDRESS"_qs, notifications.address);
        ASSERT_EQ(desktop.run({"set", "pdf", standard::browser, "--yes"}).exitCode, 0);
        c.change(desktop);

        // The command waits for the notification's answer, which this process gives.
        const qsizetype notified = notifications.calls.size();
        const QJsonArray found = desktop.runJson({"check", "--json", "--notify"}, c.cause ? 1 : 0).array();
        ASSERT_EQ(found.size(), c.cause ? 1 : 0);
        ASSERT_EQ(notifications.calls.size(), notified + found.size());
        if (!c.cause)
            continue;
        EXPECT_TRUE(notifications.calls.last().at(4).toString().startsWith(u".pdf: "_qs));
        const QJsonObject takeover = found.first().toObject();
        EXPECT_EQ(
            QStringList({takeover[u"fileExtension"].toString(), takeover[u"contentTypeIdentifier"].toString(),
                         takeover[u"chosenApp"][u"bundleIdentifier"].toString(),
                         takeover[u"currentApp"][u"bundleIdentifier"].toString(), *desktop.gioDefault(pdf)}),
            QStringList({u"pdf"_qs, pdf, standard::browser, c.takenBy, c.takenBy}));
        const QString cause = takeover[u"decidedBy"].toString();
        EXPECT_TRUE(cause.contains(*c.cause)) << cause.toStdString();
        EXPECT_TRUE(desktop.run({"check"}).out.contains(cause));

        EXPECT_EQ(desktop.runJson({"check", "--restore", "--yes", "--json"})[u"summary"][u"verifiedCount"],
                  1);
        EXPECT_EQ(desktop.gioDefault(pdf), standard::browser);
        const QJsonArray history = desktop.runJson({"history", "--json"}).array();
        ASSERT_EQ(history.size(), 2);
        EXPECT_EQ(history.first()[u"previousApp"][u"bundleIdentifier"].toString(), c.takenBy);
    }
}
