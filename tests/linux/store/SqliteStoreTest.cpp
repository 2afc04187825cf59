#include "core/history/HistoryTestSupport.h"
#include "linux/store/StoreChildProcess.h"

#include "core/history/KeyValueStoreError.h"
#include "core/history/UserDefaultsAssociationChangeHistoryStore.h"
#include "linux/store/SqliteKeyValueStore.h"
#include "support/TestIsolation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace halvora::test {
namespace {

class StoreChildEnvironment : public ::testing::Environment {
public:
    void SetUp() override { runStoreChildIfRequested(); }
};

[[maybe_unused]] const auto *const childEnvironment =
    ::testing::AddGlobalTestEnvironment(new StoreChildEnvironment);

using Reason = KeyValueStoreError::Reason;

std::unique_ptr<UserDefaultsAssociationChangeHistoryStore>
historyStore(std::shared_ptr<KeyValueStore> defaults, int maxRecords = 1000)
{
    return std::make_unique<UserDefaultsAssociationChangeHistoryStore>(
        std::move(defaults), u"associationChangeHistory"_qs, u"recentAssociationChange"_qs, maxRecords);
}

// Gives every test a state directory of its own that does not exist yet.
class SqliteStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        stateHome = isolatedRoot() + u"/state/"_qs + QString::fromUtf8(info->test_suite_name()) + u'.' +
                    QString::fromUtf8(info->name());
        ASSERT_FALSE(QFileInfo::exists(stateHome));
        ::setenv("XDG_STATE_HOME", QFile::encodeName(stateHome).constData(), 1);
        filePath = stateHome + u"/halvora/defaults.sqlite3"_qs;
    }

    QString stateHome;
    QString filePath;
};

QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

mode_t modeOf(const QString &path)
{
    struct stat info {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info.st_mode & 07777;
}

template <typename Operation> KeyValueStoreError failureOf(Operation operation)
{
    try {
        operation();
    } catch (const KeyValueStoreError &error) {
        return error;
    }
    ADD_FAILURE() << "no KeyValueStoreError";
    return KeyValueStoreError(Reason::cannotOpen, {}, {});
}

TEST_F(SqliteStore, FileLivesUnderStateHomeWithPrivateModes)
{
    EXPECT_EQ(SqliteKeyValueStore::defaultFilePath(), filePath);
    ::setenv("XDG_STATE_HOME", "relative/state", 1);
    EXPECT_EQ(SqliteKeyValueStore::defaultFilePath(),
              QDir::homePath() + u"/.local/state/halvora/defaults.sqlite3"_qs);
    ::unsetenv("XDG_STATE_HOME");
    EXPECT_EQ(SqliteKeyValueStore::defaultFilePath(),
              QDir::homePath() + u"/.local/state/halvora/defaults.sqlite3"_qs);
    ::setenv("XDG_STATE_HOME", QFile::encodeName(stateHome).constData(), 1);

    auto defaults = std::make_shared<SqliteKeyValueStore>();
    EXPECT_FALSE(QFileInfo::exists(filePath)) << "opened before first use";
    // Reading a fresh profile finds nothing and creates nothing.
    EXPECT_TRUE(historyStore(defaults)->loadHistory().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(stateHome)) << "created by a read";
    historyStore(defaults)->save(historyRecord(u"A"_qs, 1));
    EXPECT_EQ(modeOf(stateHome), 0700u);
    EXPECT_EQ(modeOf(stateHome + u"/halvora"_qs), 0700u);
    EXPECT_EQ(modeOf(filePath), 0600u);
    EXPECT_EQ(modeOf(filePath + u"-wal"_qs), 0600u);

    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(QFile::encodeName(filePath).constData(), &db, SQLITE_OPEN_READONLY, nullptr),
              SQLITE_OK);
    sqlite3_stmt *statement = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &statement, nullptr);
    ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char *>(sqlite3_column_text(statement, 0)), "wal");
    sqlite3_finalize(statement);
    sqlite3_close(db);
}

