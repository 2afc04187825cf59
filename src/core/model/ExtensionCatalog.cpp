#include "core/model/ExtensionCatalog.h"

#include "core/model/FileAssociationError.h"
#include "core/model/FileExtensionNormalizer.h"
#include "core/model/TextOrder.h"

#include <QCollator>
#include <QLocale>
#include <QSet>

#include <algorithm>
#include <limits>
#include <utility>

namespace halvora {

// --- Categories -----------------------------------------------------------------------

QString EnumTraits<ExtensionCategory>::rawValue(ExtensionCategory category)
{
    switch (category) {
    case ExtensionCategory::frequentlyUsed:
        return QStringLiteral("frequentlyUsed");
    case ExtensionCategory::documents:
        return QStringLiteral("documents");
    case ExtensionCategory::images:
        return QStringLiteral("images");
    case ExtensionCategory::development:
        return QStringLiteral("development");
    case ExtensionCategory::archives:
        return QStringLiteral("archives");
    case ExtensionCategory::media:
        return QStringLiteral("media");
    case ExtensionCategory::data:
        return QStringLiteral("data");
    case ExtensionCategory::other:
        return QStringLiteral("other");
    }
    return {};
}

QString title(ExtensionCategory category)
{
    switch (category) {
    case ExtensionCategory::frequentlyUsed:
        return QStringLiteral("자주 사용");
    case ExtensionCategory::documents:
        return QStringLiteral("문서");
    case ExtensionCategory::images:
        return QStringLiteral("이미지");
    case ExtensionCategory::development:
        return QStringLiteral("개발");
    case ExtensionCategory::archives:
        return QStringLiteral("압축/패키지");
    case ExtensionCategory::media:
        return QStringLiteral("오디오/비디오");
    case ExtensionCategory::data:
        return QStringLiteral("데이터");
    case ExtensionCategory::other:
        return QStringLiteral("기타");
    }
    return {};
}

QString iconSystemName(ExtensionCategory category)
{
    switch (category) {
    case ExtensionCategory::frequentlyUsed:
        return QStringLiteral("star");
    case ExtensionCategory::documents:
        return QStringLiteral("doc.text");
    case ExtensionCategory::images:
        return QStringLiteral("photo");
    case ExtensionCategory::development:
        return QStringLiteral("chevron.left.forwardslash.chevron.right");
    case ExtensionCategory::archives:
        return QStringLiteral("archivebox");
    case ExtensionCategory::media:
        return QStringLiteral("play.rectangle");
    case ExtensionCategory::data:
        return QStringLiteral("tablecells");
    case ExtensionCategory::other:
        return QStringLiteral("square.grid.2x2");
    }
    return {};
}

// --- Groups ---------------------------------------------------------------------------

GroupedFileAssociations::GroupedFileAssociations(ExtensionCategory category,
                                                 QList<FileAssociation> associations)
    : category_(category), associations_(std::move(associations))
{}

AppAssociationGroup::AppAssociationGroup(std::optional<AssociatedApp> app,
                                         QList<FileAssociation> associations)
    : app_(std::move(app)), associations_(std::move(associations))
{}

QString AppAssociationGroup::id() const
{
    return app_ ? app_->id() : unassignedID;
}

// --- Catalog --------------------------------------------------------------------------

namespace {

std::optional<QString> normalizedOrNothing(const QString &text)
{
    try {
        return FileExtensionNormalizer::normalize(text);
    } catch (const FileAssociationError &) {
        return std::nullopt;
    }
}

// Lookups fall back to the text as given when it is not a valid extension.
QString lookupKey(const QString &text)
{
    return normalizedOrNothing(text).value_or(text);
}

} // namespace

ExtensionCatalog::ExtensionCatalog(const QList<QString> &commonExtensions,
                                   const QHash<QString, ExtensionCategory> &categoryByExtension)
{
    for (const QString &entry : commonExtensions) {
        std::optional<QString> normalized = normalizedOrNothing(entry);
        if (!normalized || commonRankByExtension_.contains(*normalized))
            continue;
        commonRankByExtension_.insert(*normalized, static_cast<int>(commonExtensions_.size()));
        commonExtensions_.append(std::move(*normalized));
    }
    for (auto it = categoryByExtension.cbegin(); it != categoryByExtension.cend(); ++it) {
        if (std::optional<QString> normalized = normalizedOrNothing(it.key()))
            categoryByExtension_.insert(*normalized, it.value());
    }
}

const ExtensionCatalog &ExtensionCatalog::defaultCatalog()
{
    // A function-local static is initialised exactly once, also under concurrent first use.
    static const ExtensionCatalog catalog = [] {
        const QList<QString> common{
            u"pdf"_qs, u"txt"_qs,  u"md"_qs,    u"docx"_qs,    u"doc"_qs,  u"xlsx"_qs, u"xls"_qs,
            u"csv"_qs, u"pptx"_qs, u"ppt"_qs,   u"jpg"_qs,     u"jpeg"_qs, u"png"_qs,  u"heic"_qs,
            u"gif"_qs, u"zip"_qs,  u"json"_qs,  u"xml"_qs,     u"html"_qs, u"css"_qs,  u"js"_qs,
            u"ts"_qs,  u"rtf"_qs,  u"pages"_qs, u"numbers"_qs, u"key"_qs,  u"odt"_qs,  u"ods"_qs,
            u"odp"_qs, u"log"_qs,  u"webp"_qs,  u"svg"_qs,     u"tiff"_qs, u"tif"_qs,  u"psd"_qs,
            u"ai"_qs,  u"eps"_qs,  u"swift"_qs, u"py"_qs,      u"java"_qs, u"kt"_qs,   u"go"_qs,
            u"rs"_qs,  u"rb"_qs,   u"php"_qs,   u"c"_qs,       u"h"_qs,    u"cpp"_qs,  u"hpp"_qs,
            u"cs"_qs,  u"sh"_qs,   u"yml"_qs,   u"yaml"_qs,    u"toml"_qs, u"ini"_qs,  u"plist"_qs,
            u"rar"_qs, u"7z"_qs,   u"tar"_qs,   u"gz"_qs,      u"bz2"_qs,  u"xz"_qs,   u"dmg"_qs,
            u"pkg"_qs, u"mp3"_qs,  u"wav"_qs,   u"aac"_qs,     u"flac"_qs, u"mp4"_qs,  u"mov"_qs,
            u"m4v"_qs, u"avi"_qs,  u"mkv"_qs,   u"sqlite"_qs,  u"db"_qs,   u"sql"_qs,  u"parquet"_qs,
        };
        const std::pair<ExtensionCategory, QList<QString>> table[] = {
            {ExtensionCategory::documents,
             {u"pdf"_qs, u"txt"_qs, u"md"_qs, u"docx"_qs, u"doc"_qs, u"xlsx"_qs, u"xls"_qs, u"pptx"_qs,
              u"ppt"_qs, u"rtf"_qs, u"pages"_qs, u"numbers"_qs, u"key"_qs, u"odt"_qs, u"ods"_qs, u"odp"_qs,
              u"log"_qs}},
            {ExtensionCategory::images,
             {u"jpg"_qs, u"jpeg"_qs, u"png"_qs, u"heic"_qs, u"gif"_qs, u"webp"_qs, u"svg"_qs, u"tiff"_qs,
              u"tif"_qs, u"psd"_qs, u"ai"_qs, u"eps"_qs}},
            {ExtensionCategory::development,
             {u"html"_qs, u"css"_qs, u"js"_qs,  u"ts"_qs,   u"swift"_qs, u"py"_qs,  u"java"_qs, u"kt"_qs,
              u"go"_qs,   u"rs"_qs,  u"rb"_qs,  u"php"_qs,  u"c"_qs,     u"h"_qs,   u"cpp"_qs,  u"hpp"_qs,
              u"cs"_qs,   u"sh"_qs,  u"yml"_qs, u"yaml"_qs, u"toml"_qs,  u"ini"_qs, u"plist"_qs}},
            {ExtensionCategory::archives,
             {u"zip"_qs, u"rar"_qs, u"7z"_qs, u"tar"_qs, u"gz"_qs, u"bz2"_qs, u"xz"_qs, u"dmg"_qs,
              u"pkg"_qs}},
            {ExtensionCategory::media,
             {u"mp3"_qs, u"wav"_qs, u"aac"_qs, u"flac"_qs, u"mp4"_qs, u"mov"_qs, u"m4v"_qs, u"avi"_qs,
              u"mkv"_qs}},
            {ExtensionCategory::data,
             {u"csv"_qs, u"json"_qs, u"xml"_qs, u"sqlite"_qs, u"db"_qs, u"sql"_qs, u"parquet"_qs}},
        };
        QHash<QString, ExtensionCategory> categories;
        for (const auto &[category, extensions] : table) {
            for (const QString &extension : extensions)
                categories.insert(extension, category);
        }
        return ExtensionCatalog(common, categories);
    }();
    return catalog;
}

ExtensionCategory ExtensionCatalog::category(const QString &extension) const
{
    return categoryByExtension_.value(lookupKey(extension), ExtensionCategory::other);
}

QList<ExtensionCategory> ExtensionCatalog::categories(const QString &extension) const
{
    const QString key = lookupKey(extension);
    QList<ExtensionCategory> result;
    if (commonRankByExtension_.contains(key))
        result.append(ExtensionCategory::frequentlyUsed);
    const ExtensionCategory own = category(key);
    if (!result.contains(own))
        result.append(own);
    return result;
}

QList<FileAssociation> ExtensionCatalog::sort(const QList<FileAssociation> &associations) const
{
    // Keys are computed once per element, not once per comparison.
    struct Keyed {
        int rank;
        ExtensionCategory category;
        qsizetype index;
    };
    QList<Keyed> keyed;
    keyed.reserve(associations.size());
    for (qsizetype i = 0; i < associations.size(); ++i) {
        const QString &extension = associations[i].fileExtension();
        keyed.append({commonRankByExtension_.value(extension, std::numeric_limits<int>::max()),
                      category(extension), i});
    }
    std::stable_sort(keyed.begin(), keyed.end(), [&](const Keyed &a, const Keyed &b) {
        if (a.rank != b.rank)
            return a.rank < b.rank;
        if (a.category != b.category)
            return a.category < b.category;
        return scalarValueLess(associations[a.index].fileExtension(), associations[b.index].fileExtension());
    });
    QList<FileAssociation> sorted;
    sorted.reserve(associations.size());
    for (const Keyed &entry : keyed)
        sorted.append(associations[entry.index]);
    return sorted;
}

QList<GroupedFileAssociations> ExtensionCatalog::group(const QList<FileAssociation> &associations) const
{
    constexpr std::size_t categoryCount = EnumTraits<ExtensionCategory>::allCases.size();
    std::array<QList<FileAssociation>, categoryCount> buckets;
    for (const FileAssociation &association : sort(associations)) {
        for (ExtensionCategory category : categories(association.fileExtension()))
            buckets[static_cast<std::size_t>(category)].append(association);
    }
    QList<GroupedFileAssociations> groups;
    for (ExtensionCategory category : EnumTraits<ExtensionCategory>::allCases) {
        QList<FileAssociation> &bucket = buckets[static_cast<std::size_t>(category)];
        if (!bucket.isEmpty())
            groups.append(GroupedFileAssociations(category, std::move(bucket)));
    }
    return groups;
}

// --- Other orders ---------------------------------------------------------------------

namespace {

// One collator per thread, rebuilt when the default locale changes: building one is far
// dearer than a comparison, and a QCollator must not be shared between threads.
const QCollator &nameCollator()
{
    thread_local std::optional<QCollator> collator;
    thread_local QLocale basis;
    const QLocale locale;
    if (!collator || basis != locale) {
        basis = locale;
        collator.emplace(collationLocale());
        collator->setCaseSensitivity(Qt::CaseInsensitive);
    }
    return *collator;
}

int compareApplications(const AssociatedApp &a, const AssociatedApp &b)
{
    if (const int byName = nameCollator().compare(a.name(), b.name()); byName != 0)
        return byName;
    return compareScalarValues(a.bundleIdentifier(), b.bundleIdentifier());
}

} // namespace

bool applicationOrderLess(const AssociatedApp &a, const AssociatedApp &b)
{
    return compareApplications(a, b) < 0;
}

QList<AssociatedApp> sortedInApplicationOrder(QList<AssociatedApp> apps)
{
    std::stable_sort(apps.begin(), apps.end(), applicationOrderLess);
    return apps;
}

bool applicationGroupOrderLess(const AppAssociationGroup &a, const AppAssociationGroup &b)
{
    if (a.app().has_value() != b.app().has_value())
        return a.app().has_value();
    if (!a.app())
        return scalarValueLess(a.id(), b.id());
    if (a.associations().size() != b.associations().size())
        return a.associations().size() > b.associations().size();
    return applicationOrderLess(*a.app(), *b.app());
}

QList<AppAssociationGroup> sortedInApplicationGroupOrder(QList<AppAssociationGroup> groups)
{
    std::stable_sort(groups.begin(), groups.end(), applicationGroupOrderLess);
    return groups;
}

bool historyOrderLess(const AssociationChangeRecord &a, const AssociationChangeRecord &b)
{
    if (a.changedAt() != b.changedAt())
        return a.changedAt() > b.changedAt();
    return compareScalarValues(a.id(), b.id()) > 0;
}

QList<AssociationChangeRecord> sortedInHistoryOrder(QList<AssociationChangeRecord> records)
{
    std::stable_sort(records.begin(), records.end(), historyOrderLess);
    return records;
}

bool registeredTypeOrderLess(const RegisteredContentType &a, const RegisteredContentType &b)
{
    return scalarValueLess(a.fileExtension(), b.fileExtension());
}

QList<RegisteredContentType> sortedInRegisteredTypeOrder(QList<RegisteredContentType> types)
{
    std::stable_sort(types.begin(), types.end(), registeredTypeOrderLess);
    return types;
}

} // namespace halvora
