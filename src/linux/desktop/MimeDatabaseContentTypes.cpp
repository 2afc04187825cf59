#include "linux/desktop/MimeDatabaseContentTypes.h"

#include "linux/mimeapps/FileStamp.h"
#include "linux/mimeapps/GlibHandles.h"
#include "linux/mimeapps/XdgEnvironment.h"

#include <QFile>
#include <QHash>
#include <QMimeDatabase>

#include <mutex>

#include <unistd.h>

namespace halvora {

namespace {

// The glob lists of the MIME directories, in precedence order; worked out again only when
// the variables that name them change.
QStringList globFiles()
{
    static std::mutex mutex;
    static QByteArray builtFrom;
    static QStringList files;
    auto variable = [](const char *name) {
        return qEnvironmentVariableIsSet(name) ? '+' + qgetenv(name) : QByteArray("-");
    };
    const QByteArray key =
        variable("HOME") + '\0' + variable("XDG_DATA_HOME") + '\0' + variable("XDG_DATA_DIRS");
    const std::lock_guard lock(mutex);
    if (files.isEmpty() || key != builtFrom) {
        const XdgEnvironment environment = XdgEnvironment::fromProcess();
        files = QStringList{environment.dataHome + QStringLiteral("/mime/globs2")};
        for (const QString &dir : environment.dataDirs)
            files.append(dir + QStringLiteral("/mime/globs2"));
        builtFrom = key;
    }
    return files;
}

bool same(const std::vector<std::optional<FileStamp>> &a, const std::vector<std::optional<FileStamp>> &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].has_value() != b[i].has_value() || (a[i] && !a[i]->sameAs(*b[i])))
            return false;
    }
    return true;
}

// What the glob lists say, read from their "weight:type:glob[:flags]" lines (one small text
// file per MIME directory, where asking the database type by type parses a file per type).
struct GlobTable {
    // Extension -> types with the glob "*.EXT".
    QHash<QString, QStringList> byExtension;
    struct TypeGlobs {
        // The index of the only list that names the type; -2 when several do.
        qsizetype directory = -1;
        // Globs the database counts as suffixes ("*." then no '*' or '?'), in list order.
        QStringList suffixes;
    };
    QHash<QString, TypeGlobs> byType;

    // Preferred extensions worked out from these lists; absent: ask the database.
    mutable std::mutex mutex;
    mutable QHash<QString, std::optional<QString>> preferred;
};

// Built again when a list appeared, went or changed.
std::shared_ptr<const GlobTable> globTable(const QStringList &files)
{
    static std::mutex mutex;
    static std::shared_ptr<const GlobTable> table;
    static QStringList builtFiles;
    static std::vector<std::optional<FileStamp>> builtFrom;
    std::vector<std::optional<FileStamp>> stamps;
    for (const QString &file : files)
        stamps.push_back(FileStamp::of(file));
    const std::lock_guard lock(mutex);
    if (table && files == builtFiles && same(stamps, builtFrom))
        return table;
    auto built = std::make_shared<GlobTable>();
    for (qsizetype index = 0; index < files.size(); ++index) {
        QFile file(files[index]);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray bytes = file.readAll();
        // Fields found in place: the lists have a thousand lines and more.
        for (qsizetype at = 0; at < bytes.size();) {
            qsizetype end = bytes.indexOf('\n', at);
            if (end < 0)
                end = bytes.size();
            const qsizetype start = at;
            at = end + 1;
            const qsizetype first = bytes.indexOf(':', start);
            const qsizetype second = first < 0 || first >= end ? -1 : bytes.indexOf(':', first + 1);
            if (bytes[start] == '#' || second < 0 || second >= end)
                continue;
            qsizetype third = bytes.indexOf(':', second + 1);
            if (third < 0 || third > end)
                third = end;
            const QString type = QString::fromUtf8(bytes.constData() + first + 1, second - first - 1);
            GlobTable::TypeGlobs &globs = built->byType[type];
            if (globs.directory == -1)
                globs.directory = index;
            else if (globs.directory != index)
                globs.directory = -2;
            const QByteArrayView glob(bytes.constData() + second + 1, third - second - 1);
            if (!glob.startsWith("*."))
                continue;
            const QString suffix = QString::fromUtf8(glob.sliced(2));
            if (!suffix.isEmpty() && !suffix.contains(u'*') && !suffix.contains(u'?'))
                globs.suffixes.append(suffix);
            // The byte-stream type and inode types never describe a file's contents.
            if (type == QStringLiteral("application/octet-stream") ||
                type.startsWith(QStringLiteral("inode/")) || suffix.contains(u'*') || suffix.contains(u'?') ||
                suffix.contains(u'['))
                continue;
            QStringList &types = built->byExtension[suffix];
            if (!types.contains(type))
                types.append(type);
        }
    }
    builtFiles = files;
    builtFrom = std::move(stamps);
    table = std::move(built);
    return table;
}

