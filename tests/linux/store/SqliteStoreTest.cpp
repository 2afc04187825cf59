#include "core/history/HistoryTestSupport.h"
#include "core/history/KeyValueStoreError.h"
#include "core/history/UserDefaultsAssociationChangeHistoryStore.h"
#include "linux/store/SqliteKeyValueStore.h"
#include "support/TestIsolation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <sqlite3.h>

#include <csignal>
#include <cstdio>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace halvora::test {
namespace {

using Reason = KeyValueStoreError::Reason;

std::unique_ptr<UserDefaultsAssociationChangeHistoryStore>
historyStore(std::shared_ptr<KeyValueStore> defaults = std::make_shared<SqliteKeyValueStore>(),
             int maxRecords = 1000)
{
    return std::make_unique<UserDefaultsAssociationChangeHistoryStore>(
        std::move(defaults), u"associationChangeHistory"_qs, u"recentAssociationChange"_qs, maxRecords);
}

// Started with --store-child FILE COUNT SIZE-LIMIT, this binary is a second writer of that file:
// it saves child-0, child-1, ..., says "ready" once the store is open, "saved ID" after every save
// that returned, "error REASON DESCRIPTION" when one failed, and ends without running tests.
struct StoreChild : ::testing::Environment {
    void SetUp() override
    {
        const QStringList arguments = QCoreApplication::arguments();
        if (arguments.value(1) != u"--store-child"_qs)
            return;
        // Past a file-size limit a write comes up short, as on a full disk; the signal would kill us.
        std::signal(SIGXFSZ, SIG_IGN);
        std::setvbuf(stdout, nullptr, _IOLBF, 0);
        if (const rlim_t limit = arguments.value(4).toULongLong(); limit > 0) {
            const rlimit fileSize{limit, limit};
            ::setrlimit(RLIMIT_FSIZE, &fileSize);
        }
        const auto store = historyStore(std::make_shared<SqliteKeyValueStore>(arguments.value(2)), 1000000);
        store->loadHistory();
        std::puts("ready");
        for (int i = 0; i < arguments.value(3).toInt(); ++i) {
            try {
                store->save(historyRecord(u"child-%1"_qs.arg(i), 1000 + i));
            } catch (const KeyValueStoreError &error) {
                std::printf("error %d %s\n", int(error.reason()),
                            qUtf8Printable(error.localizedDescription()));
                break;
            }
            std::printf("saved child-%d\n", i);
        }
        std::_Exit(0);
    }
};

[[maybe_unused]] const auto *const storeChild = ::testing::AddGlobalTestEnvironment(new StoreChild);

// The parent's side of a store child.
class Child : public QProcess {
public:
    Child(const QString &filePath, int count, int fileSizeLimit = 0)
    {
        setProcessChannelMode(QProcess::ForwardedErrorChannel);
        start(QCoreApplication::applicationFilePath(),
              {u"--store-child"_qs, filePath, QString::number(count), QString::number(fileSizeLimit)});
    }
    // Reads until the line has come; false when the child ended first.
    bool waitFor(const QString &line)
    {
        while (!output_.contains(u'\n' + line + u'\n') && waitForReadyRead(-1))
            output_ += QString::fromUtf8(readAllStandardOutput());
        return output_.contains(u'\n' + line + u'\n');
    }
    // True when the child ended on its own.
    bool finish()
    {
        waitForFinished(-1);
        output_ += QString::fromUtf8(readAllStandardOutput());
        return exitStatus() == QProcess::NormalExit && exitCode() == 0;
    }
    QStringList linesAfter(const QString &word) const
    {
        const QRegularExpression start(u'^' + word + u' ');
        return output_.split(u'\n').filter(start).replaceInStrings(start, QString());
    }

private:
    QString output_ = u"\n"_qs;
};

// The saves that returned are all there; some did.
void expectStored(const QStringList &ids)
{
    EXPECT_FALSE(ids.isEmpty());
    const QStringList stored = idsOf(historyStore()->loadHistory());
    for (const QString &id : ids)
        EXPECT_TRUE(stored.contains(id)) << id.toStdString();
}

// Gives every test a state directory of its own that does not exist yet.
struct SqliteStore : ::testing::Test {
    void SetUp() override
    {
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        stateHome = isolatedRoot() + u"/state/"_qs + QString::fromUtf8(info->name());
        ::setenv("XDG_STATE_HOME", QFile::encodeName(stateHome).constData(), 1);
        filePath = stateHome + u"/halvora/defaults.sqlite3"_qs;
    }

