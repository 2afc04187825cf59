#include "linux/mimeapps/MimeAppsResolver.h"

#include "linux/mimeapps/GlibHandles.h"

#include "linux/mimeapps/FileStamp.h"
#include "linux/mimeapps/MimeCacheFacts.h"

#include <dirent.h>
#include <glib.h>

#include <QDir>
#include <QFile>
#include <QHash>
#include <QSet>

#include <mutex>

namespace halvora {

namespace {

struct Named {
    QString id;
    ListSource source;
};

struct Tweaks {
    QList<Named> defaults;
    QList<Named> additions;
    QList<Named> removals;
};

bool containsId(const QList<Named> &list, const QString &id)
{
    return std::any_of(list.begin(), list.end(), [&](const Named &n) { return n.id == id; });
}

// What the desktop file alone says; whether its programs exist is asked per snapshot.
struct EntryFacts {
    bool valid = false;
    QString tryExec;
    QString program;
    bool hidden = false;
    bool noDisplay = false;
    std::optional<QString> name;
    std::optional<QString> localizedName;
};

std::optional<QString> takeString(gchar *value)
{
    if (!value)
        return std::nullopt;
    QString text = QString::fromUtf8(value);
    g_free(value);
    return text;
}

EntryFacts readEntry(const QString &path)
{
    EntryFacts facts;
    const glib::KeyFile file(g_key_file_new());
    if (!g_key_file_load_from_file(file.get(), QFile::encodeName(path).constData(), G_KEY_FILE_NONE, nullptr))
        return facts;
    const char *group = G_KEY_FILE_DESKTOP_GROUP;
    if (takeString(g_key_file_get_start_group(file.get())) != QString::fromLatin1(group))
        return facts;
    if (takeString(g_key_file_get_string(file.get(), group, "Type", nullptr)) !=
        QStringLiteral("Application"))
        return facts;
    facts.tryExec =
        takeString(g_key_file_get_string(file.get(), group, "TryExec", nullptr)).value_or(QString());
    if (gchar *exec = g_key_file_get_string(file.get(), group, "Exec", nullptr)) {
        if (exec[0] != '\0') {
            gchar **argv = nullptr;
            const bool parsed = g_shell_parse_argv(exec, nullptr, &argv, nullptr);
            if (parsed)
                facts.program = QString::fromUtf8(argv[0]);
            g_strfreev(argv);
            if (!parsed) {
                g_free(exec);
                return facts;
            }
        }
        g_free(exec);
    }
    facts.hidden = g_key_file_get_boolean(file.get(), group, "Hidden", nullptr);
    facts.noDisplay = g_key_file_get_boolean(file.get(), group, "NoDisplay", nullptr);
    facts.name = takeString(g_key_file_get_string(file.get(), group, "Name", nullptr));
    facts.localizedName =
        takeString(g_key_file_get_locale_string(file.get(), group, "Name", nullptr, nullptr));
    facts.valid = true;
    return facts;
}

struct DirState {
    QString path;
    bool config = false;
    QHash<QString, QString> ids; // desktop ID -> file
    QHash<QString, Tweaks> tweaks;
};

struct Loaded {
    std::optional<ResolvedApp> app;
    SkipReason failure = SkipReason::notInstalled;
};

} // namespace

// Every file checked once: the lists, the directory listings, and (lazily) the entries.
struct Snapshot {
    std::shared_ptr<const MimeTypeFacts> types;
    QList<ListFile> files;
    QList<DirState> dirs;
    QString userList;

    mutable std::mutex mutex;
    mutable QHash<QString, std::shared_ptr<const EntryFacts>> entries;
    mutable QHash<QString, bool> programs;
    // Answers already given from this reading.
    mutable QHash<QString, DefaultAnswer> defaults;
    mutable QHash<QString, QList<CandidateAnswer>> candidates;
};

struct MimeAppsResolver::Impl {
    XdgEnvironment environment;
    std::shared_ptr<const MimeTypeFacts> types;

