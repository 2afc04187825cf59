// The built halvora-cli as child processes changing one isolated desktop: many at once, killed
// halfway, undone, and with a desktop-specific list in the way.
#include "core/model/FileAssociationError.h"
#include "linux/mimeapps/MimeAppsListEditor.h"
#include "linux/mimeapps/MimeAppsWriter.h"
#include "support/TestFiles.h"
#include "support/TestIsolation.h"
#include "support/fixtures/XdgFixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <poll.h>
#include <random>
#include <sys/inotify.h>
#include <unistd.h>

using namespace halvora;
using halvora::mimeapps::ListEditor;
using namespace halvora::test;

namespace {

const QString alpha = QStringLiteral("org.example.Alpha.desktop");
const QString beta = QStringLiteral("org.example.Beta.desktop");

// Sixteen extensions whose one type both applications open.
const QList<std::pair<QString, QString>> kinds = {
    {"pdf", "application/pdf"}, {"png", "image/png"},
    {"gif", "image/gif"},       {"jpg", "image/jpeg"},
    {"txt", "text/plain"},      {"md", "text/markdown"},
    {"html", "text/html"},      {"xml", "application/xml"},
    {"csv", "text/csv"},        {"zip", "application/zip"},
    {"mp3", "audio/mpeg"},      {"svg", "image/svg+xml"},
    {"css", "text/css"},        {"odt", "application/vnd.oasis.opendocument.text"},
    {"wav", "audio/x-wav"},     {"tar", "application/x-tar"},
};

struct Outcome {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    QString json(const QString &key) const { return QJsonDocument::fromJson(out)[key].toString(); }
    std::string said() const { return (out + err).toStdString(); }
};

// One desktop: two applications for all sixteen types, nothing chosen yet.
class Desktop {
public:
    Desktop() : dir_(test::isolatedRoot() + QStringLiteral("/writer-XXXXXX")), fixture_(dir_.path())
    {
        QStringList types;
        for (const auto &kind : kinds)
            types.append(kind.second);
        fixture_.addDesktopEntry(XdgFixture::Scope::system, alpha, QStringLiteral("Alpha"), types);
        fixture_.addDesktopEntry(XdgFixture::Scope::system, beta, QStringLiteral("Beta"), types);
        fixture_.commit();
        QFile::remove(userList());
        QFile::remove(fixture_.mimeAppsListPath(XdgFixture::Scope::system));
    }

    const XdgFixture &fixture() const { return fixture_; }
    QString configDir() const { return fixture_.configDir(XdgFixture::Scope::user); }
    QString userList() const { return fixture_.mimeAppsListPath(XdgFixture::Scope::user); }
    QString stateDir() const { return fixture_.homeDir() + QStringLiteral("/.local/state/halvora"); }

    std::unique_ptr<QProcess> start(const QStringList &arguments, const QString &desktop = QString(),
                                    const QString &program = QStringLiteral(HALVORA_CLI_PATH)) const
    {
        QProcessEnvironment environment = fixture_.environment();
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        if (!desktop.isEmpty())
            environment.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), desktop);
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(environment);
        process->start(program, arguments);
        process->closeWriteChannel();
        return process;
    }

    static Outcome finish(QProcess &process)
    {
        EXPECT_TRUE(process.waitForFinished(-1)) << "did not finish";
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                process.readAllStandardOutput(), process.readAllStandardError()};
    }

    Outcome run(const QStringList &arguments, const QString &desktop = QString()) const
    {
        return finish(*start(arguments, desktop));
    }

    QJsonArray history() const { return QJsonDocument::fromJson(run({"history", "--json"}).out).array(); }

private:
    QTemporaryDir dir_;
    XdgFixture fixture_;
};

// Sixteen processes at once, each on its own type, round after round: every change stays in
// the list and every one is verified (it was lost in about half the cases before).
TEST(WriterProcesses, ConcurrentChangesLoseNothing)
{
    const Desktop desktop;
    const int rounds = qEnvironmentVariable("HALVORA_WRITER_ROUNDS", "2").toInt();
    for (int round = 0; round < rounds; ++round) {
        const QString app = round % 2 == 0 ? beta : alpha; // alpha is the default to begin with
        std::vector<std::unique_ptr<QProcess>> processes;
        for (const auto &kind : kinds)
            processes.push_back(desktop.start({"set", kind.first, app, "--yes", "--json"}));
        for (std::size_t i = 0; i < processes.size(); ++i) {
            const Outcome outcome = Desktop::finish(*processes[i]);
            EXPECT_EQ(outcome.json("verificationStatus"), "verified")
                << kinds[qsizetype(i)].first.toStdString() << ": " << outcome.said();
        }
        const QByteArray list = bytesOf(desktop.userList());
        for (const auto &kind : kinds)
            EXPECT_EQ(ListEditor::items(list, ListEditor::defaultGroup, kind.second).value(0), app)
                << "round " << round << ", " << kind.second.toStdString();
    }
    EXPECT_EQ(desktop.history().size(), std::min(50, rounds * 16));
}

