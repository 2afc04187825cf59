#include "app/ExtensionSidebarView.h"

#include "app/AppIcon.h"
#include "app/SidebarListModel.h"
#include "app/Style.h"
#include "app/SymbolIcons.h"
#include "core/state/HalvoraState.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHash>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollBar>
#include <QStyleOptionFocusRect>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <QVBoxLayout>

namespace halvora {

namespace {

using RowKind = SidebarListModel::RowKind;

// Horizontal metrics of the rows, shared by painting and hit testing.
constexpr int headerLeft = 8;
constexpr int rowLeft = 16;
constexpr int rightPadding = 8;
constexpr int checkBoxSize = 16;
constexpr int accessoryFrame = 24;
constexpr int appIconSize = 20;

const QString takenOverTip = QStringLiteral("Halvora에서 고른 기본 앱을 다른 프로그램이 바꿨습니다.");

struct AssociationRowLayout {
    QRect checkBox;
    QRect texts;
    QRect accessory;
};

AssociationRowLayout associationRowLayout(const QRect &rect, bool bulkEnabled, bool showsIcon)
{
    AssociationRowLayout layout;
    int x = rect.left() + rowLeft;
    if (bulkEnabled) {
        layout.checkBox = QRect(x, rect.center().y() - checkBoxSize / 2 + 1, checkBoxSize, checkBoxSize);
        x += checkBoxSize + 8;
    }
    int right = rect.right() - rightPadding;
    if (showsIcon) {
        layout.accessory = QRect(right - accessoryFrame + 1, rect.top(), accessoryFrame, rect.height());
        right = layout.accessory.left() - 6;
    }
    layout.texts = QRect(x, rect.top(), std::max(0, right - x), rect.height());
    return layout;
}

QColor mixed(const QColor &a, const QColor &b, qreal share)
{
    return QColor::fromRgbF(a.redF() * share + b.redF() * (1 - share),
                            a.greenF() * share + b.greenF() * (1 - share),
                            a.blueF() * share + b.blueF() * (1 - share));
}

class SidebarRowDelegate final : public QStyledItemDelegate {
public:
    explicit SidebarRowDelegate(QObject *parent) : QStyledItemDelegate(parent)
    {
        headerFont_ = withWeight(roleFont(FontRole::caption), QFont::DemiBold);
        extensionFont_ = withWeight(monospacedRoleFont(FontRole::body), QFont::DemiBold);
        captionFont_ = roleFont(FontRole::caption);
        caption2Font_ = roleFont(FontRole::caption2);
        countFont_ = headerFont_;
    }

    QSize sizeHint(const QStyleOptionViewItem &, const QModelIndex &index) const override
    {
        const auto kind = RowKind(index.data(SidebarListModel::KindRole).toInt());
        const int headerLine = QFontMetrics(headerFont_).height();
        switch (kind) {
        case RowKind::categoryHeader:
            return QSize(0, std::max(headerLine, 16) + 12);
        case RowKind::applicationHeader:
            return QSize(0,
                         std::max(headerLine + 1 + QFontMetrics(caption2Font_).height(), appIconSize) + 12);
        case RowKind::association:
            return QSize(0, QFontMetrics(extensionFont_).height() + 2 + QFontMetrics(captionFont_).height() +
                                6 + 6);
        }
        return {};
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const auto *model = static_cast<const SidebarListModel *>(index.model());
        const SidebarListModel::Row &row = model->row(index.row());
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing, true);
        if (row.kind == RowKind::association)
            paintAssociation(painter, option, index, row);
        else
            paintHeader(painter, option, row);
        painter->restore();
        if (option.state & QStyle::State_HasFocus) {
            // The keyboard's place, drawn the way the widget style draws focus.
            QStyleOptionFocusRect focus;
            focus.QStyleOption::operator=(option);
            focus.rect = option.rect.adjusted(4, 0, -2, 0);
            focus.backgroundColor = option.palette.color(QPalette::Base);
            const QWidget *widget = option.widget;
            QStyle *style = widget ? widget->style() : QApplication::style();
            style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
        }
    }

    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override
    {
        // The bulk help belongs to the check box alone, not to the whole row.
        const QString tip = index.data(Qt::ToolTipRole).toString();
        const bool bulk = index.data(SidebarListModel::BulkSelectionEnabledRole).toBool();
        const bool showsIcon = index.data(SidebarListModel::ShowsCurrentAppIconRole).toBool();
        const AssociationRowLayout layout = associationRowLayout(option.rect, bulk, showsIcon);
        if (!tip.isEmpty() && layout.checkBox.contains(event->pos())) {
            QToolTip::showText(event->globalPos(), tip, view);
            return true;
        }
        // A text cut short with "…" shows whole in the tool tip.
        QString full = elidedRowText(index, layout.texts.width());
        if (index.data(SidebarListModel::TakenOverRole).toBool())
            full += (full.isEmpty() ? QString() : QStringLiteral("\n")) + takenOverTip;
        if (!full.isEmpty()) {
            QToolTip::showText(event->globalPos(), full, view);
            return true;
        }
        QToolTip::hideText();
        return true;
    }