    template <typename T> struct Stamped {
        FileStamp stamp;
        T value;
    };
    // Names in directory order; true for desktop entries.
    using Listing = QList<std::pair<QByteArray, bool>>;
    std::mutex mutex;
    // With the bytes it was parsed from.
    struct ReadList {
        FileStamp stamp;
        ListFile value;
        QByteArray bytes;
    };
    QHash<QString, ReadList> lists;
    QHash<QString, Stamped<Listing>> listings;
    QHash<QString, Stamped<std::shared_ptr<const EntryFacts>>> entries;

    // The lists and directories of the last reading, reused while none of them changed.
    std::shared_ptr<const Snapshot> last;

    std::shared_ptr<const Snapshot> snapshot();
    ListFile readList(const ListFile &location, bool &reread);
    void scan(const QString &directory, const QString &prefix, QHash<QString, QString> *ids, int depth,
              bool &reread);
    std::shared_ptr<const EntryFacts> entry(const QString &path);
};

namespace {
thread_local const Snapshot *currentSnapshot = nullptr;
}

ListFile MimeAppsResolver::Impl::readList(const ListFile &location, bool &reread)
{
    const std::optional<FileStamp> stamp = FileStamp::of(location.path);
    if (!stamp || stamp->directory) {
        // Absent now: a change only if it was there before.
        const std::lock_guard lock(mutex);
        reread = reread || lists.remove(location.path);
        return location;
    }
    {
        const std::lock_guard lock(mutex);
        const auto cached = lists.constFind(location.path);
        if (cached != lists.cend() && cached->stamp.sameAs(*stamp) && cached->value.kind == location.kind &&
            cached->value.directoryIndex == location.directoryIndex)
            return cached->value;
    }
    ListFile file = location;
    QFile input(location.path);
    if (!stamp->regular || !input.open(QIODevice::ReadOnly)) {
        reread = true;
        return file;
    }
    QByteArray bytes = input.readAll();
    {
        // Read again (changed, or too recently to trust its stamp) but byte for byte what was
        // parsed: a file just written stays unsettled for a while, and is asked about at once.
        const std::lock_guard lock(mutex);
        const auto cached = lists.find(location.path);
        if (cached != lists.end() && cached->bytes == bytes && cached->value.kind == location.kind &&
            cached->value.directoryIndex == location.directoryIndex) {
            cached->stamp = *stamp;
            return cached->value;
        }
    }
    reread = true;
    parseListFile(file, bytes);
    const std::lock_guard lock(mutex);
    lists.insert(location.path, {*stamp, file, std::move(bytes)});
    return file;
}

void MimeAppsResolver::Impl::scan(const QString &directory, const QString &prefix,
                                  QHash<QString, QString> *ids, int depth, bool &reread)
{
    // Loops of linked directories end somewhere; GIO's own walk has no bound, real trees are shallow.
    if (depth > 32)
        return;
    const std::optional<FileStamp> stamp = FileStamp::of(directory);
    if (!stamp || !stamp->directory) {
        const std::lock_guard lock(mutex);
        reread = reread || listings.remove(directory);
        return;
    }
    Listing listing;
    bool cached = false;
    {
        const std::lock_guard lock(mutex);
        const auto found = listings.constFind(directory);
        if (found != listings.cend() && found->stamp.sameAs(*stamp)) {
            listing = found->value;
            cached = true;
        }
    }
    if (!cached) {
        reread = true;
        DIR *handle = opendir(QFile::encodeName(directory).constData());
        if (!handle)
            return;
        while (const dirent *item = readdir(handle)) {
            const QByteArray name(item->d_name);
            if (name == "." || name == "..")
                continue;
            listing.append({name, name.endsWith(".desktop")});
        }
        closedir(handle);
        const std::lock_guard lock(mutex);
        listings.insert(directory, {*stamp, listing});
    }
    // In directory order, so that of "a-b.desktop" and "a/b.desktop" the later one wins.
    for (const auto &[name, desktop] : std::as_const(listing)) {
        const QString text = QFile::decodeName(name);
        const QString path = directory.isEmpty() ? text : joinPath(directory, text);
        if (desktop) {
            if (ids)
                ids->insert(prefix + text, path);
        } else {
            scan(path, ids ? prefix + text + u'-' : QString(), ids, depth + 1, reread);
        }
    }
}

std::shared_ptr<const EntryFacts> MimeAppsResolver::Impl::entry(const QString &path)
{
    const std::optional<FileStamp> stamp = FileStamp::of(path);
    if (!stamp || !stamp->regular)
        return std::make_shared<const EntryFacts>();
    {
        const std::lock_guard lock(mutex);
        const auto found = entries.constFind(path);
        if (found != entries.cend() && found->stamp.sameAs(*stamp))
            return found->value;
    }
    auto facts = std::make_shared<const EntryFacts>(readEntry(path));
    const std::lock_guard lock(mutex);
    entries.insert(path, {*stamp, facts});
    return facts;
}

std::shared_ptr<const Snapshot> MimeAppsResolver::Impl::snapshot()
{
    auto snapshot = std::make_shared<Snapshot>();
    std::shared_ptr<const MimeTypeFacts> frozen = types->frozen();
    snapshot->types = frozen ? std::move(frozen) : types;
    snapshot->userList = joinPath(environment.configHome, QStringLiteral("mimeapps.list"));
    bool reread = false;
    for (const ListFile &location : listFileLocations(environment))
        snapshot->files.append(readList(location, reread));
    std::shared_ptr<const Snapshot> previous;
    {
        const std::lock_guard lock(mutex);
        previous = last;
    }
    // Every list and every directory checked; when none changed since the last reading, its
    // merged lists and desktop IDs still hold (the entries themselves are checked per reading).
    if (previous && previous->types == snapshot->types && previous->files.size() == snapshot->files.size()) {
        for (const DirState &dir : previous->dirs) {
            if (!dir.config)
                scan(dir.path, QString(), nullptr, 0, reread);
        }
        if (!reread) {
            snapshot->dirs = previous->dirs;
            return snapshot;
        }
    }

    for (const ListFile &file : std::as_const(snapshot->files)) {
        if (snapshot->dirs.size() <= file.directoryIndex) {
            DirState dir;
            dir.path = file.directory;
            dir.config = file.inConfigDirectory;
            if (!dir.config)
                scan(dir.path, QString(), &dir.ids, 0, reread);
            snapshot->dirs.append(std::move(dir));
        }
        DirState &dir = snapshot->dirs[file.directoryIndex];
        if (!file.present || file.parseError)
            continue;
        // Within a file, additions are read before removals; each list filters what joins
        // it against the other, but the first contribution is taken as it stands.
        auto merge = [&](ListGroupKind kind, QList<Named> Tweaks::*into, QList<Named> Tweaks::*against) {
            for (const ListEntry &entry : file.group(kind)) {
                Tweaks &tweaks = dir.tweaks[snapshot->types->unaliased(entry.type)];
                QList<Named> &list = tweaks.*into;
                const bool first = list.isEmpty();
                ListSource source{
                    file.path, file.kind, kind, entry.line, file.directoryIndex == 0, file.inConfigDirectory};
                for (const QString &id : entry.desktopIds) {
                    if (!first && (against && containsId(tweaks.*against, id)))
                        continue;
                    if (!first && containsId(list, id))
                        continue;
                    list.append({id, source});
                }
            }
        };
        merge(ListGroupKind::additions, &Tweaks::additions, &Tweaks::removals);
        merge(ListGroupKind::removals, &Tweaks::removals, &Tweaks::additions);
        merge(ListGroupKind::defaults, &Tweaks::defaults, nullptr);
    }
    const std::lock_guard lock(mutex);
    last = snapshot;
    return snapshot;
}

namespace {

QStringList typeList(const MimeTypeFacts &types, const QString &query)
{
    QStringList list{types.unaliased(query)};
    for (qsizetype i = 0; i < list.size(); ++i) {
        const QString unaliased = types.unaliased(list[i]);
        QStringList more{unaliased};
        more.append(types.parents(unaliased));
        for (const QString &type : std::as_const(more)) {
            if (!list.contains(type))
                list.append(type);
        }
    }
    return list;
}

bool masked(const Snapshot &snapshot, qsizetype dirIndex, const QString &id)
{
    for (qsizetype i = 0; i < dirIndex; ++i) {
        if (snapshot.dirs[i].ids.contains(id))
            return true;
    }
    return false;
}

// The associations of one type in every dir, in order: hits gain additions, the blocklist
// gains removals, neither takes what is masked, blocked or already hit.
void associationLookup(const Snapshot &snapshot, const QString &type, QList<Named> &hits,
                       QSet<QString> &blocked, QList<SkippedApp> *skipped)
{
    for (qsizetype d = 0; d < snapshot.dirs.size(); ++d) {
        const auto found = snapshot.dirs[d].tweaks.constFind(type);
        if (found == snapshot.dirs[d].tweaks.cend())
            continue;
        for (const Named &named : found->additions) {
            const bool isMasked = masked(snapshot, d, named.id);
            if (skipped && isMasked)
                skipped->append({named.id, type, named.source, SkipReason::masked, QString()});
            else if (skipped && blocked.contains(named.id) && !containsId(hits, named.id))
                skipped->append({named.id, type, named.source, SkipReason::removed, QString()});
            if (!isMasked && !blocked.contains(named.id) && !containsId(hits, named.id))
                hits.append(named);
        }
        for (const Named &named : found->removals) {
            if (!masked(snapshot, d, named.id) && !blocked.contains(named.id) && !containsId(hits, named.id))
                blocked.insert(named.id);
        }
    }
}

class Lookup {
public:
    Lookup(const Snapshot &snapshot, MimeAppsResolver::Impl &impl) : snapshot_(snapshot), impl_(impl) {}

