// The real program in an isolated desktop tree, which main() builds before glib reads XDG (once).

#include "app/ApplicationGraph.h"
#include "app/MainWindow.h"
#include "app/PresentationQueue.h"
#include "app/commands/ChangeCommands.h"
#include "app/sheets/BulkPreviewSheet.h"
#include "core/history/UserDefaultsAssociationChangeHistoryStore.h"
#include "core/state/HalvoraState.h"
#include "linux/store/SqliteKeyValueStore.h"
#include "support/SampleAssociations.h"
#include "support/TestIsolation.h"
#include "support/doubles/WaitForTask.h"
#include "support/fixtures/DesktopService.h"
#include "support/fixtures/GioMime.h"
#include "support/fixtures/StandardFixture.h"
#include "support/fixtures/XdgFixture.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <functional>

namespace halvora {
namespace {

using test::processEventsUntil;
using test::waitForTask;
using Scope = test::XdgFixture::Scope;
using Status = AssociationVerificationStatus;
using namespace test::standard;

test::XdgFixture *tree = nullptr;

// One run: the object graph and its window with the change commands, shown and loaded.
struct Program {
    explicit Program(ChangeCommandsOptions options = {})
        : commands(installChangeCommands(window, std::move(options)))
    {
        window.resize(MainWindow::minimumWidth, MainWindow::minimumHeight);
        window.show();
        EXPECT_TRUE(processEventsUntil([this] { return !state().isLoading(); }));
    }

    HalvoraState &state() const { return graph.state(); }
    QString currentKey() const { return window.presentations().currentKey(); }

    std::optional<FileAssociation> listed(const QString &extension) const
    {
        for (const FileAssociation &association : state().associations())
            if (association.fileExtension() == extension)
                return association;
        return std::nullopt;
    }
    Status latestStatus() const { return state().changeHistory().first().verificationStatus(); }

    // The message the last operation left (set before its task ends), withdrawn; showing it is
    // the window's own test.
    std::optional<QString> takeAlert()
    {
        const std::optional<QString> message = state().alertMessage();
        state().setAlertMessage(std::nullopt);
        return message;
    }

    // Confirms a change of the listed extension to the candidate with this desktop ID.
    void apply(const QString &extension, const QString &desktopId)
    {
        const std::optional<FileAssociation> association = listed(extension);
        ASSERT_TRUE(association) << extension.toStdString();
        for (const AssociatedApp &app : association->candidateApps())
            if (app.bundleIdentifier() == desktopId)
                return waitForTask(state().confirmPendingChange(PendingAssociationChange(*association, app)));
        FAIL() << desktopId.toStdString() << " is no candidate of " << extension.toStdString();
    }

    ApplicationGraph graph;
    MainWindow window{graph.state(), makeDesktopServices(&ApplicationGraph::describeApplication)};
    ChangeCommands *commands;
};

std::optional<QString> gioDefault(const QString &contentType)
{
    return test::queryGioMime(tree->environment(), contentType).defaultApplication;
}

QString currentId(const FileAssociation &association)
{
    return association.currentApp() ? association.currentApp()->bundleIdentifier() : QString();
}

// Asked at each use: one fault moves XDG_STATE_HOME.
const auto databasePath = &SqliteKeyValueStore::defaultFilePath;

// Each test starts from the standard lists and no stored data, whatever ran before it.
struct EndToEnd : ::testing::Test {
    void SetUp() override
    {
        tree->commit();
        QDir(QFileInfo(databasePath()).path()).removeRecursively();
    }
};

// Each step's rules, texts and buttons are the state and window tests' part; here the real
// stack behind the window carries them to GIO and across a restart.
TEST_F(EndToEnd, WindowJourneyChangeUndoBulkApplyAndRestart)
{
    auto program = std::make_unique<Program>(ChangeCommandsOptions{std::nullopt});
    program->apply(u"pdf"_qs, browser);
    EXPECT_EQ(gioDefault(u"application/pdf"_qs), browser);
    EXPECT_EQ(program->latestStatus(), Status::verified);

    waitForTask(program->state().undoRecentChange());
    EXPECT_EQ(program->latestStatus(), Status::undoVerified);
    EXPECT_EQ(gioDefault(u"application/pdf"_qs), documentViewer);

    // md already opens with the editor (skipped), pdf cannot (blocked), txt can.
    const AssociatedApp editor = program->listed(u"md"_qs).value().currentApp().value();
    program->commands->bulkModeAction()->trigger();
    for (const QString &extension : {u"md"_qs, u"pdf"_qs, u"txt"_qs})
        program->state().toggleBulkSelection(*program->listed(extension));
    program->state().requestBulkPlan(editor, false);
    ASSERT_TRUE(
        processEventsUntil([&] { return program->currentKey() == ChangeCommands::bulkPreviewSheetKey; }));
    program->commands->bulkPreview()->applyButton()->click();
    ASSERT_TRUE(
        processEventsUntil([&] { return program->currentKey() == ChangeCommands::bulkResultAlertKey; }));
    auto *result = qobject_cast<QMessageBox *>(program->window.presentations().currentDialog());
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->text(), u"검증 완료 1개, 실패 0개, 건너뜀 1개, 확인 필요 1개"_qs);
    EXPECT_EQ(gioDefault(u"text/plain"_qs), textEditor);
    result->accept();