    // The row's texts when painting cuts one of them, one per line; empty otherwise.
    QString elidedRowText(const QModelIndex &index, int width) const
    {
        const auto *model = static_cast<const SidebarListModel *>(index.model());
        const SidebarListModel::Row &row = model->row(index.row());
        if (row.kind != RowKind::association)
            return {};
        const QString extension = QStringLiteral(".") + row.association->fileExtension();
        const QString type = row.association->contentTypeIdentifier();
        if (QFontMetrics(extensionFont_).horizontalAdvance(extension) <= width &&
            QFontMetrics(captionFont_).horizontalAdvance(type) <= width)
            return {};
        return extension + QLatin1Char('\n') + type;
    }

private:
    QIcon icon(const QString &symbol, std::optional<QColor> tint) const
    {
        const QString key = symbol + QLatin1Char('|') + (tint ? tint->name(QColor::HexArgb) : QString());
        auto it = icons_.find(key);
        if (it == icons_.end())
            it = icons_.insert(key, symbolIcon(symbol, tint));
        return *it;
    }

    void paintHeader(QPainter *painter, const QStyleOptionViewItem &option,
                     const SidebarListModel::Row &row) const
    {
        const QPalette &palette = option.palette;
        const QColor secondary = roleColor(ColorRole::secondary, palette);
        const QRect rect = option.rect;
        int x = rect.left() + headerLeft;
        const int cy = rect.center().y();

        const QString chevron =
            row.expanded ? QStringLiteral("chevron.down") : QStringLiteral("chevron.right");
        icon(chevron, secondary).paint(painter, QRect(x, cy - 5, 10, 10));
        x += 10 + 6;

        QString name;
        QString subtitle;
        if (row.kind == RowKind::categoryHeader) {
            icon(iconSystemName(*row.category), std::nullopt).paint(painter, QRect(x, cy - 7, 14, 14));
            x += 14 + 6;
            name = title(*row.category);
        } else {
            const QRect square(x, cy - appIconSize / 2, appIconSize, appIconSize);
            if (row.app) {
                paintAppIcon(painter, square, row.app->url(), 4);
                name = row.app->name();
                subtitle = row.app->bundleIdentifier();
            } else {
                icon(QStringLiteral("app.dashed"), roleColor(ColorRole::tertiary, palette))
                    .paint(painter, square.adjusted(2, 2, -2, -2));
                name = QStringLiteral("연결된 앱 없음");
            }
            x += appIconSize + 6;
        }

        const QString count = QString::number(row.count);
        painter->setFont(countFont_);
        const int countWidth = QFontMetrics(countFont_).horizontalAdvance(count);
        const QRect countRect(rect.right() - rightPadding - countWidth + 1, rect.top(), countWidth,
                              rect.height());
        painter->setPen(secondary);
        painter->drawText(countRect, Qt::AlignRight | Qt::AlignVCenter, count);

        const int textWidth = std::max(0, countRect.left() - 6 - x);
        const QFontMetrics nameMetrics(headerFont_);
        painter->setFont(headerFont_);
        painter->setPen(palette.color(QPalette::WindowText));
        if (subtitle.isEmpty()) {
            painter->drawText(QRect(x, rect.top(), textWidth, rect.height()),
                              Qt::AlignLeft | Qt::AlignVCenter,
                              nameMetrics.elidedText(name, Qt::ElideRight, textWidth));
            return;
        }
        const QFontMetrics subMetrics(caption2Font_);
        const int block = nameMetrics.height() + 1 + subMetrics.height();
        const int top = cy - block / 2;
        painter->drawText(QRect(x, top, textWidth, nameMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                          nameMetrics.elidedText(name, Qt::ElideRight, textWidth));
        painter->setFont(caption2Font_);
        painter->setPen(secondary);
        painter->drawText(QRect(x, top + nameMetrics.height() + 1, textWidth, subMetrics.height()),
                          Qt::AlignLeft | Qt::AlignVCenter,
                          subMetrics.elidedText(subtitle, Qt::ElideRight, textWidth));
    }

    void paintAssociation(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index,
                          const SidebarListModel::Row &row) const
    {
        const QPalette &palette = option.palette;
        const bool selected = index.data(SidebarListModel::IsSelectedRole).toBool();
        const bool bulk = index.data(SidebarListModel::BulkSelectionEnabledRole).toBool();
        const AssociationRowLayout layout = associationRowLayout(option.rect, bulk, row.showsCurrentAppIcon);

        QColor text = palette.color(QPalette::WindowText);
        QColor secondary = roleColor(ColorRole::secondary, palette);
        if (selected) {
            const QColor highlight = palette.color(QPalette::Highlight);
            QPainterPath background;
            background.addRoundedRect(QRectF(option.rect.adjusted(6, 1, -4, -1)), 5, 5);
            painter->fillPath(background, highlight);
            text = palette.color(QPalette::HighlightedText);
            secondary = mixed(text, highlight, 0.78);
        }

        if (bulk) {
            const bool checked = index.data(SidebarListModel::SelectedForBulkRole).toBool();
            const QColor tint =
                selected ? text : (checked ? roleColor(ColorRole::accent, palette) : secondary);
            icon(checked ? QStringLiteral("checkmark.square.fill") : QStringLiteral("square"), tint)
                .paint(painter, layout.checkBox);
        }

        const FileAssociation &association = *row.association;
        const QFontMetrics extMetrics(extensionFont_);
        const QFontMetrics capMetrics(captionFont_);
        const int block = extMetrics.height() + 2 + capMetrics.height();
        const int top = layout.texts.center().y() - block / 2 + 1;
        const int width = layout.texts.width();
        // A taken-over default: a small warning right after the extension.
        const int markSide = row.takenOver ? std::min(12, extMetrics.height()) : 0;
        const int extensionWidth = std::max(0, width - (markSide ? markSide + 4 : 0));
        const QString extension = extMetrics.elidedText(QStringLiteral(".") + association.fileExtension(),
                                                        Qt::ElideRight, extensionWidth);
        painter->setFont(extensionFont_);
        painter->setPen(text);
        painter->drawText(QRect(layout.texts.left(), top, extensionWidth, extMetrics.height()),
                          Qt::AlignLeft | Qt::AlignVCenter, extension);
        if (markSide) {
            const int x = layout.texts.left() + extMetrics.horizontalAdvance(extension) + 4;
            icon(QStringLiteral("exclamationmark.triangle"),
                 selected ? text : roleColor(ColorRole::orange, palette))
                .paint(painter, QRect(x, top + (extMetrics.height() - markSide) / 2, markSide, markSide));
        }
        painter->setFont(captionFont_);
        painter->setPen(secondary);
        painter->drawText(
            QRect(layout.texts.left(), top + extMetrics.height() + 2, width, capMetrics.height()),
            Qt::AlignLeft | Qt::AlignVCenter,
            capMetrics.elidedText(association.contentTypeIdentifier(), Qt::ElideRight, width));

        if (row.showsCurrentAppIcon) {
            const QRect square(layout.accessory.right() - appIconSize + 1,
                               layout.accessory.center().y() - appIconSize / 2, appIconSize, appIconSize);
            if (association.currentApp())
                paintAppIcon(painter, square, association.currentApp()->url(), 4);
            else
                icon(QStringLiteral("app.dashed"),
                     selected ? secondary : roleColor(ColorRole::tertiary, palette))
                    .paint(painter, square.adjusted(2, 2, -2, -2));
        }
    }

    QFont headerFont_;
    QFont extensionFont_;
    QFont captionFont_;
    QFont caption2Font_;
    QFont countFont_;
    mutable QHash<QString, QIcon> icons_;
};

// One segment of the mode control. The chosen segment is filled with the palette's highlight,
// so it reads the same in light and dark themes and under any widget style.
class SegmentButton final : public QPushButton {
public:
    SegmentButton(const QString &text, bool first, bool last, QWidget *parent)
        : QPushButton(text, parent), first_(first), last_(last)
    {
        setCheckable(true);
        setFocusPolicy(Qt::TabFocus);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing, true);
        const QPalette &pal = palette();
        const QRectF frame = QRectF(rect()).adjusted(first_ ? 0.5 : 0, 0.5, last_ ? -0.5 : 0, -0.5);
        QPainterPath path;
        constexpr qreal radius = 5;
        // Rounded on the outer ends of the control only.
        path.addRoundedRect(frame.adjusted(first_ ? 0 : -radius, 0, last_ ? 0 : radius, 0), radius, radius);
        painter.setClipRect(rect());
        const bool checked = isChecked();
        painter.fillPath(path, pal.color(checked ? QPalette::Highlight : QPalette::Button));
        painter.setPen(QPen(roleColor(ColorRole::separator, pal), 1));
        painter.drawPath(path);
        painter.setPen(pal.color(checked ? QPalette::HighlightedText : QPalette::ButtonText));
        painter.drawText(rect(), Qt::AlignCenter,
                         fontMetrics().elidedText(text(), Qt::ElideRight, width() - 8));
        if (hasFocus()) {
            QStyleOptionFocusRect focus;
            focus.initFrom(this);
            focus.rect = rect().adjusted(3, 3, -3, -3);
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
        }
    }

private:
    bool first_;
    bool last_;
};

} // namespace