    // This file alone, whatever dir it is in.
    std::optional<ResolvedApp> loadFile(const QString &path, const QString &id) const
    {
        std::shared_ptr<const EntryFacts> facts = entry(path);
        if (failure(*facts) != SkipReason::notInstalled)
            return std::nullopt;
        return ResolvedApp{id, path, facts->hidden, facts->noDisplay, facts->name, facts->localizedName};
    }

    // The first copy of the ID, in dir order, that loads; hidden copies count only when allowed.
    Loaded load(const QString &id, bool allowHidden) const
    {
        Loaded result;
        bool failed = false;
        for (const DirState &dir : snapshot_.dirs) {
            const auto path = dir.ids.constFind(id);
            if (path == dir.ids.cend())
                continue;
            std::shared_ptr<const EntryFacts> facts = entry(*path);
            const SkipReason why = failure(*facts);
            if (why != SkipReason::notInstalled) {
                if (!failed)
                    result.failure = why;
                failed = true;
                continue;
            }
            if (facts->hidden && !allowHidden) {
                result.failure = SkipReason::hidden;
                return result;
            }
            result.app =
                ResolvedApp{id, *path, facts->hidden, facts->noDisplay, facts->name, facts->localizedName};
            return result;
        }
        return result;
    }

private:
    std::shared_ptr<const EntryFacts> entry(const QString &path) const
    {
        {
            const std::lock_guard lock(snapshot_.mutex);
            if (const auto found = snapshot_.entries.constFind(path); found != snapshot_.entries.cend())
                return *found;
        }
        std::shared_ptr<const EntryFacts> facts = impl_.entry(path);
        const std::lock_guard lock(snapshot_.mutex);
        snapshot_.entries.insert(path, facts);
        return facts;
    }