// Records across store objects and processes are checked by the concurrency tests below.
TEST_F(SqliteStore, BlobsPersistAcrossStoreObjectsAndAbandonedTransactionsLeaveNothing)
{
    const QByteArray binary("\0\x01\xff{\"x\"", 7);
    {
        auto defaults = std::make_shared<SqliteKeyValueStore>();
        defaults->write(u"binary"_qs, binary);
        defaults->write(u"empty"_qs, QByteArray());
        defaults->write(u"gone"_qs, "x");
        defaults->remove(u"gone"_qs);
        EXPECT_THROW(defaults->transact([](KeyValueAccess &access) {
            access.write(u"binary"_qs, "changed");
            access.write(u"new"_qs, "new");
            throw std::runtime_error("abandon");
        }),
                     std::runtime_error);
    }
    auto reopened = std::make_shared<SqliteKeyValueStore>();
    EXPECT_EQ(reopened->read(u"binary"_qs), binary);
    EXPECT_EQ(reopened->read(u"empty"_qs), QByteArray(""));
    EXPECT_FALSE(reopened->read(u"gone"_qs));
    EXPECT_FALSE(reopened->read(u"new"_qs));
}

// Each place is wrong in its own way; what was there stays as it was.
TEST_F(SqliteStore, UnusablePlacesGiveTypedErrors)
{
    const QByteArray notes = QByteArray("These are my notes, not a database.\n").repeated(40);
    QDir().mkpath(stateHome + u"/halvora"_qs);
    QFile file(filePath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(notes) == notes.size());
    file.close();
    // A regular file where the directory should be stops root as well as anyone.
    QDir().mkpath(stateHome + u"/other"_qs);
    QFile(stateHome + u"/other/halvora"_qs).open(QIODevice::WriteOnly);
    const QString blockedPath = stateHome + u"/other/halvora/defaults.sqlite3"_qs;
    const QString directoryPath = stateHome + u"/elsewhere/defaults.sqlite3"_qs;
    QDir().mkpath(directoryPath);
    const struct {
        QString path;
        bool save;
        Reason reason;
        QString text;
    } cases[] = {
        {filePath, false, Reason::notADatabase, u"데이터베이스 파일이 아니어서"_qs},
        {filePath, true, Reason::notADatabase, u"file is not a database"_qs},
        {blockedPath, false, Reason::cannotCreateDirectory, u"폴더를 만들 수 없습니다"_qs},
        {directoryPath, true, Reason::cannotOpen, directoryPath},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        auto store = historyStore(std::make_shared<SqliteKeyValueStore>(c.path));
        const KeyValueStoreError error = c.save ? failureOf([&] { store->save(historyRecord(u"A"_qs, 1)); })
                                                : failureOf([&] { store->loadHistory(); });
        EXPECT_EQ(error.reason(), c.reason);
        EXPECT_TRUE(error.localizedDescription().contains(c.path));
        EXPECT_TRUE(error.localizedDescription().contains(c.text));
    }
    EXPECT_EQ(contentsOf(filePath), notes);

    // Another connection holding the write lock past the timeout: reads go on, writes fail.
    const QString lockedPath = stateHome + u"/locked/defaults.sqlite3"_qs;
    auto store =
        historyStore(std::make_shared<SqliteKeyValueStore>(lockedPath, std::chrono::milliseconds(100)));
    store->save(historyRecord(u"A"_qs, 1));
    sqlite3 *other = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(lockedPath).constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(store->loadHistory().size(), 1);
    const KeyValueStoreError error = failureOf([&] { store->save(historyRecord(u"B"_qs, 2)); });
    EXPECT_EQ(error.reason(), Reason::busy);
    EXPECT_TRUE(error.localizedDescription().contains(lockedPath));
    EXPECT_TRUE(error.localizedDescription().contains(u"database is locked"_qs));
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    store->save(historyRecord(u"B"_qs, 2));
    EXPECT_EQ(store->loadHistory().size(), 2);
}

