#include "linux/store/SqliteKeyValueStore.h"

#include "core/history/KeyValueStoreError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace halvora {

namespace {

using Reason = KeyValueStoreError::Reason;

QString systemMessage(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// A full disk is SQLITE_FULL; the errno behind an I/O error is not kept reliably by SQLite,
// so other write faults are reported by the operation that failed.
Reason reasonFor(int rc, Reason otherwise)
{
    switch (rc & 0xff) {
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        return Reason::notADatabase;
    case SQLITE_FULL:
        return Reason::diskFull;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return Reason::busy;
    default:
        return otherwise;
    }
}

[[noreturn]] void fail(sqlite3 *db, int rc, Reason otherwise, const QString &filePath)
{
    const char *message = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    throw KeyValueStoreError(reasonFor(rc, otherwise), filePath, QString::fromUtf8(message));
}

// Creates the directory and any missing parents, each readable by the user alone.
void makeDirectory(const QString &path, const QString &filePath)
{
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) == 0)
        return;
    int error = errno;
    if (error == ENOENT) {
        const QString parent = QFileInfo(path).path();
        if (parent != path) {
            makeDirectory(parent, filePath);
            if (::mkdir(native.constData(), 0700) == 0)
                return;
            error = errno;
        }
    }
    if (error == EEXIST) {
        struct stat info {};
        if (::stat(native.constData(), &info) == 0 && S_ISDIR(info.st_mode))
            return;
        error = ENOTDIR;
    }
    throw KeyValueStoreError(Reason::cannotCreateDirectory, filePath,
                             QStringLiteral("%1: %2").arg(path, systemMessage(error)));
}

// Creating the file ourselves gives it mode 0600 from the start; SQLite gives its
// write-ahead log and shared-memory files the mode of the database file. Returns the
// file's identity on its device.
std::pair<dev_t, ino_t> makeFile(const QString &filePath)
{
    const int fd = ::open(QFile::encodeName(filePath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        throw KeyValueStoreError(Reason::cannotOpen, filePath, systemMessage(errno));
    struct stat info {};
    const bool known = ::fstat(fd, &info) == 0;
    const int error = errno;
    ::close(fd);
    if (!known)
        throw KeyValueStoreError(Reason::cannotOpen, filePath, systemMessage(error));
    return {info.st_dev, info.st_ino};
}

// One writer lock per database file in this process. SQLite's busy timeout polls, so a
// writer among several connections of one process can lose every race for the lock and give
// up; waiting on a mutex instead leaves the timeout to writers of other processes.
std::shared_ptr<std::mutex> writerLockFor(std::pair<dev_t, ino_t> file)
{
    static std::mutex registryMutex;
    static std::map<std::pair<dev_t, ino_t>, std::weak_ptr<std::mutex>> registry;
    std::lock_guard lock(registryMutex);
    std::weak_ptr<std::mutex> &entry = registry[file];
    std::shared_ptr<std::mutex> writerLock = entry.lock();
    if (!writerLock) {
        writerLock = std::make_shared<std::mutex>();
        entry = writerLock;
    }
    return writerLock;
}

class Statement {
public:
    Statement() = default;
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;
    ~Statement() { sqlite3_finalize(statement_); }

    void prepare(sqlite3 *db, const char *sql, const QString &filePath)
    {
        const int rc = sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement_, nullptr);
        if (rc != SQLITE_OK)
            fail(db, rc, Reason::cannotOpen, filePath);
    }

    sqlite3_stmt *get() const { return statement_; }

private:
    sqlite3_stmt *statement_ = nullptr;
};

// Resets a statement when leaving scope, so that no statement keeps a read open.
class Reset {
public:
    explicit Reset(sqlite3_stmt *statement) : statement_(statement) {}
    Reset(const Reset &) = delete;
    Reset &operator=(const Reset &) = delete;
    ~Reset()
    {
        sqlite3_reset(statement_);
        sqlite3_clear_bindings(statement_);
    }

private:
    sqlite3_stmt *statement_;
};

} // namespace

