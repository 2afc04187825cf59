#include "linux/mimeapps/ChangeJournal.h"

#include "core/model/ModelJson.h"
#include "linux/mimeapps/DurableFile.h"

#include <QCoroFuture>
#include <QDir>
#include <QFile>
#include <QFuture>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPromise>
#include <QtConcurrent/QtConcurrentRun>

#include <cerrno>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <unistd.h>

namespace halvora::mimeapps {

namespace {

// Changes of this process take turns without holding a thread: the flock is taken by one
// change at a time, and only while waiting for other processes does a thread block.
class Turns {
public:
    QFuture<void> enter()
    {
        const std::lock_guard lock(mutex_);
        if (!busy_) {
            busy_ = true;
            return QtFuture::makeReadyFuture();
        }
        waiting_.emplace_back();
        waiting_.back().start();
        return waiting_.back().future();
    }

    void leave()
    {
        std::optional<QPromise<void>> next;
        {
            const std::lock_guard lock(mutex_);
            if (waiting_.empty()) {
                busy_ = false;
                return;
            }
            next.emplace(std::move(waiting_.front()));
            waiting_.pop_front();
        }
        next->finish();
    }

private:
    std::mutex mutex_;
    bool busy_ = false;
    std::deque<QPromise<void>> waiting_;
};

Turns &processTurns()
{
    static Turns turns;
    return turns;
}

std::mutex currentMutex;
std::weak_ptr<ActiveChange> currentChange;

QString kindName(ChangeIntent::Kind kind)
{
    return kind == ChangeIntent::Kind::apply ? QStringLiteral("apply") : QStringLiteral("undo");
}

struct Journaled {
    ChangeIntent intent;
    QJsonArray lists;
};

QByteArray encode(const Journaled &entry)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("kind"), kindName(entry.intent.kind)},
                                     {QStringLiteral("record"), toJson(entry.intent.record)},
                                     {QStringLiteral("lists"), entry.lists}})
        .toJson(QJsonDocument::Compact);
}

std::optional<Journaled> decode(const QByteArray &bytes)
{
    const QJsonObject object = QJsonDocument::fromJson(bytes).object();
    try {
        const ChangeIntent::Kind kind =
            object.value(QStringLiteral("kind")).toString() == QStringLiteral("undo")
                ? ChangeIntent::Kind::undo
                : ChangeIntent::Kind::apply;
        return Journaled{{kind, fromJson<AssociationChangeRecord>(object.value(QStringLiteral("record")))},
                         object.value(QStringLiteral("lists")).toArray()};
    } catch (const JsonDecodingError &) {
        return std::nullopt;
    }
}

class Session final : public ChangeSession, public ActiveChange {
public:
    Session(std::shared_ptr<KeyValueStore> store, std::unique_ptr<ChangeLock> lock)
        : store_(std::move(store)), lock_(std::move(lock))
    {}

    ~Session() override
    {
        lock_.reset();
        processTurns().leave();
    }

    std::optional<ChangeIntent> abandoned() override
    {
        const std::optional<QByteArray> stored = store_->read(JournaledChangeGuard::intentKey);
        if (!stored)
            return std::nullopt;
        std::optional<Journaled> left = decode(*stored);
        if (!left) {
            // Stored in one transaction, so never torn; one that cannot be read must not
            // block every later change.
            store_->remove(JournaledChangeGuard::intentKey);
            return std::nullopt;
        }
        // The killed run may have died while replacing one of its lists.
        for (const QJsonValue &list : left->lists)
            removeLeftovers(list[QStringLiteral("path")].toString());
        const std::lock_guard lock(mutex_);
        journaled_ = std::move(left);
        stored_ = true;
        return journaled_->intent;
    }

    // Kept in memory until the writer says what it will change: nothing needs recovering
    // from a change that wrote nothing.
    void begin(const ChangeIntent &intent) override
    {
        const std::lock_guard lock(mutex_);
        journaled_ = Journaled{intent, {}};
        stored_ = false;
    }

    void finish() override
    {
        const std::lock_guard lock(mutex_);
        if (journaled_ && stored_)
            store_->remove(JournaledChangeGuard::intentKey);
        journaled_.reset();
        stored_ = false;
    }

    std::optional<ChangeIntent> intent() const override
    {
        const std::lock_guard lock(mutex_);
        return journaled_ ? std::optional(journaled_->intent) : std::nullopt;
    }

    // The intent and, for a change (not an undo), the images its undo will need, in one
    // durable transaction before any list is written.
    void recordLists(const QJsonArray &lists) override
    {
        const std::lock_guard lock(mutex_);
        if (!journaled_)
            return;
        journaled_->lists = lists;
        const bool apply = journaled_->intent.kind == ChangeIntent::Kind::apply;
        const QString recordId = journaled_->intent.record.id();
        const QByteArray intent = encode(*journaled_);
        store_->transact([&](KeyValueAccess &access) {
            access.write(JournaledChangeGuard::intentKey, intent);
            if (apply)
                keepImages(access, recordId, lists);
        });
        stored_ = true;
    }

