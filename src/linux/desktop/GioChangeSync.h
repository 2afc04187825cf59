#pragma once

#include <QByteArray>
#include <QList>

#include <mutex>

typedef struct _GMainContext GMainContext;

namespace halvora {

// GIO keeps what it read from mimeapps.list, the MIME caches and the applications
// directories in memory, process wide, and drops a directory's share when a file monitor
// reports a change there. Those reports are read from inotify by a glib worker thread, so
// they land some time after the write: a query made right after another process changed a
// file, or while other threads kept GIO busy, was answered from the old files (measured:
// 2 to 25 queries in 100 made right after a change).
//
// This closes that window without relying on GIO's internals: before a query it compares
// the files GIO reads (the directories, and the list and cache files in them) with what
// they were at the previous query. When some changed, it waits until GIO has reported one
// change per changed directory through GAppInfoMonitor (whose "changed" signal follows the
// drop of the cached data) and the reports have stopped for a moment, at most a few
// seconds. Queries run one at a time. Only the first query after a change waits.
class GioChangeSync {
public:
    // The one instance: GIO's cache is shared by the whole process.
    static GioChangeSync &instance();

    // Runs query once GIO answers from the current files.
    template <typename Query> auto query(Query &&query)
    {
        const std::lock_guard lock(mutex_);
        settle();
        return query();
    }

    // Runs a change that GIO applies to its own cache as it writes (setting a default), and
    // takes the files as they are afterwards as the known state.
    template <typename Change> void change(Change &&change)
    {
        const std::lock_guard lock(mutex_);
        settle();
        struct Rebase {
            GioChangeSync &sync;
            ~Rebase() { sync.rebase(); }
        } rebase{*this};
        change();
    }

private:
    GioChangeSync();
    void settle();
    void rebase();
    int drainReports();
    QList<QByteArray> fingerprints() const;

    std::mutex mutex_;
    GMainContext *context_ = nullptr;
    QList<QByteArray> directories_;
    QList<QByteArray> known_;
    int reports_ = 0;
};

} // namespace halvora
