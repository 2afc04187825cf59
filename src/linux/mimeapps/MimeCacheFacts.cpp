#include "linux/mimeapps/MimeCacheFacts.h"

#include "linux/mimeapps/FileStamp.h"

#include <QFile>
#include <QHash>

#include <mutex>

namespace halvora {

namespace {

// The cache is big-endian; offsets point at NUL-terminated names.
struct CacheFile {
    QByteArray bytes;

    quint32 word(quint32 offset) const
    {
        if (qsizetype(offset) + 4 > bytes.size())
            return 0;
        const auto *p = reinterpret_cast<const uchar *>(bytes.constData() + offset);
        return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
    }
    QByteArray name(quint32 offset) const
    {
        if (qsizetype(offset) >= bytes.size())
            return {};
        return QByteArray(bytes.constData() + offset);
    }
    bool valid() const { return bytes.size() >= 40 && word(0) == 0x00010002u; }
};

class CacheFacts : public MimeTypeFacts {
public:
    explicit CacheFacts(const XdgEnvironment &environment)
    {
        auto add = [this](const QString &dataDir) {
            QString base = dataDir;
            while (base.endsWith(u'/'))
                base.chop(1);
            paths_.append(base.isEmpty() ? QStringLiteral("mime/mime.cache")
                                         : base + QStringLiteral("/mime/mime.cache"));
        };
        add(environment.dataHome);
        for (const QString &dir : environment.dataDirs)
            add(dir);
    }

    QString unaliased(const QString &type) const override
    {
        const Tables tables = current();
        return tables->aliases.value(type, type);
    }

    QStringList parents(const QString &type) const override
    {
        const Tables tables = current();
        return tables->parents.value(type);
    }

    std::shared_ptr<const MimeTypeFacts> frozen() const override;

    struct Data {
        QHash<QString, QString> aliases;
        QHash<QString, QStringList> parents;
    };
    using Tables = std::shared_ptr<const Data>;

private:
    // Rebuilds the tables when any cache file appeared, went or changed.
    Tables current() const
    {
        std::vector<std::optional<FileStamp>> stamps;
        for (const QString &path : paths_)
            stamps.push_back(FileStamp::of(path));
        const std::lock_guard lock(mutex_);
        bool same = tables_ && stamps.size() == stamps_.size();
        for (size_t i = 0; same && i < stamps.size(); ++i)
            same = stamps[i].has_value() == stamps_[i].has_value() &&
                   (!stamps[i] || stamps[i]->sameAs(*stamps_[i]));
        if (same)
            return tables_;
        auto data = std::make_shared<Data>();
        for (const QString &path : paths_) {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const CacheFile cache{file.readAll()};
            if (!cache.valid())
                continue;
            // The first cache that knows an alias answers it.
            const quint32 aliasList = cache.word(4);
            for (quint32 i = 0, n = cache.word(aliasList); i < n; ++i) {
                const quint32 entry = aliasList + 4 + 8 * i;
                const QString alias = QString::fromUtf8(cache.name(cache.word(entry)));
                if (!data->aliases.contains(alias))
                    data->aliases.insert(alias, QString::fromUtf8(cache.name(cache.word(entry + 4))));
            }
            // Parents gather over all caches, each once, in cache order.
            const quint32 parentList = cache.word(8);
            for (quint32 i = 0, n = cache.word(parentList); i < n; ++i) {
                const quint32 entry = parentList + 4 + 8 * i;
                QStringList &parents = data->parents[QString::fromUtf8(cache.name(cache.word(entry)))];
                const quint32 list = cache.word(entry + 4);
                for (quint32 k = 0, count = cache.word(list); k < count; ++k) {
                    const QString parent = QString::fromUtf8(cache.name(cache.word(list + 4 + 4 * k)));
                    if (!parents.contains(parent))
                        parents.append(parent);
                }
            }
        }
        stamps_ = std::move(stamps);
        tables_ = std::move(data);
        return tables_;
    }

    QStringList paths_;
    mutable std::mutex mutex_;
    // The last frozen view and the tables it holds: the same object while they are the same.
    mutable std::shared_ptr<const MimeTypeFacts> frozen_;
    mutable Tables frozenFrom_;
    mutable std::vector<std::optional<FileStamp>> stamps_;
    mutable Tables tables_;
};

// One reading of the caches, for many questions in a row.
class FrozenFacts : public MimeTypeFacts {
public:
    explicit FrozenFacts(CacheFacts::Tables tables) : tables_(std::move(tables)) {}
    QString unaliased(const QString &type) const override { return tables_->aliases.value(type, type); }
    QStringList parents(const QString &type) const override { return tables_->parents.value(type); }

private:
    CacheFacts::Tables tables_;
};

std::shared_ptr<const MimeTypeFacts> CacheFacts::frozen() const
{
    Tables tables = current();
    const std::lock_guard lock(mutex_);
    if (!frozen_ || frozenFrom_ != tables) {
        frozen_ = std::make_shared<FrozenFacts>(tables);
        frozenFrom_ = std::move(tables);
    }
    return frozen_;
}

} // namespace

std::shared_ptr<const MimeTypeFacts> mimeCacheFacts(const XdgEnvironment &environment)
{
    return std::make_shared<CacheFacts>(environment);
}

} // namespace halvora
