// The program as main() builds it (real client, SQLite store on the default file, window on
// the offscreen platform) meeting broken files. Tests run as root in CI, so every fault is
// one that permissions do not make: something else in the file's place, a path that cannot
// exist, a size limit inside SQLite, bytes written by another program.

#include "app/ApplicationGraph.h"
#include "app/MainWindow.h"
#include "app/PresentationQueue.h"
#include "app/commands/ChangeCommands.h"
#include "core/history/UserDefaultsAssociationChangeHistoryStore.h"
#include "core/state/HalvoraState.h"
#include "linux/store/SqliteKeyValueStore.h"
#include "support/TestIsolation.h"
#include "support/doubles/WaitForTask.h"
#include "support/fixtures/StandardFixture.h"
#include "support/fixtures/XdgFixture.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <functional>
#include <unistd.h>

namespace halvora {
namespace {

using test::processEventsUntil;
using test::waitForTask;
using Scope = test::XdgFixture::Scope;

test::XdgFixture *tree = nullptr;

QString databasePath()
{
    return SqliteKeyValueStore::defaultFilePath();
}

UserDefaultsAssociationChangeHistoryStore historyStore()
{
    return UserDefaultsAssociationChangeHistoryStore(std::make_shared<SqliteKeyValueStore>(databasePath()),
                                                     ApplicationGraph::historyKey,
                                                     ApplicationGraph::legacyRecentChangeKey, 50);
}

AssociatedApp systemApp(const QString &id, const QString &name)
{
    return AssociatedApp(name, id, QUrl::fromLocalFile(tree->applicationsDir(Scope::system) + u'/' + id));
}

// A change recorded by an earlier run.
AssociationChangeRecord earlierChange(const QString &message = QString())
{
    return AssociationChangeRecord(u"6F9619FF-8B86-D011-B42D-00C04FC964FF"_qs, u"md"_qs, u"text/markdown"_qs,
                                   std::nullopt, systemApp(test::standard::textEditor, u"Text Editor"_qs),
                                   Timestamp(786297600.5), AssociationVerificationStatus::verified,
                                   message.isEmpty() ? std::nullopt : std::optional<QString>(message));
}

bool isKorean(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c.unicode() >= 0xAC00 && c.unicode() <= 0xD7A3; });
}

// The program's object graph and its window, shown, after the first load.
class Program {
public:
    Program() : window(graph.state(), makeDesktopServices(&ApplicationGraph::describeApplication))
    {
        installChangeCommands(window);
        window.resize(MainWindow::minimumWidth, MainWindow::minimumHeight);
        window.show();
        EXPECT_TRUE(processEventsUntil([this] { return !state().isLoading(); }));
    }

    HalvoraState &state() const { return graph.state(); }

    // The error alert's text as the window shows it; dismissing it with "확인" must clear
    // the state's message. Empty when no alert came up.
    std::optional<QString> dismissAlert()
    {
        if (!processEventsUntil(
                [this] { return window.presentations().currentKey() == MainWindow::errorAlertKey; },
                std::chrono::seconds(5)))
            return std::nullopt;
        auto *alert = qobject_cast<QMessageBox *>(window.presentations().currentDialog());
        EXPECT_NE(alert, nullptr);
        const QString shown = alert ? alert->text() : QString();
        EXPECT_EQ(state().alertMessage(), shown);
        window.presentations().currentDialog()->reject();
        EXPECT_TRUE(processEventsUntil([this] { return !state().alertMessage(); }));
        return shown;
    }

    std::optional<FileAssociation> association(const QString &extension) const
    {
        for (const FileAssociation &association : state().associations()) {
            if (association.fileExtension() == extension)
                return association;
        }
        return std::nullopt;
    }

    // Confirms a change of the listed extension to the candidate with this desktop ID.
    void apply(const QString &extension, const QString &desktopId)
    {
        const std::optional<FileAssociation> listed = association(extension);
        ASSERT_TRUE(listed) << extension.toStdString();
        for (const AssociatedApp &app : listed->candidateApps()) {
            if (app.bundleIdentifier() == desktopId) {
                waitForTask(state().confirmPendingChange(PendingAssociationChange(*listed, app)));
                return;
            }
        }
        FAIL() << desktopId.toStdString() << " is no candidate of " << extension.toStdString();
    }

    ApplicationGraph graph;
    MainWindow window;
};