    bool found(const QString &program) const
    {
        {
            const std::lock_guard lock(snapshot_.mutex);
            if (const auto known = snapshot_.programs.constFind(program); known != snapshot_.programs.cend())
                return *known;
        }
        gchar *where = g_find_program_in_path(QFile::encodeName(program).constData());
        const bool exists = where != nullptr;
        g_free(where);
        const std::lock_guard lock(snapshot_.mutex);
        snapshot_.programs.insert(program, exists);
        return exists;
    }

    // notInstalled stands for "loads".
    SkipReason failure(const EntryFacts &facts) const
    {
        if (!facts.valid)
            return SkipReason::failedToLoad;
        if (!facts.tryExec.isEmpty() && !found(facts.tryExec))
            return SkipReason::tryExecNotFound;
        if (!facts.program.isEmpty() && !found(facts.program))
            return SkipReason::execNotFound;
        return SkipReason::notInstalled;
    }

    const Snapshot &snapshot_;
    MimeAppsResolver::Impl &impl_;
};

} // namespace

MimeAppsResolver::MimeAppsResolver(XdgEnvironment environment, std::shared_ptr<const MimeTypeFacts> types)
    : impl_(std::make_unique<Impl>())
{
    impl_->types = types ? std::move(types) : mimeCacheFacts(environment);
    impl_->environment = std::move(environment);
}

MimeAppsResolver::~MimeAppsResolver() = default;

const XdgEnvironment &MimeAppsResolver::environment() const
{
    return impl_->environment;
}

namespace {
struct SnapshotScope {
    // Everything asked about the files while the reading lasts, its own lookups and those of
    // the work it runs, sees each file as it was first checked.
    std::optional<StampReading> files;
    std::shared_ptr<const Snapshot> held;
    const Snapshot *previous = currentSnapshot;
    bool owned = false;