    const QList<AssociationChangeRecord> historyBeforeQuit = program->state().changeHistory();
    program->window.close();
    program.reset();
    Program again(ChangeCommandsOptions{std::nullopt});
    EXPECT_EQ(again.state().changeHistory(), historyBeforeQuit);
}

// Broken files met by the program. CI runs as root, so each fault is one permissions do not make:
// something in the file's place, an impossible path, SQLite's size limit, another program's bytes.

UserDefaultsAssociationChangeHistoryStore historyStore()
{
    return UserDefaultsAssociationChangeHistoryStore(std::make_shared<SqliteKeyValueStore>(databasePath()),
                                                     ApplicationGraph::historyKey,
                                                     ApplicationGraph::legacyRecentChangeKey, 50);
}

// A change recorded by an earlier run, almost a page of the database on its own.
AssociationChangeRecord earlierChange()
{
    const QUrl url = QUrl::fromLocalFile(tree->applicationsDir(Scope::system) + u'/' + textEditor);
    return AssociationChangeRecord(u"6F9619FF-8B86-D011-B42D-00C04FC964FF"_qs, u"md"_qs, u"text/markdown"_qs,
                                   std::nullopt, AssociatedApp(u"Text Editor"_qs, textEditor, url),
                                   Timestamp(786297600.5), Status::verified, QString(1200, u'가'));
}

// The alert shows a Korean sentence that contains the given text.
void expectAlert(Program &program, const QString &expected, const char *where)
{
    const QString shown = program.takeAlert().value_or(QString());
    EXPECT_TRUE(shown.contains(QRegularExpression(u"[가-힣]"_qs)) && shown.contains(expected))
        << where << ": " << shown.toStdString();
}

// Every connection opened after this gets no more pages than its database has now.
int limitToCurrentSize(sqlite3 *db, char **, const sqlite3_api_routines *)
{
    sqlite3_exec(db, "PRAGMA max_page_count = 1", nullptr, nullptr, nullptr);
    return SQLITE_OK;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size()) << path.toStdString();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Each damaged file is reported on loading and on a change, left as it was, and the program
// stays usable. A file or a folder in the store's place gives typed errors in the store's own
// test, and the exact refusals of a list are the list file's own test.
TEST_F(EndToEnd, DamagedFilesAreReportedAndLeftAsTheyWere)
{
    const QString stateHome = qEnvironmentVariable("XDG_STATE_HOME");
    const QString list = tree->mimeAppsListPath(Scope::user);
    const struct {
        const char *name;
        std::function<void()> make, undo;
        std::optional<QString> loadAlert; // part of each alert; none on loading when absent
        QString applyAlert;
        bool inList = false; // else in the database
    } faults[] = {
        // Stands for a folder the program may not write in: the write-ahead log cannot be made.
        {"a folder where the write-ahead log should be",
         [&] { QDir().mkpath(databasePath() + u"-wal/x"_qs); },
         [&] { QDir(databasePath() + u"-wal"_qs).removeRecursively(); }, u"변경 기록 파일"_qs,
         u"변경 기록 파일"_qs},
        {"a path longer than the system allows",
         [&] { qputenv("XDG_STATE_HOME", (stateHome + u'/' + QString(5000, u'x')).toLocal8Bit()); },
         [&] { qputenv("XDG_STATE_HOME", stateHome.toLocal8Bit()); }, u"변경 기록 파일"_qs,
         u"변경 기록 파일"_qs},
        {"garbage over the database's header",
         [] { writeFile(databasePath(), readFile(databasePath()).replace(0, 100, QByteArray(100, '#'))); },
         [] {}, u"손상되었거나"_qs, u"손상되었거나"_qs},
        {"a history that is no JSON",
         [] { SqliteKeyValueStore(databasePath()).write(ApplicationGraph::historyKey, "[{\"id\": 3"); },
         [] {}, u"저장된 데이터를 읽을 수 없습니다"_qs, u"저장된 데이터를 읽을 수 없습니다"_qs},
        // The earlier record fills the only page, so the next one needs a page more.
        {"a full database", [] { sqlite3_auto_extension(reinterpret_cast<void (*)()>(&limitToCurrentSize)); },
         [] { sqlite3_reset_auto_extension(); }, std::nullopt, u"디스크 공간이 부족하여"_qs},
        {"a folder in the list's place",
         [&] {
             QFile::remove(list);
             QDir().mkpath(list + u"/inside"_qs);
         },
         [&] { QDir(list).removeRecursively(); }, u"디렉터리입니다"_qs, u"바꾸지 않았습니다"_qs, true},
        {"a list that is no key file", [&] { writeFile(list, "[Default Applications\n\xff\xfe"); }, [] {},
         u"형식이 올바르지 않습니다"_qs, u"바꾸지 않았습니다"_qs, true},
    };
    for (const auto &fault : faults) {
        SCOPED_TRACE(fault.name);
        QDir(QFileInfo(databasePath()).path()).removeRecursively();
        historyStore().save(earlierChange());
        fault.make();
        const QString damaged = fault.inList ? list : databasePath();
        const QByteArray before = readFile(damaged); // a folder reads as nothing
        {
            Program program;
            if (fault.loadAlert)
                expectAlert(program, *fault.loadAlert, "load");
            waitForTask(program.state().addExtension(u"pdf"_qs));
            EXPECT_FALSE(program.state().alertMessage());
            EXPECT_EQ(program.state().selectedExtension(), u"pdf"_qs);
            // Whichever application the damage leaves as pdf's default, the other one.
            program.apply(u"pdf"_qs,
                          currentId(program.listed(u"pdf"_qs).value()) == browser ? documentViewer : browser);
            expectAlert(program, fault.applyAlert, "apply");
        }
        EXPECT_EQ(readFile(damaged), before);
        fault.undo();
        tree->commit();
    }
}

// Another process changes the desktop while the service runs; every load afterwards answers from
// the files as they are now. The kinds of change, many rounds and the agreement with GIO are the
// resolver's freshness test; here `gio mime` changes reach the service's full and single loads.
TEST_F(EndToEnd, EveryLoadAfterAnotherProcessChangedTheDesktopSeesTheChange)
{
    const auto service = test::makeDesktopService();
    const QList<FileAssociation> before = waitForTask(service->loadRegisteredAssociations());

    // `gio mime TYPE APP` renames a new list over the user's one, registering a new type.
    test::setDefaultWithGioMime(tree->environment(), u"application/epub+zip"_qs, documentViewer);
    const QList<FileAssociation> after = waitForTask(service->loadRegisteredAssociations());
    const qsizetype epub = test::extensionsOf(after).indexOf(u"epub"_qs);
    ASSERT_GE(epub, 0);
    EXPECT_EQ(currentId(after[epub]), documentViewer);
    EXPECT_EQ(after.size(), before.size() + 1); // epub is new
    test::setDefaultWithGioMime(tree->environment(), u"text/markdown"_qs, notes);
    EXPECT_EQ(currentId(waitForTask(service->loadAssociation(u"md"_qs))), notes);
}

TEST_F(EndToEnd, ADefaultWhoseEntryWasDeletedAfterLoadingCannotBeChosenOrRestored)
{
    Program program;
    const QString entry = tree->applicationsDir(Scope::system) + u'/' + documentViewer;
    const QByteArray kept = readFile(entry);
    ASSERT_TRUE(QFile::remove(entry));

    // Offered for png by the list loaded before the deletion.
    program.apply(u"png"_qs, documentViewer);
    expectAlert(program, u"데스크톱 항목을 응용프로그램으로 불러올 수 없습니다"_qs, "apply");
    EXPECT_EQ(program.latestStatus(), Status::apiFailed);

    program.apply(u"pdf"_qs, browser);
    EXPECT_FALSE(program.takeAlert());
    waitForTask(program.state().undoRecentChange());
    expectAlert(program, u"데스크톱 항목을 응용프로그램으로 불러올 수 없습니다"_qs, "undo");
    EXPECT_EQ(program.latestStatus(), Status::undoFailed);
    EXPECT_EQ(historyStore().loadHistory(), program.state().changeHistory());
    writeFile(entry, kept);
}

} // namespace
} // namespace halvora

int main(int argc, char **argv)
{
    halvora::test::XdgFixture fixture(halvora::test::isolateUserEnvironment());
    fixture.addStandardContents();
    fixture.commit();
    halvora::tree = &fixture;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    halvora::prepareApplication();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
