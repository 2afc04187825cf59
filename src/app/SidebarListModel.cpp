#include "app/SidebarListModel.h"

#include "core/service/Takeovers.h"
#include "core/state/HalvoraState.h"

namespace halvora {

SidebarAssociationRowAccessory::SidebarAssociationRowAccessory(const FileAssociation &association)
{
    if (const std::optional<AssociatedApp> &app = association.currentApp()) {
        iconURL = app->url();
        accessibilityLabel = app->name() + QStringLiteral(" 앱 아이콘");
    } else {
        accessibilityLabel = QStringLiteral("연결된 앱 없음");
    }
}

SidebarListModel::SidebarListModel(HalvoraState &state, QObject *parent)
    : QAbstractListModel(parent), state_(state)
{
    for (auto signal :
         {&HalvoraState::associationsChanged, &HalvoraState::searchTextChanged,
          &HalvoraState::associationFilterChanged, &HalvoraState::sidebarModeChanged,
          &HalvoraState::changeHistoryChanged, &HalvoraState::expandedExtensionCategoriesChanged,
          &HalvoraState::expandedApplicationGroupIDsChanged})
        connect(&state_, signal, this, &SidebarListModel::rebuild);
    for (auto signal : {&HalvoraState::selectedExtensionChanged, &HalvoraState::isBulkSelectionEnabledChanged,
                        &HalvoraState::selectedExtensionsForBulkChanged})
        connect(&state_, signal, this, &SidebarListModel::refreshMarks);
    rebuild();
}

void SidebarListModel::rebuild()
{
    QList<Row> rows;
    if (state_.sidebarMode() == AssociationSidebarMode::extensions) {
        for (const GroupedFileAssociations &group : state_.groupedVisibleAssociations()) {
            Row header;
            header.kind = RowKind::categoryHeader;
            header.count = int(group.associations().size());
            header.expanded = state_.isGroupExpanded(group.category());
            header.category = group.category();
            rows.append(header);
            for (const FileAssociation &association : state_.displayedAssociations(group))
                rows.append(Row{RowKind::association, 0, false, group.category(), {}, {}, association, true});
        }
    } else {
        for (const AppAssociationGroup &group : state_.applicationGroupedVisibleAssociations()) {
            Row header;
            header.kind = RowKind::applicationHeader;
            header.count = int(group.associations().size());
            header.groupID = group.id();
            header.expanded = state_.isApplicationGroupExpanded(header.groupID);
            header.app = group.app();
            rows.append(header);
            for (const FileAssociation &association : state_.displayedAssociations(group))
                rows.append(
                    Row{RowKind::association, 0, false, {}, group.app(), header.groupID, association, false});
        }
    }
    for (Row &row : rows) {
        if (row.association)
            row.takenOver = takeoverOf(*row.association, state_.changeHistory()).has_value();
    }
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

void SidebarListModel::refreshMarks()
{
    if (!rows_.isEmpty())
        Q_EMIT dataChanged(index(0), index(int(rows_.size()) - 1),
                           {IsSelectedRole, BulkSelectionEnabledRole, SelectedForBulkRole, Qt::ToolTipRole});
}

int SidebarListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

Qt::ItemFlags SidebarListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    // Headers can be focused and clicked but never hold the selection.
    if (rows_.at(index.row()).kind != RowKind::association)
        return Qt::ItemIsEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

QVariant SidebarListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rows_.size())
        return {};
    const Row &r = rows_.at(index.row());
    if (role == KindRole)
        return int(r.kind);

    if (r.kind == RowKind::categoryHeader) {
        switch (role) {
        case Qt::DisplayRole:
            return title(*r.category);
        case Qt::AccessibleTextRole:
            return QStringLiteral("%1, %2").arg(title(*r.category)).arg(r.count);
        case CountRole:
            return r.count;
        case ExpandedRole:
            return r.expanded;
        case SymbolNameRole:
            return iconSystemName(*r.category);
        default:
            return {};
        }
    }

    if (r.kind == RowKind::applicationHeader) {
        const QString name = r.app ? r.app->name() : QStringLiteral("연결된 앱 없음");
        switch (role) {
        case Qt::DisplayRole:
            return name;
        case Qt::AccessibleTextRole:
            return QStringLiteral("%1, %2").arg(name).arg(r.count);
        case CountRole:
            return r.count;
        case ExpandedRole:
            return r.expanded;
        case GroupIDRole:
            return r.groupID;
        case AppNameRole:
            return r.app ? r.app->name() : QString();
        case AppBundleIdentifierRole:
            return r.app ? r.app->bundleIdentifier() : QString();
        case AppURLRole:
            return r.app ? QVariant(r.app->url()) : QVariant();
        default:
            return {};
        }
    }

    const FileAssociation &association = *r.association;
    const bool showsIcon = r.showsCurrentAppIcon;
    switch (role) {
    case Qt::DisplayRole:
        return QStringLiteral(".") + association.fileExtension();
    case Qt::AccessibleTextRole:
        return QStringLiteral(".%1 %2").arg(association.fileExtension(), association.contentTypeIdentifier());
    case Qt::AccessibleDescriptionRole: {
        QString description =
            showsIcon ? SidebarAssociationRowAccessory(association).accessibilityLabel : QString();
        if (r.takenOver)
            description += (description.isEmpty() ? QString() : QStringLiteral(", ")) +
                           QStringLiteral("다른 프로그램이 기본 앱을 바꿈");
        return description;
    }
    case AccessoryLabelRole:
        return showsIcon ? SidebarAssociationRowAccessory(association).accessibilityLabel : QString();
    case TakenOverRole:
        return r.takenOver;
    case Qt::ToolTipRole:
        if (!state_.isBulkSelectionEnabled())
            return {};
        return state_.isSelectedForBulk(association.fileExtension()) ? QStringLiteral("일괄 적용 선택 해제")
                                                                     : QStringLiteral("일괄 적용 선택");
    case FileExtensionRole:
        return association.fileExtension();
    case ContentTypeRole:
        return association.contentTypeIdentifier();
    case AppURLRole:
        return association.currentApp() ? QVariant(association.currentApp()->url()) : QVariant();
    case ShowsCurrentAppIconRole:
        return showsIcon;
    case IsSelectedRole:
        return state_.selectedExtension() == association.fileExtension();
    case BulkSelectionEnabledRole:
        return state_.isBulkSelectionEnabled();
    case SelectedForBulkRole:
        return state_.isSelectedForBulk(association.fileExtension());
    default:
        return {};
    }
}

int SidebarListModel::firstRowOf(const QString &fileExtension) const
{
    for (int i = 0; i < rows_.size(); ++i) {
        if (rows_.at(i).association && rows_.at(i).association->fileExtension() == fileExtension)
            return i;
    }
    return -1;
}

void SidebarListModel::toggleGroup(int row)
{
    if (row < 0 || row >= rows_.size())
        return;
    // Copied first: the toggle rebuilds rows_.
    const Row header = rows_.at(row);
    if (header.kind == RowKind::categoryHeader)
        state_.toggleGroup(*header.category);
    else if (header.kind == RowKind::applicationHeader)
        state_.toggleApplicationGroup(header.groupID);
}

void SidebarListModel::toggleBulkSelection(int row)
{
    if (row < 0 || row >= rows_.size() || !rows_.at(row).association)
        return;
    const FileAssociation association = *rows_.at(row).association;
    state_.toggleBulkSelection(association);
}

} // namespace halvora