    explicit SnapshotScope(MimeAppsResolver::Impl &impl)
    {
        if (!currentSnapshot) {
            files.emplace();
            held = impl.snapshot();
            currentSnapshot = held.get();
            owned = true;
        }
    }
    ~SnapshotScope()
    {
        if (owned)
            currentSnapshot = previous;
    }
    const Snapshot &get() const { return *currentSnapshot; }
};
} // namespace

void MimeAppsResolver::withSnapshot(const std::function<void()> &fn) const
{
    const SnapshotScope scope(*impl_);
    fn();
}

namespace {
DefaultAnswer computeDefault(const Snapshot &snapshot, MimeAppsResolver::Impl &impl, const QString &query);
QList<CandidateAnswer> computeCandidates(const Snapshot &snapshot, MimeAppsResolver::Impl &impl,
                                         const QString &query);
} // namespace

DefaultAnswer MimeAppsResolver::defaultFor(const QString &query) const
{
    const SnapshotScope scope(*impl_);
    const Snapshot &snapshot = scope.get();
    {
        const std::lock_guard lock(snapshot.mutex);
        if (const auto known = snapshot.defaults.constFind(query); known != snapshot.defaults.cend())
            return *known;
    }
    DefaultAnswer answer = computeDefault(snapshot, *impl_, query);
    const std::lock_guard lock(snapshot.mutex);
    snapshot.defaults.insert(query, answer);
    return answer;
}

QList<CandidateAnswer> MimeAppsResolver::candidatesFor(const QString &query) const
{
    const SnapshotScope scope(*impl_);
    const Snapshot &snapshot = scope.get();
    {
        const std::lock_guard lock(snapshot.mutex);
        if (const auto known = snapshot.candidates.constFind(query); known != snapshot.candidates.cend())
            return *known;
    }
    QList<CandidateAnswer> answer = computeCandidates(snapshot, *impl_, query);
    const std::lock_guard lock(snapshot.mutex);
    snapshot.candidates.insert(query, answer);
    return answer;
}

namespace {

DefaultAnswer computeDefault(const Snapshot &snapshot, MimeAppsResolver::Impl &impl, const QString &query)
{
    const Lookup lookup(snapshot, impl);
    const QStringList types = typeList(*snapshot.types, query);
    DefaultAnswer answer;
    answer.type = types.first();
    answer.queryType = types.first();
    QSet<QString> blocked;
    for (const QString &type : types) {
        QList<Named> chosen;
        for (const DirState &dir : snapshot.dirs) {
            const auto found = dir.tweaks.constFind(type);
            if (found == dir.tweaks.cend())
                continue;
            for (const Named &named : found->defaults) {
                if (!containsId(chosen, named.id))
                    chosen.append(named);
            }
        }
        associationLookup(snapshot, type, chosen, blocked, nullptr);
        for (const Named &named : std::as_const(chosen)) {
            const Loaded loaded = lookup.load(named.id, true);
            if (!loaded.app) {
                answer.skipped.append({named.id, type, named.source, loaded.failure, QString()});
                continue;
            }
            answer.app = loaded.app;
            answer.type = type;
            answer.source = named.source;
            if (named.source.file != snapshot.userList) {
                for (const ListFile &file : snapshot.files) {
                    if (file.path != snapshot.userList || file.directoryIndex != 0)
                        continue;
                    for (const ListEntry &entry : file.defaults) {
                        if (snapshot.types->unaliased(entry.type) == types.first())
                            answer.overridesUserList = true;
                    }
                }
            }
            return answer;
        }
    }
    return answer;
}

QList<CandidateAnswer> computeCandidates(const Snapshot &snapshot, MimeAppsResolver::Impl &impl,
                                         const QString &query)
{
    const Lookup lookup(snapshot, impl);
    QList<Named> hits;
    QList<QString> hitTypes;
    QSet<QString> blocked;
    for (const QString &type : typeList(*snapshot.types, query)) {
        associationLookup(snapshot, type, hits, blocked, nullptr);
        while (hitTypes.size() < hits.size())
            hitTypes.append(type);
    }
    QList<CandidateAnswer> candidates;
    for (qsizetype i = 0; i < hits.size(); ++i) {
        if (const Loaded loaded = lookup.load(hits[i].id, false); loaded.app)
            candidates.append({*loaded.app, hitTypes[i], hits[i].source});
    }
    return candidates;
}

} // namespace

std::optional<ResolvedApp> MimeAppsResolver::application(const QString &desktopId) const
{
    const SnapshotScope scope(*impl_);
    return Lookup(scope.get(), *impl_).load(desktopId, false).app;
}

std::optional<QString> MimeAppsResolver::desktopIdForPath(const QString &path) const
{
    const SnapshotScope scope(*impl_);
    const QString wanted = QDir::cleanPath(path);
    for (const DirState &dir : scope.get().dirs) {
        for (auto it = dir.ids.cbegin(); it != dir.ids.cend(); ++it) {
            if (QDir::cleanPath(it.value()) == wanted)
                return it.key();
        }
    }
    return std::nullopt;
}

std::optional<ResolvedApp> MimeAppsResolver::entryAt(const QString &path) const
{
    const SnapshotScope scope(*impl_);
    return Lookup(scope.get(), *impl_).loadFile(path, desktopIdForPath(path).value_or(QString()));
}

QString MimeAppsResolver::canonicalType(const QString &type) const
{
    return impl_->types->unaliased(type);
}

QList<ListFile> MimeAppsResolver::listFiles() const
{
    const SnapshotScope scope(*impl_);
    return scope.get().files;
}

const char *skipReasonName(SkipReason reason)
{
    switch (reason) {
    case SkipReason::notInstalled:
        return "not-installed";
    case SkipReason::failedToLoad:
        return "failed-to-load";
    case SkipReason::tryExecNotFound:
        return "tryexec-not-found";
    case SkipReason::execNotFound:
        return "exec-not-found";
    case SkipReason::hidden:
        return "hidden";
    case SkipReason::removed:
        return "removed";
    case SkipReason::masked:
        break;
    }
    return "masked";
}

} // namespace halvora