// --- SidebarListView ----------------------------------------------------------------------

SidebarListView::SidebarListView(HalvoraState &state, SidebarListModel &model, QWidget *parent)
    : QListView(parent), state_(state), model_(model)
{
    setModel(&model_);
    setItemDelegate(new SidebarRowDelegate(this));
    // The state decides what is selected; the rows paint it themselves, so that a common
    // extension listed in two groups shows as selected in both.
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    setMouseTracking(true);
    // Laid out in one pass, so that scroll positions hold right after a group opens.
    setLayoutMode(QListView::SinglePass);
    viewport()->setAutoFillBackground(false);
    setAccessibleName(QStringLiteral("확장자 목록"));

    connect(&model_, &QAbstractItemModel::modelReset, this, &SidebarListView::followSelectedExtension);
    connect(&AppIconCache::instance(), &AppIconCache::iconsChanged, viewport(),
            qOverload<>(&QWidget::update));
    // A new search or filter starts at the top, or at the selected row when it is listed. The
    // model was connected first, so it is rebuilt by now.
    for (auto signal : {&HalvoraState::searchTextChanged, &HalvoraState::associationFilterChanged})
        connect(&state_, signal, this, &SidebarListView::showTopOrSelection);
    connect(&state_, &HalvoraState::selectedExtensionChanged, this, [this] {
        followSelectedExtension();
        if (currentIndex().isValid())
            scrollTo(currentIndex());
    });
}