// Counts what changes in the watched folders, as it happens: the moments of a change.
class FolderEvents {
public:
    explicit FolderEvents(const QStringList &dirs) : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        for (const QString &dir : dirs)
            EXPECT_GE(::inotify_add_watch(fd_, QFile::encodeName(dir).constData(),
                                          IN_ALL_EVENTS & ~(IN_ACCESS | IN_OPEN | IN_CLOSE_NOWRITE)),
                      0);
    }
    ~FolderEvents() { ::close(fd_); }

    // Counts the events as they come until there are `limit` or the process has ended; without
    // a process, the events queued so far.
    int follow(QProcess *process = nullptr, int limit = INT_MAX)
    {
        int count = 0;
        alignas(inotify_event) char buffer[4096];
        for (pollfd ready{fd_, POLLIN, 0}; count < limit;) {
            // The bound only lets a process that has ended be noticed; it decides nothing.
            if (::poll(&ready, 1, process ? 100 : 0) <= 0) {
                if (!process || process->waitForFinished(0) || process->state() == QProcess::NotRunning)
                    break;
                continue;
            }
            const ssize_t size = ::read(fd_, buffer, sizeof buffer);
            for (ssize_t at = 0; at < size; ++count)
                at += sizeof(inotify_event) + reinterpret_cast<inotify_event *>(buffer + at)->len;
        }
        return count;
    }

private:
    int fd_;
};

// SIGKILL after a seeded random number of the file-system events one change makes: whatever
// reached the list has its record, and no list is torn, no temporary file or intent stays
// once the next run has started.
TEST(WriterProcesses, KilledChangesKeepTheirRecords)
{
    const Desktop desktop;
    const int rounds = qEnvironmentVariable("HALVORA_KILL_ROUNDS", "25").toInt();
    std::mt19937 random(qEnvironmentVariable("HALVORA_KILL_SEED", "20261207").toUInt());

    // A second unkilled change, the first to find the database made, sets the scale of the moments.
    writeFile(desktop.userList(), "[Default Applications]\ntext/plain=org.example.Alpha.desktop;\n");
    ASSERT_EQ(desktop.run({"set", "txt", beta, "--yes"}).exitCode, 0);
    FolderEvents events({desktop.configDir(), desktop.stateDir()});
    const auto unkilled = desktop.start({"set", "txt", alpha, "--yes"});
    const int span = events.follow(unkilled.get());
    ASSERT_EQ(unkilled->exitCode(), 0);

    // The history lists the newest record first.
    QString newest = desktop.history().first()["id"].toString();
    QString previous = alpha;
    for (int round = 0; round < rounds; ++round) {
        const QString next = previous == alpha ? beta : alpha;
        events.follow();
        const auto process = desktop.start({"set", "txt", next, "--yes"});
        const int moment = std::uniform_int_distribution<int>(0, span)(random);
        if (events.follow(process.get(), moment) >= moment)
            process->kill();
        process->waitForFinished(-1);
        const QJsonArray history = desktop.history(); // the next run settles what was left
        const QByteArray list = bytesOf(desktop.userList());
        ASSERT_NO_THROW(ListEditor::check(list)) << "round " << round;
        const QString now = ListEditor::items(list, ListEditor::defaultGroup, u"text/plain"_qs).value(0);
        ASSERT_TRUE(now == previous || now == next) << now.toStdString();
        qsizetype fresh = 0;
        while (fresh < history.size() && history[fresh]["id"].toString() != newest)
            ++fresh;
        ASSERT_LE(fresh, 1) << "round " << round;
        if (now == next) {
            ASSERT_EQ(fresh, 1) << "a change reached the list without a record, round " << round;
            EXPECT_EQ(history[0]["replacementApp"]["bundleIdentifier"].toString(), next);
            EXPECT_EQ(history[0]["verificationStatus"].toString(), "verified");
        } else if (fresh == 1) {
            EXPECT_NE(history[0]["verificationStatus"].toString(), "verified") << "round " << round;
        }
        EXPECT_EQ(entriesOf(desktop.configDir()), QStringList{"mimeapps.list"}) << "round " << round;
        QStringList state = entriesOf(desktop.stateDir());
        state.removeIf([](const QString &name) { return name.startsWith("defaults.sqlite3"); });
        EXPECT_EQ(state, QStringList{"change.lock"}) << "round " << round;
        previous = now;
        newest = history.first()["id"].toString();
    }
}