class SqliteKeyValueStore::Connection final : public KeyValueAccess {
public:
    Connection(const QString &filePath, std::chrono::milliseconds busyTimeout) : filePath_(filePath)
    {
        makeDirectory(QFileInfo(filePath).path(), filePath);
        writerLock_ = writerLockFor(makeFile(filePath));
        // Setting up may write to a new file; threads of this process wait here in turn.
        std::lock_guard setup(*writerLock_);
        sqlite3 *db = nullptr;
        const int rc =
            sqlite3_open_v2(QFile::encodeName(filePath).constData(), &db,
                            SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE, nullptr);
        // SQLite hands out a handle even when opening fails; it must be closed either way.
        handle_.reset(db);
        db_ = db;
        if (rc != SQLITE_OK)
            fail(db_, rc, Reason::cannotOpen, filePath_);
        sqlite3_busy_timeout(db_, int(busyTimeout.count()));
        // This is the first read of the file, so a file that is not a database fails here
        // before anything is written to it.
        useWriteAheadLog(busyTimeout);
        execute("PRAGMA synchronous=FULL");
        execute("CREATE TABLE IF NOT EXISTS entries (key TEXT PRIMARY KEY NOT NULL, value BLOB NOT NULL)");
        select_.prepare(db_, "SELECT value FROM entries WHERE key = ?1", filePath_);
        upsert_.prepare(db_,
                        "INSERT INTO entries (key, value) VALUES (?1, ?2) "
                        "ON CONFLICT (key) DO UPDATE SET value = excluded.value",
                        filePath_);
        delete_.prepare(db_, "DELETE FROM entries WHERE key = ?1", filePath_);
        begin_.prepare(db_, "BEGIN IMMEDIATE", filePath_);
        commit_.prepare(db_, "COMMIT", filePath_);
        rollback_.prepare(db_, "ROLLBACK", filePath_);
    }

    // Held by every write and transaction of this process on the file.
    std::mutex &writerLock() { return *writerLock_; }

    std::optional<QByteArray> read(const QString &key) override
    {
        sqlite3_stmt *statement = select_.get();
        Reset reset(statement);
        bindKey(statement, key);
        const int rc = sqlite3_step(statement);
        if (rc == SQLITE_DONE)
            return std::nullopt;
        if (rc != SQLITE_ROW)
            fail(db_, rc, Reason::readFailed, filePath_);
        const auto *bytes = static_cast<const char *>(sqlite3_column_blob(statement, 0));
        const int size = sqlite3_column_bytes(statement, 0);
        return size > 0 ? QByteArray(bytes, size) : QByteArray("");
    }

    void write(const QString &key, const QByteArray &value) override
    {
        sqlite3_stmt *statement = upsert_.get();
        Reset reset(statement);
        bindKey(statement, key);
        // A null pointer would bind NULL, and the column takes only blobs.
        if (value.isEmpty())
            sqlite3_bind_zeroblob(statement, 2, 0);
        else
            sqlite3_bind_blob64(statement, 2, value.constData(), sqlite3_uint64(value.size()), SQLITE_STATIC);
        step(statement, Reason::writeFailed);
    }

    void remove(const QString &key) override
    {
        sqlite3_stmt *statement = delete_.get();
        Reset reset(statement);
        bindKey(statement, key);
        step(statement, Reason::writeFailed);
    }