QRect SidebarListView::bulkCheckBoxRect(int row) const
{
    const QModelIndex index = model_.index(row);
    if (!index.isValid() || model_.row(row).kind != RowKind::association || !state_.isBulkSelectionEnabled())
        return {};
    return associationRowLayout(visualRect(index), true, model_.row(row).showsCurrentAppIcon).checkBox;
}

void SidebarListView::mousePressEvent(QMouseEvent *event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && index.isValid()) {
        const SidebarListModel::Row &row = model_.row(index.row());
        if (row.kind != RowKind::association) {
            setFocus(Qt::MouseFocusReason);
            toggleGroupInPlace(index.row());
            event->accept();
            return;
        }
        if (bulkCheckBoxRect(index.row()).contains(event->position().toPoint())) {
            model_.toggleBulkSelection(index.row());
            event->accept();
            return;
        }
        const QString extension = row.association->fileExtension();
        state_.setSelectedExtension(extension);
    }
    QListView::mousePressEvent(event);
}

void SidebarListView::mouseDoubleClickEvent(QMouseEvent *event)
{
    // A second quick click on a header or check box is one more toggle, not an activation.
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && index.isValid() &&
        (model_.row(index.row()).kind != RowKind::association ||
         bulkCheckBoxRect(index.row()).contains(event->position().toPoint()))) {
        mousePressEvent(event);
        return;
    }
    QListView::mouseDoubleClickEvent(event);
}