TEST_F(SqliteStore, RefusedWritesFailWithoutLosingReturnedSaves)
{
    // The size limit cuts a write of the log short, the way a full disk does; SQLite
    // reports it as an I/O error of the write.
    StoreChildProcess child(u"fill"_qs, filePath, u"full"_qs, 100000, 256 * 1024);
    ASSERT_TRUE(child.finish());
    ASSERT_EQ(child.errors().size(), 1);
    EXPECT_TRUE(child.errors()[0].startsWith(QString::number(int(Reason::writeFailed)) + u' '))
        << child.errors()[0].toStdString();
    EXPECT_TRUE(child.errors()[0].contains(filePath));
    EXPECT_TRUE(child.errors()[0].contains(u"disk I/O error"_qs));
    ASSERT_FALSE(child.savedIds().isEmpty());

    const QStringList stored = idsOf(historyStore(std::make_shared<SqliteKeyValueStore>())->loadHistory());
    for (const QString &id : child.savedIds())
        EXPECT_TRUE(stored.contains(id)) << id.toStdString();
}

// Savers through one store object and through store objects of their own, at once.
TEST_F(SqliteStore, ConcurrentSavesFromEightThreadsLoseNone)
{
    // Every save rewrites the whole history; HALVORA_STORE_SAVES asks for a longer run.
    const int saves = qEnvironmentVariableIsSet("HALVORA_STORE_SAVES")
                          ? qEnvironmentVariableIntValue("HALVORA_STORE_SAVES")
                          : 30;
    auto shared = historyStore(std::make_shared<SqliteKeyValueStore>());
    std::mutex failuresMutex;
    QStringList failures;
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            std::unique_ptr<UserDefaultsAssociationChangeHistoryStore> own;
            if (t % 2 == 1)
                own = historyStore(std::make_shared<SqliteKeyValueStore>());
            UserDefaultsAssociationChangeHistoryStore &store = own ? *own : *shared;
            try {
                for (int i = 0; i < saves; ++i)
                    store.save(historyRecord(u"T%1-%2"_qs.arg(t).arg(i), t * 1000 + i));
            } catch (const LocalizedError &error) {
                std::lock_guard lock(failuresMutex);
                failures.append(error.localizedDescription());
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    EXPECT_EQ(failures, QStringList());
    EXPECT_EQ(shared->loadHistory().size(), 8 * saves);
}

TEST_F(SqliteStore, ConcurrentSavesFromTwoProcessesLoseNone)
{
    auto store = historyStore(std::make_shared<SqliteKeyValueStore>());
    store->loadHistory();
    StoreChildProcess child(u"save"_qs, filePath, u"child"_qs, 150);
    ASSERT_TRUE(child.waitForLine(u"ready"_qs));
    for (int i = 0; i < 150; ++i)
        store->save(historyRecord(u"parent-%1"_qs.arg(i), 5000 + i));
    ASSERT_TRUE(child.finish());
    EXPECT_EQ(child.savedIds().size(), 150);

    const QStringList stored = idsOf(store->loadHistory());
    EXPECT_EQ(stored.size(), 300);
    for (int i = 0; i < 150; ++i) {
        EXPECT_TRUE(stored.contains(u"parent-%1"_qs.arg(i)));
        EXPECT_TRUE(stored.contains(u"child-%1"_qs.arg(i)));
    }
}

TEST_F(SqliteStore, WriterKilledMidRunKeepsEveryReturnedSave)
{
    StoreChildProcess child(u"save"_qs, filePath, u"killed"_qs, 100000);
    ASSERT_TRUE(child.waitForLine(u"saved killed-79"_qs)); // saves are reported in order
    child.kill();
    EXPECT_FALSE(child.finish());
    ASSERT_GE(child.savedIds().size(), 80);

    const QStringList stored = idsOf(historyStore(std::make_shared<SqliteKeyValueStore>())->loadHistory());
    for (const QString &id : child.savedIds())
        EXPECT_TRUE(stored.contains(id)) << id.toStdString();
}

} // namespace
} // namespace halvora::test
