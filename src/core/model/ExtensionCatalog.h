#pragma once

#include "core/model/EnumTraits.h"
#include "core/model/Models.h"

#include <QHash>
#include <QList>
#include <QString>

#include <array>
#include <optional>

namespace halvora {

enum class ExtensionCategory { frequentlyUsed, documents, images, development, archives, media, data, other };

template <> struct EnumTraits<ExtensionCategory> {
    static constexpr std::array allCases{ExtensionCategory::frequentlyUsed, ExtensionCategory::documents,
                                         ExtensionCategory::images,         ExtensionCategory::development,
                                         ExtensionCategory::archives,       ExtensionCategory::media,
                                         ExtensionCategory::data,           ExtensionCategory::other};
    static QString rawValue(ExtensionCategory category);
};

QString title(ExtensionCategory category);
QString iconSystemName(ExtensionCategory category);

inline size_t qHash(ExtensionCategory category, size_t seed = 0) noexcept
{
    return ::qHash(static_cast<int>(category), seed);
}

// One category of the by-extension sidebar.
class GroupedFileAssociations {
public:
    GroupedFileAssociations(ExtensionCategory category, QList<FileAssociation> associations);

    ExtensionCategory category() const { return category_; }
    const QList<FileAssociation> &associations() const { return associations_; }
    ExtensionCategory id() const { return category_; }

    bool operator==(const GroupedFileAssociations &) const = default;

private:
    ExtensionCategory category_;
    QList<FileAssociation> associations_;
};

// One application of the by-application sidebar; app absent for "no default application".
class AppAssociationGroup {
public:
    static inline const QString unassignedID = QStringLiteral("unassigned-default-application");

    AppAssociationGroup(std::optional<AssociatedApp> app, QList<FileAssociation> associations);

    const std::optional<AssociatedApp> &app() const { return app_; }
    const QList<FileAssociation> &associations() const { return associations_; }
    QString id() const;

    bool operator==(const AppAssociationGroup &) const = default;

private:
    std::optional<AssociatedApp> app_;
    QList<FileAssociation> associations_;
};

// Which extensions are common (and in which order), and which category each belongs to.
// An immutable value, safe to read from any thread.
class ExtensionCatalog {
public:
    ExtensionCatalog(const QList<QString> &commonExtensions,
                     const QHash<QString, ExtensionCategory> &categoryByExtension);

    // Built once from the built-in tables, on first use, thread-safe.
    static const ExtensionCatalog &defaultCatalog();

    const QList<QString> &commonExtensions() const { return commonExtensions_; }
    const QHash<QString, ExtensionCategory> &categoryByExtension() const { return categoryByExtension_; }
    const QHash<QString, int> &commonRankByExtension() const { return commonRankByExtension_; }

    ExtensionCategory category(const QString &extension) const;

    // Catalog order: rank, then category, then extension text by scalar values; stable.
    QList<FileAssociation> sort(const QList<FileAssociation> &associations) const;
    QList<GroupedFileAssociations> group(const QList<FileAssociation> &associations) const;

private:
    QList<ExtensionCategory> categories(const QString &extension) const;

    QList<QString> commonExtensions_;
    QHash<QString, ExtensionCategory> categoryByExtension_;
    QHash<QString, int> commonRankByExtension_;
};

// --- The other orders of the system; each sort is stable -----------------------------

// Name by the collation of the user's locale, case-insensitive (QCollator); ties by bundle identifier.
bool applicationOrderLess(const AssociatedApp &a, const AssociatedApp &b);
QList<AssociatedApp> sortedInApplicationOrder(QList<AssociatedApp> apps);

bool applicationGroupOrderLess(const AppAssociationGroup &a, const AppAssociationGroup &b);
QList<AppAssociationGroup> sortedInApplicationGroupOrder(QList<AppAssociationGroup> groups);

// Newest first; equal times by descending id.
bool historyOrderLess(const AssociationChangeRecord &a, const AssociationChangeRecord &b);
QList<AssociationChangeRecord> sortedInHistoryOrder(QList<AssociationChangeRecord> records);

bool registeredTypeOrderLess(const RegisteredContentType &a, const RegisteredContentType &b);
QList<RegisteredContentType> sortedInRegisteredTypeOrder(QList<RegisteredContentType> types);

} // namespace halvora