void SidebarListView::keyPressEvent(QKeyEvent *event)
{
    const QModelIndex index = currentIndex();
    const bool toggleKey =
        event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (index.isValid() && toggleKey) {
        if (model_.row(index.row()).kind != RowKind::association) {
            toggleGroupInPlace(index.row());
            return;
        }
        if (event->key() == Qt::Key_Space && state_.isBulkSelectionEnabled()) {
            model_.toggleBulkSelection(index.row());
            return;
        }
    }
    // Only a move by the user's keys selects; the view also moves its cursor by itself (on
    // focus, after a reset), and that must not change the selection.
    movingByKey_ = true;
    QListView::keyPressEvent(event);
    movingByKey_ = false;
}

void SidebarListView::toggleGroupInPlace(int headerRow)
{
    const int before = visualRect(model_.index(headerRow)).top();
    model_.toggleGroup(headerRow);
    // Rows above a header never change when its group opens or closes.
    executeDelayedItemsLayout();
    const int after = visualRect(model_.index(headerRow)).top();
    verticalScrollBar()->setValue(verticalScrollBar()->value() + after - before);
    if (currentIndex().row() != headerRow || !currentIndex().isValid())
        selectionModel()->setCurrentIndex(model_.index(headerRow), QItemSelectionModel::NoUpdate);
}

void SidebarListView::showTopOrSelection()
{
    executeDelayedItemsLayout();
    const std::optional<QString> &selected = state_.selectedExtension();
    const int row = selected ? model_.firstRowOf(*selected) : -1;
    if (row >= 0 && row < model_.rowCount())
        scrollTo(model_.index(row), QAbstractItemView::EnsureVisible);
    else
        scrollToTop();
}

void SidebarListView::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QListView::currentChanged(current, previous);
    if (movingByKey_ && current.isValid() && model_.row(current.row()).kind == RowKind::association) {
        const QString extension = model_.row(current.row()).association->fileExtension();
        state_.setSelectedExtension(extension);
    }
}