// With XDG_CURRENT_DESKTOP=KDE the user's kde-mimeapps.list is read first: the change goes
// there too, and undo gives it its bytes back and removes the list the change created; when
// it cannot go there, the record names the line that still decides.
TEST(WriterProcesses, DesktopSpecificListIsWrittenThroughOrNamed)
{
    const QByteArray kde = "[Default Applications]\ntext/plain=org.example.Alpha.desktop;\n";
    {
        const Desktop desktop;
        writeFile(desktop.configDir() + "/kde-mimeapps.list", kde);
        const Outcome set = desktop.run({"set", "txt", beta, "--yes", "--json"}, "KDE");
        EXPECT_EQ(set.json("verificationStatus"), "verified") << set.said();
        EXPECT_EQ(bytesOf(desktop.configDir() + "/kde-mimeapps.list"),
                  "[Default Applications]\ntext/plain=org.example.Beta.desktop;org.example.Alpha.desktop;\n");
        EXPECT_TRUE(QFileInfo::exists(desktop.userList()));
        const Outcome undo = desktop.run({"undo", "--json"}, "KDE");
        EXPECT_EQ(undo.json("verificationStatus"), "undoVerified") << undo.said();
        EXPECT_EQ(bytesOf(desktop.configDir() + "/kde-mimeapps.list"), kde);
        EXPECT_FALSE(QFileInfo::exists(desktop.userList()));
    }

    // The list lives in a read-only place (a dotfiles link into it).
    const Desktop desktop;
    const QString store = desktop.fixture().outsideDir();
    writeFile(store + "/kde-mimeapps.list", kde);
    QFile::link(store + "/kde-mimeapps.list", desktop.configDir() + "/kde-mimeapps.list");
    QStringList arguments{"set", "txt", beta, "--yes", "--json"};
    QString program = QStringLiteral(HALVORA_CLI_PATH);
    if (::geteuid() == 0) {
        // Permissions do not stop root: a read-only bind mount in a mount namespace of its own.
        if (QProcess::execute("unshare", {"-m", "true"}) != 0)
            GTEST_SKIP() << "no mount namespace for a read-only directory";
        arguments =
            QStringList{"-m", "sh", "-c", "mount --bind -o ro \"$0\" \"$0\" && exec \"$@\"", store, program} +
            arguments;
        program = QStringLiteral("unshare");
    } else {
        QFile::setPermissions(store, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    }
    const Outcome set = Desktop::finish(*desktop.start(arguments, "KDE", program));
    EXPECT_EQ(set.json("verificationStatus"), "verificationFailed") << set.said();
    EXPECT_EQ(set.json("verificationMessage"),
              QStringLiteral("'%1/kde-mimeapps.list' 파일 2번째 줄의 [Default Applications] 항목이 기본 앱을 "
                             "'org.example.Alpha.desktop'(으)로 정하고 있어 바꾼 설정이 적용되지 않았습니다.")
                  .arg(desktop.configDir()));
    EXPECT_EQ(bytesOf(store + "/kde-mimeapps.list"), kde);
    QFile::setPermissions(store, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

// A desktop entry outside every applications directory would be written as an ID that
// never resolves: refused before anything is written, saying where it belongs.
TEST(WriterProcesses, RefusesAnEntryNoApplicationsDirectoryProvides)
{
    const Desktop desktop;
    const QString outside = desktop.fixture().outsideDir() + "/x.desktop";
    writeFile(outside, "[Desktop Entry]\nType=Application\nExec=true\nName=X\nMimeType=text/plain;\n");
    const mimeapps::MimeAppsWriter writer(
        std::make_shared<MimeAppsResolver>(XdgEnvironment::from(desktop.fixture().environment())),
        desktop.stateDir() + "/change.lock");
    const auto refusal =
        failureOf<FileAssociationError>([&] { writer.setDefault(outside, u"text/plain"_qs); });
    EXPECT_EQ(
        refusal.value().errorDescription(),
        u"'%1'은(는) 응용 프로그램 폴더에 설치된 데스크톱 항목이 아니어서 기본 앱으로 정할 수 없습니다. 이 "
        u"파일을 ~/.local/share/applications 폴더에 넣은 뒤 다시 고르세요."_qs.arg(outside));
    EXPECT_FALSE(QFileInfo::exists(desktop.userList()));
}

} // namespace