    QString stateHome, filePath;
};

mode_t modeOf(const QString &path)
{
    struct stat info {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info.st_mode & 07777;
}

template <typename Operation> std::optional<KeyValueStoreError> failureOf(Operation operation)
{
    try {
        operation();
    } catch (const KeyValueStoreError &error) {
        return error;
    }
    return std::nullopt;
}

TEST_F(SqliteStore, FileLivesUnderStateHomeWithPrivateModesAndKeepsBlobsAcrossStoreObjects)
{
    EXPECT_EQ(SqliteKeyValueStore::defaultFilePath(), filePath);
    const QByteArray binary("\0\x01\xff{\"x\"", 7);
    {
        SqliteKeyValueStore defaults;
        // Reading a fresh profile finds nothing and creates nothing.
        EXPECT_FALSE(defaults.read(u"binary"_qs));
        EXPECT_FALSE(QFileInfo::exists(stateHome)) << "created by a read";
        defaults.write(u"binary"_qs, binary);
        EXPECT_EQ(modeOf(stateHome), 0700u);
        EXPECT_EQ(modeOf(stateHome + u"/halvora"_qs), 0700u);
        EXPECT_EQ(modeOf(filePath), 0600u);
        // Only a write-ahead journal leaves this file beside the open database.
        EXPECT_EQ(modeOf(filePath + u"-wal"_qs), 0600u);

        defaults.write(u"empty"_qs, QByteArray());
        defaults.write(u"gone"_qs, "x");
        defaults.remove(u"gone"_qs);
        EXPECT_THROW(defaults.transact([](KeyValueAccess &access) {
            access.write(u"binary"_qs, "changed");
            throw std::runtime_error("abandon");
        }),
                     std::runtime_error);
    }
    SqliteKeyValueStore reopened;
    EXPECT_EQ(reopened.read(u"binary"_qs), binary);
    EXPECT_EQ(reopened.read(u"empty"_qs), QByteArray(""));
    EXPECT_FALSE(reopened.read(u"gone"_qs));

    for (const char *unusable : {"relative/state", ""}) {
        ::setenv("XDG_STATE_HOME", unusable, 1);
        EXPECT_EQ(SqliteKeyValueStore::defaultFilePath(),
                  QDir::homePath() + u"/.local/state/halvora/defaults.sqlite3"_qs);
    }
}

// Each place is wrong in its own way; what was there stays as it was.
TEST_F(SqliteStore, UnusablePlacesGiveTypedErrors)
{
    const QByteArray notes = QByteArray("These are my notes, not a database.\n").repeated(40);
    QDir().mkpath(stateHome + u"/halvora"_qs);
    QFile file(filePath);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite) && file.write(notes) == notes.size() && file.flush());
    const struct {
        QString path;
        Reason reason;
        QString text;
    } cases[] = {
        {filePath, Reason::notADatabase, u"데이터베이스 파일이 아니어서"_qs},
        // A regular file where the directory should be stops root as well as anyone.
        {filePath + u"/defaults.sqlite3"_qs, Reason::cannotCreateDirectory, u"폴더를 만들 수 없습니다"_qs},
        {stateHome + u"/halvora"_qs, Reason::cannotOpen, u"열 수 없습니다"_qs}, // a folder
    };
    for (const auto &c : cases) {
        const KeyValueStoreError error = failureOf([&] { SqliteKeyValueStore(c.path).read({}); }).value();
        EXPECT_EQ(error.reason(), c.reason);
        EXPECT_TRUE(error.localizedDescription().contains(c.path) &&
                    error.localizedDescription().contains(c.text))
            << c.path.toStdString();
    }
    file.seek(0);
    EXPECT_EQ(file.readAll(), notes);

    // Another connection holding the write lock past the timeout: reads go on, writes fail, and
    // succeed again once it lets go (closing rolls its transaction back).
    SqliteKeyValueStore store(stateHome + u"/locked"_qs, std::chrono::milliseconds(100));
    store.write(u"k"_qs, "1");
    sqlite3 *other = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(stateHome + u"/locked"_qs).constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(store.read(u"k"_qs), QByteArray("1"));
    EXPECT_EQ(failureOf([&] { store.write(u"k"_qs, "2"); }).value().reason(), Reason::busy);
    sqlite3_close(other);
    store.write(u"k"_qs, "2");
}

TEST_F(SqliteStore, RefusedWritesFailWithoutLosingReturnedSaves)
{
    // The size limit cuts a write of the log short, the way a full disk does; SQLite
    // reports it as an I/O error of the write.
    Child child(filePath, 100000, 256 * 1024);
    ASSERT_TRUE(child.finish());
    const QStringList errors = child.linesAfter(u"error"_qs);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].startsWith(QString::number(int(Reason::writeFailed)) + u' ') &&
                errors[0].contains(u"disk I/O error"_qs))
        << errors[0].toStdString();
    expectStored(child.linesAfter(u"saved"_qs));
}

// Savers through one store object and through store objects of their own, at once.
TEST_F(SqliteStore, ConcurrentSavesFromEightThreadsLoseNone)
{
    auto shared = historyStore();
    std::vector<std::jthread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            const auto own = t % 2 == 1 ? historyStore() : nullptr;
            for (int i = 0; i < 30; ++i)
                EXPECT_NO_THROW(
                    (own ? *own : *shared).save(historyRecord(u"T%1-%2"_qs.arg(t).arg(i), t * 1000 + i)));
        });
    }
    threads.clear(); // joins
    EXPECT_EQ(shared->loadHistory().size(), 8 * 30);
}

TEST_F(SqliteStore, ConcurrentSavesFromTwoProcessesLoseNone)
{
    auto store = historyStore();
    Child child(filePath, 150);
    ASSERT_TRUE(child.waitFor(u"ready"_qs));
    for (int i = 0; i < 150; ++i)
        store->save(historyRecord(u"parent-%1"_qs.arg(i), 5000 + i));
    ASSERT_TRUE(child.finish());
    EXPECT_EQ(child.linesAfter(u"saved"_qs).size(), 150);
    EXPECT_EQ(store->loadHistory().size(), 300); // the ids are all distinct
}

TEST_F(SqliteStore, WriterKilledMidRunKeepsEveryReturnedSave)
{
    Child child(filePath, 100000);
    ASSERT_TRUE(child.waitFor(u"saved child-79"_qs)); // saves are reported in order
    child.kill();
    EXPECT_FALSE(child.finish());
    expectStored(child.linesAfter(u"saved"_qs));
}

} // namespace
} // namespace halvora::test