QModelIndex SidebarListView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    const QModelIndex moved = QListView::moveCursor(action, modifiers);
    if (!moved.isValid() || model_.row(moved.row()).kind == RowKind::association)
        return moved;
    // The arrow keys move the selection, and headers cannot hold it: go on to the nearest
    // extension row in the same direction. With none there, the header itself is the stop,
    // so that the first and last groups can still be reached and toggled from the keyboard.
    // Home and End look for the first and last extension row from their end of the list.
    const bool upwards = action == MoveUp || action == MovePageUp || action == MoveEnd ||
                         action == MovePrevious || action == MoveLeft;
    const int step = upwards ? -1 : 1;
    const int start = action == MoveHome ? 0 : action == MoveEnd ? model_.rowCount() - 1 : moved.row() + step;
    for (int row = start; row >= 0 && row < model_.rowCount(); row += step) {
        if (model_.row(row).kind == RowKind::association)
            return model_.index(row);
    }
    return moved;
}

void SidebarListView::followSelectedExtension()
{
    const std::optional<QString> &selected = state_.selectedExtension();
    const QModelIndex current = currentIndex();
    if (current.isValid() && model_.row(current.row()).association && selected &&
        model_.row(current.row()).association->fileExtension() == *selected)
        return;
    const int row = selected ? model_.firstRowOf(*selected) : -1;
    if (row >= 0)
        selectionModel()->setCurrentIndex(model_.index(row), QItemSelectionModel::NoUpdate);
    viewport()->update();
}

// --- ExtensionSidebarView -----------------------------------------------------------------

ExtensionSidebarView::ExtensionSidebarView(HalvoraState &state, QWidget *parent)
    : QWidget(parent), state_(state)
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);

    // Mode control.
    auto *modeRow = new QHBoxLayout;
    modeRow->setContentsMargins(10, 10, 10, 0);
    modeRow->setSpacing(8);
    auto *modeLabel = new QLabel(QStringLiteral("목록 보기"), this);
    modeRow->addWidget(modeLabel);
    auto *segments = new QHBoxLayout;
    segments->setSpacing(0);
    modeGroup_ = new QButtonGroup(this);
    modeGroup_->setExclusive(true);
    int id = 0;
    const auto &modes = EnumTraits<AssociationSidebarMode>::allCases;
    for (AssociationSidebarMode mode : modes) {
        auto *segment = new SegmentButton(title(mode), id == 0, id + 1 == int(modes.size()), this);
        segment->setAccessibleDescription(QStringLiteral("목록 보기"));
        segment->setMinimumHeight(segment->sizeHint().height());
        modeGroup_->addButton(segment, id++);
        segments->addWidget(segment);
    }
    modeRow->addLayout(segments, 1);
    modeLabel->setBuddy(modeGroup_->button(0));
    column->addLayout(modeRow);

    // Search field.
    searchField_ = new QLineEdit(this);
    searchField_->setClearButtonEnabled(true);
    searchField_->setAccessibleName(QStringLiteral("검색"));
    auto *searchRow = new QHBoxLayout;
    searchRow->setContentsMargins(10, 0, 10, 0);
    searchRow->addWidget(searchField_);
    column->addLayout(searchRow);

    // Filter row.
    auto *filterRow = new QHBoxLayout;
    filterRow->setContentsMargins(10, 0, 10, 0);
    filterRow->setSpacing(6);
    filterIcon_ = new QLabel(this);
    filterIcon_->setFixedWidth(16);
    filterIcon_->setAlignment(Qt::AlignCenter);
    filterRow->addWidget(filterIcon_);
    auto *filterLabel = new QLabel(QStringLiteral("필터"), this);
    applyTextStyle(filterLabel, FontRole::callout);
    filterRow->addWidget(filterLabel);
    filterMenu_ = new QComboBox(this);
    filterMenu_->setFont(roleFont(FontRole::callout));
    filterMenu_->setAccessibleName(QStringLiteral("필터"));
    for (AssociationFilter filter : EnumTraits<AssociationFilter>::allCases)
        filterMenu_->addItem(symbolIcon(systemImageName(filter)), title(filter), int(filter));
    filterLabel->setBuddy(filterMenu_);
    filterRow->addWidget(filterMenu_, 1);
    column->addLayout(filterRow);

    // Busy indicator, taking no room while nothing loads.
    busyIndicator_ = new BusyIndicator(this);
    busyIndicator_->setContentsMargins(0, 8, 0, 8);
    column->addWidget(busyIndicator_, 0, Qt::AlignHCenter);

    // The list.
    model_ = new SidebarListModel(state_, this);
    listView_ = new SidebarListView(state_, *model_, this);
    column->addWidget(listView_, 1);

    connect(modeGroup_, &QButtonGroup::idClicked, this, [this](int index) {
        state_.setSidebarMode(EnumTraits<AssociationSidebarMode>::allCases[std::size_t(index)]);
    });
    connect(searchField_, &QLineEdit::textChanged, this,
            [this](const QString &text) { state_.setSearchText(text); });
    connect(filterMenu_, &QComboBox::activated, this, [this](int index) {
        state_.setAssociationFilter(AssociationFilter(filterMenu_->itemData(index).toInt()));
    });
    for (auto signal : {&HalvoraState::sidebarModeChanged, &HalvoraState::searchTextChanged,
                        &HalvoraState::associationFilterChanged, &HalvoraState::isLoadingChanged})
        connect(&state_, signal, this, &ExtensionSidebarView::syncFromState);
    syncFromState();
}

