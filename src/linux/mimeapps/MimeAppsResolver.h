#pragma once

#include "linux/mimeapps/MimeAppsLists.h"
#include "linux/mimeapps/XdgEnvironment.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace halvora {

// Aliases and parent types of the MIME database.
class MimeTypeFacts {
public:
    virtual ~MimeTypeFacts() = default;
    // The canonical name of an alias; other names come back unchanged.
    virtual QString unaliased(const QString &type) const = 0;
    // Direct parents in the database's order.
    virtual QStringList parents(const QString &type) const = 0;
    // The facts as they are now, unchanging from then on (the same object while the facts
    // stay the same); null when these never change.
    virtual std::shared_ptr<const MimeTypeFacts> frozen() const { return nullptr; }
};

// A desktop entry that loads, as a lookup sees it.
struct ResolvedApp {
    QString desktopId;
    QString path;
    bool hidden = false;
    bool noDisplay = false;
    std::optional<QString> name;
    std::optional<QString> localizedName;

    bool operator==(const ResolvedApp &) const = default;
};

// Where a lookup found a desktop ID.
struct ListSource {
    QString file;
    ListFileKind fileKind = ListFileKind::mimeApps;
    ListGroupKind group = ListGroupKind::defaults;
    int line = 0;
    bool inUserConfig = false; // $XDG_CONFIG_HOME
    bool inConfigDirectory = false;

    bool operator==(const ListSource &) const = default;
};

// Why a desktop ID named for a type was passed over.
enum class SkipReason {
    notInstalled,    // no applications dir provides the ID
    failedToLoad,    // every copy is broken: not a key file, not Type=Application
    tryExecNotFound, // the program in TryExec is not there
    execNotFound,    // the first word of Exec is not there
    hidden,          // Hidden=true (candidates only; the default may be hidden)
    removed,         // [Removed Associations] came first
    masked,          // the dir's association is shadowed by a copy in an earlier dir
};

struct SkippedApp {
    QString desktopId;
    QString type;
    ListSource source;
    SkipReason reason = SkipReason::notInstalled;
    // For masked: the copy that shadows this dir's entry.
    QString detail;

    bool operator==(const SkippedApp &) const = default;
};

struct DefaultAnswer {
    std::optional<ResolvedApp> app;
    // The query's canonical name.
    QString queryType;
    // The type the answer was found for: the query's canonical type or one of its parents.
    QString type;
    // Where the chosen ID was named; group additions means "the first candidate".
    ListSource source;
    // IDs tried before the chosen one, in order, with why each was skipped.
    QList<SkippedApp> skipped;
    // Set when a file other than the user's own mimeapps.list decided while that file
    // names a different default for the type (or its alias).
    bool overridesUserList = false;
};

struct CandidateAnswer {
    ResolvedApp app;
    QString type;
    ListSource source;
};

// The default and the candidates of a MIME type exactly as GIO answers them, computed
// from the files as they are at the moment of the call. Safe to use from any thread.
class MimeAppsResolver {
public:
    // Without facts, the MIME caches of the environment's data dirs supply them.
    explicit MimeAppsResolver(XdgEnvironment environment,
                              std::shared_ptr<const MimeTypeFacts> types = nullptr);
    ~MimeAppsResolver();
    MimeAppsResolver(const MimeAppsResolver &) = delete;
    MimeAppsResolver &operator=(const MimeAppsResolver &) = delete;

    const XdgEnvironment &environment() const;

    // Answers for many types from one reading of the files: fn runs with every file
    // checked once, and the lookups inside it reuse that check.
    void withSnapshot(const std::function<void()> &fn) const;

    DefaultAnswer defaultFor(const QString &type) const;
    QList<CandidateAnswer> candidatesFor(const QString &type) const;

    // The entry for an ID by the rule of plain lookups: the first copy that loads; absent
    // when none loads or that copy is hidden.
    std::optional<ResolvedApp> application(const QString &desktopId) const;
    // The entry in this very file, with the ID under which an applications dir provides it
    // (empty when none does); absent when the file does not load as an application.
    std::optional<ResolvedApp> entryAt(const QString &path) const;
    // The type's name with aliases resolved.
    QString canonicalType(const QString &type) const;
    // The ID under which an applications dir provides this file (links are not followed:
    // the path must be where the dir lists it); absent when none does.
    std::optional<QString> desktopIdForPath(const QString &path) const;

    // Every list file in precedence order, read now.
    QList<ListFile> listFiles() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

const char *skipReasonName(SkipReason reason);

} // namespace halvora