QStringList typesWithGlob(const QString &extension)
{
    return globTable(globFiles())->byExtension.value(extension);
}

// The first suffix glob of a type's definition file, as written there; absent when the file
// cannot be read plainly (entities, deleted globs) or has none.
std::optional<QString> firstSuffixGlob(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray text = file.readAll();
    if (text.contains("glob-deleteall"))
        return std::nullopt;
    for (qsizetype at = text.indexOf('<'); at >= 0; at = text.indexOf('<', at + 1)) {
        if (text.mid(at, 4) == "<!--") {
            at = text.indexOf("-->", at);
            if (at < 0)
                return std::nullopt;
            continue;
        }
        if (text.mid(at, 6) != "<glob ")
            continue;
        const qsizetype close = text.indexOf('>', at);
        const qsizetype attribute = text.indexOf(" pattern=\"", at);
        if (close < 0 || attribute < 0 || attribute > close)
            return std::nullopt;
        const qsizetype start = attribute + qstrlen(" pattern=\"");
        const qsizetype end = text.indexOf('"', start);
        if (end < 0 || end > close)
            return std::nullopt;
        const QByteArray pattern = text.mid(start, end - start);
        if (pattern.contains('&'))
            return std::nullopt;
        if (pattern.startsWith("*.") && pattern.size() > 2 && pattern.indexOf('*', 2) < 0 &&
            pattern.indexOf('?', 2) < 0)
            return QString::fromUtf8(pattern.mid(2));
    }
    return std::nullopt;
}

} // namespace

QStringList MimeDatabaseContentTypes::contentTypesForExtension(const QString &extension) const
{
    QStringList types = typesWithGlob(extension);
    if (types.size() > 1) {
        gboolean uncertain = FALSE;
        const glib::String guess(g_content_type_guess((QStringLiteral("x.") + extension).toUtf8().constData(),
                                                      nullptr, 0, &uncertain));
        const QString guessed = guess ? glib::text(guess.get()) : QString();
        if (const qsizetype at = types.indexOf(guessed); at > 0)
            types.move(at, 0);
    }
    return types;
}

std::optional<QString> MimeDatabaseContentTypes::contentTypeForExtension(const QString &extension) const
{
    const QStringList types = contentTypesForExtension(extension);
    if (types.isEmpty())
        return std::nullopt;
    return types.first();
}

namespace {

// A type that one glob list names, and that no other MIME directory defines, has as its
// preferred extension the first suffix glob of its definition: with one such glob the list
// says it, with more the definition's own order does (the list sorts by weight). Asking the
// database instead parses the whole definition, for every type. The list keeps a glob's case
// only when it is case-sensitive; extensions are compared in lower case anyway.
std::optional<QString> preferredFromGlobs(const QStringList &files, const GlobTable &table,
                                          const QString &type)
{
    const auto found = table.byType.constFind(type);
    if (found == table.byType.cend() || found->directory < 0 || found->suffixes.isEmpty())
        return std::nullopt;
    const QString definition = type.toLower() + QStringLiteral(".xml");
    auto definitionIn = [&](qsizetype index) {
        QString path = files[index];
        path.chop(qstrlen("globs2"));
        return path + definition;
    };
    for (qsizetype index = 0; index < files.size(); ++index) {
        if (index != found->directory &&
            ::access(QFile::encodeName(definitionIn(index)).constData(), F_OK) == 0)
            return std::nullopt;
    }
    if (found->suffixes.size() == 1)
        return found->suffixes.first();
    const std::optional<QString> first = firstSuffixGlob(definitionIn(found->directory));
    if (first && found->suffixes.contains(*first, Qt::CaseInsensitive))
        return first;
    return std::nullopt;
}

} // namespace

std::optional<ContentTypeDescription> MimeDatabaseContentTypes::contentType(const QString &identifier) const
{
    const QStringList files = globFiles();
    const std::shared_ptr<const GlobTable> table = globTable(files);
    std::optional<std::optional<QString>> known;
    {
        const std::lock_guard lock(table->mutex);
        if (const auto found = table->preferred.constFind(identifier); found != table->preferred.cend())
            known = *found;
    }
    if (!known) {
        known = preferredFromGlobs(files, *table, identifier);
        const std::lock_guard lock(table->mutex);
        table->preferred.insert(identifier, *known);
    }
    if (*known)
        return ContentTypeDescription{identifier, **known};
    const QMimeType type = QMimeDatabase().mimeTypeForName(identifier);
    if (!type.isValid())
        return std::nullopt;
    return ContentTypeDescription{type.name(), type.preferredSuffix()};
}

} // namespace halvora