QAbstractButton *ExtensionSidebarView::modeButton(int index) const
{
    return modeGroup_->button(index);
}

void ExtensionSidebarView::syncFromState()
{
    const AssociationSidebarMode mode = state_.sidebarMode();
    for (std::size_t i = 0; i < EnumTraits<AssociationSidebarMode>::allCases.size(); ++i) {
        if (EnumTraits<AssociationSidebarMode>::allCases[i] == mode)
            modeGroup_->button(int(i))->setChecked(true);
    }
    searchField_->setPlaceholderText(searchPrompt(mode));
    searchField_->setAccessibleDescription(searchPrompt(mode));
    if (searchField_->text() != state_.searchText())
        searchField_->setText(state_.searchText());

    const AssociationFilter filter = state_.associationFilter();
    filterMenu_->setCurrentIndex(filterMenu_->findData(int(filter)));
    filterIcon_->setPixmap(symbolIcon(systemImageName(filter), roleColor(ColorRole::secondary, palette()))
                               .pixmap(QSize(14, 14), devicePixelRatioF()));
    busyIndicator_->setVisible(state_.isLoading());
}

// --- BusyIndicator ------------------------------------------------------------------------

BusyIndicator::BusyIndicator(QWidget *parent) : QWidget(parent)
{
    setAccessibleName(QStringLiteral("불러오는 중"));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize BusyIndicator::sizeHint() const
{
    const QMargins m = contentsMargins();
    return QSize(16 + m.left() + m.right(), 16 + m.top() + m.bottom());
}

void BusyIndicator::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QRectF square = QRectF(contentsRect()).adjusted(2, 2, -2, -2);
    const QColor colour = roleColor(ColorRole::secondary, palette());
    constexpr int spokes = 8;
    painter.translate(square.center());
    for (int i = 0; i < spokes; ++i) {
        QColor c = colour;
        c.setAlphaF(0.15 + 0.85 * qreal((i + spokes - step_) % spokes) / spokes);
        painter.setPen(QPen(c, 1.6, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(0, -square.height() / 4), QPointF(0, -square.height() / 2));
        painter.rotate(360.0 / spokes);
    }
}

void BusyIndicator::showEvent(QShowEvent *)
{
    if (!timerId_)
        timerId_ = startTimer(90);
}

void BusyIndicator::hideEvent(QHideEvent *)
{
    if (timerId_)
        killTimer(timerId_);
    timerId_ = 0;
}

void BusyIndicator::timerEvent(QTimerEvent *)
{
    step_ = (step_ + 1) % 8;
    update();
}

} // namespace halvora