    void transact(const std::function<void(KeyValueAccess &access)> &body)
    {
        step(begin_.get(), Reason::writeFailed);
        try {
            body(*this);
            step(commit_.get(), Reason::writeFailed);
        } catch (...) {
            // Some failures (a full disk, an I/O error) have already ended the transaction.
            if (sqlite3_get_autocommit(db_) == 0) {
                sqlite3_step(rollback_.get());
                sqlite3_reset(rollback_.get());
            }
            throw;
        }
    }

private:
    // Switching a new file to the log takes its exclusive lock while holding a read lock,
    // and SQLite then answers "busy" at once instead of waiting, so a process opening the
    // same new file at the same moment waits here, up to the busy timeout.
    void useWriteAheadLog(std::chrono::milliseconds busyTimeout)
    {
        const auto deadline = std::chrono::steady_clock::now() + busyTimeout;
        for (;;) {
            const int rc = sqlite3_exec(db_, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
            if (rc == SQLITE_OK)
                return;
            if ((rc & 0xff) != SQLITE_BUSY || std::chrono::steady_clock::now() >= deadline)
                fail(db_, rc, Reason::cannotOpen, filePath_);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    void execute(const char *sql)
    {
        const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            fail(db_, rc, Reason::cannotOpen, filePath_);
    }

    void bindKey(sqlite3_stmt *statement, const QString &key)
    {
        const QByteArray utf8 = key.toUtf8();
        sqlite3_bind_text64(statement, 1, utf8.constData(), sqlite3_uint64(utf8.size()), SQLITE_TRANSIENT,
                            SQLITE_UTF8);
    }

    void step(sqlite3_stmt *statement, Reason otherwise)
    {
        const int rc = sqlite3_step(statement);
        sqlite3_reset(statement);
        if (rc != SQLITE_DONE)
            fail(db_, rc, otherwise, filePath_);
    }

    struct Close {
        void operator()(sqlite3 *db) const { sqlite3_close_v2(db); }
    };

    QString filePath_;
    std::shared_ptr<std::mutex> writerLock_;
    // Declared before the statements, so that it is closed after they are finalised.
    std::unique_ptr<sqlite3, Close> handle_;
    sqlite3 *db_ = nullptr;
    Statement select_, upsert_, delete_, begin_, commit_, rollback_;
};

QString SqliteKeyValueStore::defaultFilePath()
{
    QString stateHome = qEnvironmentVariable("XDG_STATE_HOME");
    if (stateHome.isEmpty() || !QDir::isAbsolutePath(stateHome))
        stateHome = QDir::homePath() + QStringLiteral("/.local/state");
    return stateHome + QStringLiteral("/halvora/defaults.sqlite3");
}

SqliteKeyValueStore::SqliteKeyValueStore() : SqliteKeyValueStore(defaultFilePath()) {}

SqliteKeyValueStore::SqliteKeyValueStore(QString filePath, std::chrono::milliseconds busyTimeout)
    : filePath_(std::move(filePath)), busyTimeout_(busyTimeout)
{}

SqliteKeyValueStore::~SqliteKeyValueStore() = default;

SqliteKeyValueStore::Connection &SqliteKeyValueStore::connection()
{
    if (!connection_)
        connection_ = std::make_unique<Connection>(filePath_, busyTimeout_);
    return *connection_;
}

std::optional<QByteArray> SqliteKeyValueStore::read(const QString &key)
{
    std::lock_guard lock(mutex_);
    // Nothing stored yet: reading must not create the folder or the file, only a write does.
    struct stat info {};
    if (!connection_ && ::stat(QFile::encodeName(filePath_).constData(), &info) != 0 && errno == ENOENT)
        return std::nullopt;
    return connection().read(key);
}

void SqliteKeyValueStore::write(const QString &key, const QByteArray &value)
{
    std::lock_guard lock(mutex_);
    Connection &open = connection();
    std::lock_guard writing(open.writerLock());
    open.write(key, value);
}

void SqliteKeyValueStore::remove(const QString &key)
{
    std::lock_guard lock(mutex_);
    Connection &open = connection();
    std::lock_guard writing(open.writerLock());
    open.remove(key);
}

void SqliteKeyValueStore::transact(const std::function<void(KeyValueAccess &access)> &body)
{
    std::lock_guard lock(mutex_);
    Connection &open = connection();
    std::lock_guard writing(open.writerLock());
    open.transact(body);
}

} // namespace halvora