    std::optional<QJsonArray> listsChangedBy(const QString &recordId) const override
    {
        const std::optional<QByteArray> stored = store_->read(JournaledChangeGuard::listImagesKey);
        if (!stored)
            return std::nullopt;
        for (const QJsonValue &entry : QJsonDocument::fromJson(*stored).array()) {
            if (entry[QStringLiteral("id")].toString() == recordId)
                return entry[QStringLiteral("lists")].toArray();
        }
        return std::nullopt;
    }

private:
    static void keepImages(KeyValueAccess &access, const QString &recordId, const QJsonArray &lists)
    {
        QJsonArray kept;
        kept.append(QJsonObject{{QStringLiteral("id"), recordId}, {QStringLiteral("lists"), lists}});
        if (const std::optional<QByteArray> stored = access.read(JournaledChangeGuard::listImagesKey)) {
            for (const QJsonValue &entry : QJsonDocument::fromJson(*stored).array()) {
                if (kept.size() < JournaledChangeGuard::maxListImages &&
                    entry[QStringLiteral("id")].toString() != recordId)
                    kept.append(entry);
            }
        }
        access.write(JournaledChangeGuard::listImagesKey, QJsonDocument(kept).toJson(QJsonDocument::Compact));
    }

    std::shared_ptr<KeyValueStore> store_;
    std::unique_ptr<ChangeLock> lock_;
    mutable std::mutex mutex_;
    std::optional<Journaled> journaled_;
    bool stored_ = false;
};

} // namespace

std::shared_ptr<ActiveChange> ActiveChange::current()
{
    const std::lock_guard lock(currentMutex);
    return currentChange.lock();
}

ChangeLock::ChangeLock(const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) {
        throw ListFileError(
            path,
            QStringLiteral("변경 잠금 파일 '%1'을(를) 열 수 없어 아무것도 바꾸지 않았습니다.").arg(path));
    }
    while (::flock(fd_, LOCK_EX) != 0) {
        if (errno != EINTR) {
            ::close(fd_);
            throw ListFileError(path, QStringLiteral("변경 잠금 파일 '%1'을(를) 잠글 수 없어 아무것도 바꾸지 "
                                                     "않았습니다.")
                                          .arg(path));
        }
    }
}

ChangeLock::~ChangeLock()
{
    // Closing the only descriptor releases the flock.
    ::close(fd_);
}

JournaledChangeGuard::JournaledChangeGuard(QString stateDirectory, std::shared_ptr<KeyValueStore> store,
                                           Disagreement disagreement)
    : stateDirectory_(std::move(stateDirectory)), store_(std::move(store)),
      disagreement_(std::move(disagreement))
{}

QString JournaledChangeGuard::defaultStateDirectory()
{
    QString stateHome = qEnvironmentVariable("XDG_STATE_HOME");
    if (stateHome.isEmpty() || !QDir::isAbsolutePath(stateHome))
        stateHome = QDir::homePath() + QStringLiteral("/.local/state");
    return stateHome + QStringLiteral("/halvora");
}

QString JournaledChangeGuard::lockPath() const
{
    return stateDirectory_ + QStringLiteral("/change.lock");
}

QCoro::Task<std::shared_ptr<ChangeSession>> JournaledChangeGuard::enter()
{
    QFuture<void> turn = processTurns().enter();
    co_await turn;
    QFuture<std::shared_ptr<ChangeSession>> locking =
        QtConcurrent::run(&JournaledChangeGuard::lockBlocking, this);
    std::shared_ptr<ChangeSession> session;
    try {
        session = co_await locking;
    } catch (...) {
        processTurns().leave();
        throw;
    }
    co_return session;
}

std::shared_ptr<ChangeSession> JournaledChangeGuard::lockBlocking() const
{
    // A change whose record could not be kept is not made: a store that cannot be used
    // fails here, with its own message, before the lock or any list is touched.
    store_->read(intentKey);
    auto lock = std::make_unique<ChangeLock>(lockPath());
    auto session = std::make_shared<Session>(store_, std::move(lock));
    const std::lock_guard guard(currentMutex);
    currentChange = session;
    return session;
}

bool JournaledChangeGuard::mayHaveAbandoned() const
{
    try {
        return store_->read(intentKey).has_value();
    } catch (...) {
        return true;
    }
}

std::optional<QString> JournaledChangeGuard::disagreement(const QString &contentTypeIdentifier,
                                                          const AssociatedApp &expected) const
{
    return disagreement_ ? disagreement_(contentTypeIdentifier, expected) : std::nullopt;
}

} // namespace halvora::mimeapps
