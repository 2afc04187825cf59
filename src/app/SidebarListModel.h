#pragma once

#include "core/model/ExtensionCatalog.h"
#include "core/model/Models.h"

#include <QAbstractListModel>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

namespace halvora {

class HalvoraState;

// What the small icon at the right end of an extension row shows.
struct SidebarAssociationRowAccessory {
    explicit SidebarAssociationRowAccessory(const FileAssociation &association);

    // The current application's desktop entry; absent without a default application.
    std::optional<QUrl> iconURL;
    QString accessibilityLabel;

    bool operator==(const SidebarAssociationRowAccessory &) const = default;
};

// The sidebar's list as one flat model: a header row per group, then the rows the state
// displays under it, for the state's current mode. The rows are copied from the state's
// queries whenever something they depend on changes; selection and bulk marks are read from
// the state live, so changing them only repaints.
class SidebarListModel : public QAbstractListModel {
    Q_OBJECT

public:
    enum class RowKind { categoryHeader, applicationHeader, association };

    enum Role {
        KindRole = Qt::UserRole + 1, // RowKind as int
        FileExtensionRole,           // association rows
        ContentTypeRole,             // association rows
        CountRole,                   // headers: every association of the group
        ExpandedRole,                // headers
        GroupIDRole,                 // application headers
        AppNameRole,                 // application headers; empty without an application
        AppBundleIdentifierRole,     // application headers
        AppURLRole,                  // application headers; association rows: the current app
        SymbolNameRole,              // category headers
        ShowsCurrentAppIconRole,     // association rows
        AccessoryLabelRole,          // association rows
        IsSelectedRole,              // association rows: the row's extension is selectedExtension
        BulkSelectionEnabledRole,    // association rows
        SelectedForBulkRole,         // association rows
        TakenOverRole,               // association rows: another program changed the chosen default
    };

    struct Row {
        RowKind kind = RowKind::association;
        int count = 0;
        bool expanded = false;
        std::optional<ExtensionCategory> category;
        std::optional<AssociatedApp> app;
        QString groupID;
        std::optional<FileAssociation> association;
        bool showsCurrentAppIcon = false;
        bool takenOver = false;
    };

    explicit SidebarListModel(HalvoraState &state, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    const Row &row(int index) const { return rows_.at(index); }
    // The first association row of the extension, or -1.
    int firstRowOf(const QString &fileExtension) const;

    // Clicking a header: expands or collapses that group in the state.
    void toggleGroup(int row);
    // The row's bulk check box.
    void toggleBulkSelection(int row);

private:
    void rebuild();
    void refreshMarks();

    HalvoraState &state_;
    QList<Row> rows_;
};

} // namespace halvora
