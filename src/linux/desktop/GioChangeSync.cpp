#include "linux/desktop/GioChangeSync.h"

#include <gio/gio.h>

#include <sys/stat.h>

#include <chrono>

namespace halvora {

namespace {

// Long enough for the glib worker on a loaded machine; a change GIO never reports (it read
// the file already, or lost the monitor) costs one wait of this length, not a wrong answer.
constexpr auto reportTimeout = std::chrono::seconds(3);
constexpr auto quietPeriod = std::chrono::milliseconds(60);
constexpr guint waitSliceMs = 10;

// The files of a directory that GIO's answers come from, besides the directory itself (whose
// times change when an entry is added, removed or replaced by renaming).
QList<QByteArray> watchedFileNames()
{
    QList<QByteArray> names{"mimeapps.list", "defaults.list", "mimeinfo.cache"};
    const QByteArray desktops = qgetenv("XDG_CURRENT_DESKTOP").toLower();
    for (const QByteArray &desktop : desktops.split(':')) {
        if (!desktop.isEmpty())
            names.append(desktop + "-mimeapps.list");
    }
    return names;
}

void appendStat(QByteArray &fingerprint, const QByteArray &path)
{
    struct stat info {};
    if (::stat(path.constData(), &info) != 0) {
        fingerprint.append("-;");
        return;
    }
    fingerprint.append(QByteArray::number(quint64(info.st_ino)) + ',' +
                       QByteArray::number(qint64(info.st_size)) + ',' +
                       QByteArray::number(qint64(info.st_mtim.tv_sec)) + '.' +
                       QByteArray::number(qint64(info.st_mtim.tv_nsec)) + ',' +
                       QByteArray::number(qint64(info.st_ctim.tv_sec)) + '.' +
                       QByteArray::number(qint64(info.st_ctim.tv_nsec)) + ';');
}

void countReport(GAppInfoMonitor *, gpointer counter)
{
    ++*static_cast<int *>(counter);
}

gboolean endWaitSlice(gpointer)
{
    return G_SOURCE_REMOVE;
}

} // namespace

GioChangeSync &GioChangeSync::instance()
{
    // Never destroyed: the monitor may only be released under its context, and GIO's
    // cache lives as long as the process anyway.
    static GioChangeSync *const sync = new GioChangeSync;
    return *sync;
}

GioChangeSync::GioChangeSync() : context_(g_main_context_new())
{
    // The monitor reports on the context that is the thread's default when it is made; a
    // private one, iterated only here, so no other code's main loop is involved.
    g_main_context_push_thread_default(context_);
    GAppInfoMonitor *monitor = g_app_info_monitor_get();
    g_signal_connect(monitor, "changed", G_CALLBACK(countReport), &reports_);
    g_main_context_pop_thread_default(context_);

    // The directories GIO reads, in the same places it takes them from.
    directories_.append(g_get_user_config_dir());
    for (const gchar *const *dir = g_get_system_config_dirs(); *dir; ++dir)
        directories_.append(*dir);
    directories_.append(QByteArray(g_get_user_data_dir()) + "/applications");
    for (const gchar *const *dir = g_get_system_data_dirs(); *dir; ++dir)
        directories_.append(QByteArray(*dir) + "/applications");
}

QList<QByteArray> GioChangeSync::fingerprints() const
{
    static const QList<QByteArray> names = watchedFileNames();
    QList<QByteArray> result;
    result.reserve(directories_.size());
    for (const QByteArray &dir : directories_) {
        QByteArray fingerprint;
        appendStat(fingerprint, dir);
        for (const QByteArray &name : names)
            appendStat(fingerprint, dir + '/' + name);
        result.append(std::move(fingerprint));
    }
    return result;
}

int GioChangeSync::drainReports()
{
    while (g_main_context_iteration(context_, FALSE)) {
    }
    return reports_;
}

void GioChangeSync::settle()
{
    drainReports();
    const QList<QByteArray> now = fingerprints();
    int changed = 0;
    for (qsizetype i = 0; i < now.size() && i < known_.size(); ++i)
        changed += now[i] != known_[i] ? 1 : 0;

    // One change often arrives as several events (a temporary file, then the rename over the
    // list); when another query made GIO read the directory between them, a later report
    // drops that read again. So after the expected reports, wait until they stop coming.
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + reportTimeout;
    auto lastReport = Clock::now();
    int seen = drainReports();
    while (changed > 0 && Clock::now() < deadline &&
           (seen < changed || Clock::now() - lastReport < quietPeriod)) {
        GSource *slice = g_timeout_source_new(waitSliceMs);
        g_source_set_callback(slice, endWaitSlice, nullptr, nullptr);
        g_source_attach(slice, context_);
        g_main_context_iteration(context_, TRUE);
        g_source_destroy(slice);
        g_source_unref(slice);
        if (drainReports() != seen) {
            seen = reports_;
            lastReport = Clock::now();
        }
    }
    known_ = now;
    reports_ = 0;
}

void GioChangeSync::rebase()
{
    drainReports();
    known_ = fingerprints();
    reports_ = 0;
}

} // namespace halvora