// The alert shows a Korean sentence that contains the given text.
void expectAlert(Program &program, const QString &expected, const char *where)
{
    const std::optional<QString> shown = program.dismissAlert();
    ASSERT_TRUE(shown) << where;
    EXPECT_TRUE(isKorean(*shown)) << where << ": " << shown->toStdString();
    EXPECT_TRUE(shown->contains(expected)) << where << ": " << shown->toStdString();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct PlaceFault {
    const char *name;
    std::function<void()> make;
    std::function<void()> undo;
    QString message; // part of the alert
};

TEST(HistoryFaults, UnusableDatabasePlacesAreReportedAndWhatWasStoredSurvives)
{
    const QString stateDir = QFileInfo(databasePath()).path();
    const QString stateHome = qEnvironmentVariable("XDG_STATE_HOME");
    const QList<PlaceFault> faults{
        {"a file where the folder should be",
         [&] {
             QDir(stateDir).removeRecursively();
             writeFile(stateDir, "not a folder");
         },
         [&] { QFile::remove(stateDir); }, u"폴더를 만들 수 없습니다"_qs},
        {"a folder where the database should be",
         [&] {
             QDir(stateDir).removeRecursively();
             QDir().mkpath(databasePath() + u"/inside"_qs);
         },
         [&] { QDir(databasePath()).removeRecursively(); }, u"열 수 없습니다"_qs},
        // Stands for a folder the program may not write in: the write-ahead log cannot be made.
        {"a folder where the write-ahead log should be",
         [&] { QDir().mkpath(databasePath() + u"-wal/x"_qs); },
         [&] { QDir(databasePath() + u"-wal"_qs).removeRecursively(); }, u"변경 기록 파일"_qs},
        {"a path longer than the system allows",
         [&] { qputenv("XDG_STATE_HOME", (stateHome + u'/' + QString(5000, u'x')).toLocal8Bit()); },
         [&] { qputenv("XDG_STATE_HOME", stateHome.toLocal8Bit()); }, u"변경 기록 파일"_qs},
    };
    for (const PlaceFault &fault : faults) {
        SCOPED_TRACE(fault.name);
        QDir(stateDir).removeRecursively();
        const bool keepsEarlierHistory = QString::fromUtf8(fault.name).contains(u"log"_qs);
        if (keepsEarlierHistory)
            historyStore().save(earlierChange());
        fault.make();
        {
            Program program;
            expectAlert(program, fault.message, "load");
            ASSERT_TRUE(program.association(u"pdf"_qs));
            program.apply(u"pdf"_qs, test::standard::browser);
            expectAlert(program, fault.message, "apply");
            // Still usable: the selected association can be read again.
            program.state().setSelectedExtension(u"pdf"_qs);
            waitForTask(program.state().refreshSelectedAssociation());
            EXPECT_FALSE(program.state().alertMessage());
            program.apply(u"pdf"_qs, test::standard::documentViewer);
            program.dismissAlert();
        }
        fault.undo();
        const QList<AssociationChangeRecord> stored = historyStore().loadHistory();
        if (keepsEarlierHistory)
            EXPECT_EQ(stored, QList<AssociationChangeRecord>{earlierChange()});
        else
            EXPECT_TRUE(stored.isEmpty());
    }
}

// Every connection opened after this gets no more pages than its database has now.
int limitToCurrentSize(sqlite3 *db, char **, const sqlite3_api_routines *)
{
    sqlite3_exec(db, "PRAGMA max_page_count = 1", nullptr, nullptr, nullptr);
    return SQLITE_OK;
}

TEST(HistoryFaults, AFullDatabaseRefusesTheNewRecordAndKeepsTheOldOnes)
{
    // Almost a page of its own, so that a second record needs a page more.
    const AssociationChangeRecord earlier = earlierChange(QString(1200, u'가'));
    historyStore().save(earlier);
    sqlite3_auto_extension(reinterpret_cast<void (*)()>(&limitToCurrentSize));
    {
        Program program;
        EXPECT_FALSE(program.state().alertMessage());
        EXPECT_EQ(program.state().changeHistory(), QList<AssociationChangeRecord>{earlier});
        program.apply(u"pdf"_qs, test::standard::browser);
        expectAlert(program, u"디스크 공간이 부족하여"_qs, "apply");
        EXPECT_EQ(program.state().changeHistory(), QList<AssociationChangeRecord>{earlier});
    }
    sqlite3_reset_auto_extension();
    EXPECT_EQ(historyStore().loadHistory(), QList<AssociationChangeRecord>{earlier});
}

TEST(HistoryFaults, ADatabaseDamagedByAnotherProgramIsReportedAndLeftAsItWas)
{
    const struct {
        const char *name;
        std::function<void()> damage;
        QString message;
    } damages[] = {
        {"garbage over the file's header",
         [] {
             QByteArray bytes = readFile(databasePath());
             bytes.replace(0, 100, QByteArray(100, '#'));
             writeFile(databasePath(), bytes);
         },
         u"손상되었거나"_qs},
        {"a history that is no JSON",
         [] { SqliteKeyValueStore(databasePath()).write(ApplicationGraph::historyKey, "[{\"id\": 3"); },
         u""_qs},
    };
    for (const auto &damage : damages) {
        SCOPED_TRACE(damage.name);
        QDir(QFileInfo(databasePath()).path()).removeRecursively();
        historyStore().save(earlierChange());
        damage.damage();
        const QByteArray damaged = readFile(databasePath());
        {
            Program program;
            expectAlert(program, damage.message, "load");
            EXPECT_FALSE(program.state().associations().isEmpty());
            program.apply(u"pdf"_qs, test::standard::browser);
            expectAlert(program, damage.message, "apply");
        }
        EXPECT_EQ(readFile(databasePath()), damaged);
    }
}

TEST(MimeAppsListFaults, AnUnreadableListIsReportedAndAddingStillWorks)
{
    const QString list = tree->mimeAppsListPath(Scope::user);
    const QByteArray original = readFile(list);
    historyStore().save(earlierChange());
    const struct {
        const char *name;
        std::function<void()> make;
        QString message;
    } faults[] = {
        {"a folder", [&] { QDir().mkpath(list + u"/inside"_qs); }, u"디렉터리입니다"_qs},
        {"not a key file", [&] { writeFile(list, "[Default Applications\n\xff\xfe"); },
         u"형식이 올바르지 않습니다"_qs},
    };
    for (const auto &fault : faults) {
        SCOPED_TRACE(fault.name);
        QFile::remove(list);
        fault.make();
        {
            Program program;
            expectAlert(program, fault.message, "load");
            waitForTask(program.state().addExtension(u"png"_qs));
            EXPECT_FALSE(program.state().alertMessage());
            EXPECT_EQ(program.state().selectedExtension(), u"png"_qs);
        }
        QDir(list).removeRecursively();
        QFile::remove(list);
        writeFile(list, original);
        EXPECT_EQ(historyStore().loadHistory(), QList<AssociationChangeRecord>{earlierChange()});
    }
}

TEST(MimeAppsListFaults, RefusedWriteOfTheListIsAFailedChangeInKorean)
{
    const QString list = tree->mimeAppsListPath(Scope::user);
    QFile::remove(list);
    // A folder is never read or replaced as a list.
    QDir().mkpath(list + u"/inside"_qs);
    Program program;
    program.dismissAlert(); // the list itself cannot be read either
    waitForTask(program.state().addExtension(u"pdf"_qs));
    ASSERT_FALSE(program.state().alertMessage());
    const std::optional<FileAssociation> pdf = program.association(u"pdf"_qs);
    ASSERT_TRUE(pdf);
    const auto other = std::find_if(pdf->candidateApps().cbegin(), pdf->candidateApps().cend(),
                                    [&](const AssociatedApp &app) { return app != pdf->currentApp(); });
    ASSERT_NE(other, pdf->candidateApps().cend());
    program.apply(u"pdf"_qs, other->bundleIdentifier());
    const std::optional<QString> shown = program.dismissAlert();
    ASSERT_TRUE(shown);
    EXPECT_EQ(*shown, u"'%1'은(는) 일반 파일이 아니라 폴더이어서 읽거나 바꾸지 않았습니다."_qs.arg(list));
    ASSERT_EQ(program.state().changeHistory().size(), 1);
    EXPECT_EQ(program.state().changeHistory().first().verificationStatus(),
              AssociationVerificationStatus::apiFailed);
    EXPECT_EQ(historyStore().loadHistory(), program.state().changeHistory());
    EXPECT_EQ(program.association(u"pdf"_qs)->currentApp(), pdf->currentApp());
}

TEST(DesktopEntryFaults, ADefaultWhoseEntryWasDeletedAfterLoadingCannotBeChosenOrRestored)
{
    Program program;
    ASSERT_FALSE(program.state().alertMessage());
    const std::optional<FileAssociation> pdf = program.association(u"pdf"_qs);
    ASSERT_TRUE(pdf && pdf->currentApp());
    ASSERT_EQ(pdf->currentApp()->bundleIdentifier(), test::standard::documentViewer);
    ASSERT_TRUE(QFile::remove(pdf->currentApp()->url().toLocalFile()));

    // Offered for png by the list loaded before the deletion.
    program.apply(u"png"_qs, test::standard::documentViewer);
    expectAlert(program, u"데스크톱 항목을 응용프로그램으로 불러올 수 없습니다"_qs, "apply");
    EXPECT_EQ(program.state().changeHistory().first().verificationStatus(),
              AssociationVerificationStatus::apiFailed);

    program.apply(u"pdf"_qs, test::standard::browser);
    EXPECT_FALSE(program.dismissAlert());
    ASSERT_EQ(program.state().changeHistory().first().verificationStatus(),
              AssociationVerificationStatus::verified);
    waitForTask(program.state().undoRecentChange());
    expectAlert(program, u"데스크톱 항목을 응용프로그램으로 불러올 수 없습니다"_qs, "undo");
    EXPECT_EQ(program.state().changeHistory().first().verificationStatus(),
              AssociationVerificationStatus::undoFailed);
    EXPECT_EQ(historyStore().loadHistory(), program.state().changeHistory());

    program.state().setSelectedExtension(u"pdf"_qs);
    waitForTask(program.state().refreshSelectedAssociation());
    if (const std::optional<QString> shown = program.dismissAlert()) {
        EXPECT_TRUE(isKorean(*shown)) << shown->toStdString();
    }
}

} // namespace
} // namespace halvora

int main(int argc, char **argv)
{
    const QString root = halvora::test::isolateUserEnvironment();
    halvora::test::XdgFixture fixture(root);
    fixture.addStandardContents();
    fixture.commit();
    halvora::tree = &fixture;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);

    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
