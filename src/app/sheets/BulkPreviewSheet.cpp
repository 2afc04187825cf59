#include "app/sheets/BulkPreviewSheet.h"

#include "app/AppIcon.h"
#include "app/Style.h"
#include "app/SymbolIcons.h"
#include "app/sheets/SheetWidgets.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>

namespace halvora {

namespace {

// Column widths shared by the title line and every row; the two application columns share
// whatever room is left.
constexpr int extensionWidth = 74;
constexpr int appMinimumWidth = 130;
constexpr int arrowWidth = 16;
constexpr int statusWidth = 104;
constexpr int noteWidth = 176;
constexpr int columnSpacing = 10;

QHBoxLayout *makeColumns(QWidget *owner, int rightMargin)
{
    auto *layout = new QHBoxLayout(owner);
    layout->setContentsMargins(14, 7, rightMargin, 7);
    layout->setSpacing(columnSpacing);
    return layout;
}

void addFixed(QHBoxLayout *layout, QWidget *widget, int width, Qt::Alignment alignment = Qt::AlignLeft)
{
    auto *cell = new QWidget;
    cell->setFixedWidth(width);
    auto *cellLayout = new QHBoxLayout(cell);
    cellLayout->setContentsMargins(0, 0, 0, 0);
    cellLayout->addWidget(widget, 0, alignment | Qt::AlignVCenter);
    if (alignment == Qt::AlignLeft)
        cellLayout->addStretch(1);
    layout->addWidget(cell);
}

void addGrowing(QHBoxLayout *layout, QWidget *widget)
{
    widget->setMinimumWidth(appMinimumWidth);
    widget->setSizePolicy(QSizePolicy::Ignored, widget->sizePolicy().verticalPolicy());
    layout->addWidget(widget, 1);
}

QColor statusColour(BulkAssociationRowStatus status, const QPalette &palette)
{
    switch (status) {
    case BulkAssociationRowStatus::ready:
        return roleColor(ColorRole::green, palette);
    case BulkAssociationRowStatus::skipped:
        return roleColor(ColorRole::secondary, palette);
    case BulkAssociationRowStatus::blocked:
        return roleColor(ColorRole::orange, palette);
    }
    return roleColor(ColorRole::secondary, palette);
}

// An application as a small icon with its name over its bundle identifier, or a dashed
// placeholder with "없음".
QWidget *makeAppSummary(const std::optional<AssociatedApp> &app)
{
    auto *summary = new QWidget;
    auto *layout = new QHBoxLayout(summary);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(7);
    if (app) {
        layout->addWidget(new AppIcon(app->url(), 20, 4, summary));
        auto *lines = new QVBoxLayout;
        lines->setSpacing(1);
        auto *name = new ElidedLabel(app->name(), 1, summary);
        name->setFont(withWeight(roleFont(FontRole::caption), QFont::Medium));
        lines->addWidget(name);
        auto *identifier = new ElidedLabel(app->bundleIdentifier(), 1, summary);
        applyTextStyle(identifier, FontRole::caption2, ColorRole::secondary);
        lines->addWidget(identifier);
        layout->addLayout(lines, 1);
    } else {
        auto *icon = new QLabel(summary);
        icon->setFixedSize(20, 20);
        icon->setAlignment(Qt::AlignCenter);
        icon->setPixmap(
            symbolIcon(QStringLiteral("app.dashed"), roleColor(ColorRole::tertiary, summary->palette()))
                .pixmap(16, 16));
        layout->addWidget(icon);
        layout->addWidget(
            makeStyledLabel(QStringLiteral("없음"), FontRole::caption, ColorRole::secondary, summary), 1);
    }
    return summary;
}

} // namespace

BulkPreviewSheet::BulkPreviewSheet(BulkAssociationChangePlan plan, std::function<void()> onCancel,
                                   std::function<void()> onApply, QWidget *parent)
    : QDialog(parent), plan_(std::move(plan)), onCancel_(std::move(onCancel)), onApply_(std::move(onApply))
{
    setWindowTitle(QStringLiteral("일괄 적용 미리보기"));
    setMinimumSize(720, 440);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    layout->addWidget(makeHeader());
    layout->addWidget(makeDivider(this));
    layout->addWidget(makeTableHeader());
    layout->addWidget(makeDivider(this));

    auto *scroll = new QScrollArea(this);
    scroll->setAccessibleName(windowTitle());
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Always shown, so that the column titles above line up with the rows.
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto *rows = new QWidget(scroll);
    auto *rowsLayout = new QVBoxLayout(rows);
    rowsLayout->setContentsMargins(0, 0, 0, 0);
    rowsLayout->setSpacing(0);
    for (const BulkAssociationChangeRow &row : plan_.rows()) {
        rowsLayout->addWidget(makeRow(row));
        rowsLayout->addWidget(makeDivider(rows));
    }
    rowsLayout->addStretch(1);
    scroll->setWidget(rows);
    layout->addWidget(scroll, 1);

    layout->addWidget(makeDivider(this));
    layout->addWidget(makeFooter());
}

QString BulkPreviewSheet::headerSentence(const BulkAssociationChangePlan &plan)
{
    return QString::number(plan.rows().size()) + QStringLiteral("개 확장자를 ") + plan.targetApp().name() +
           QStringLiteral("(으)로 변경");
}

QWidget *BulkPreviewSheet::makeHeader()
{
    auto *header = new QWidget(this);
    auto *layout = new QHBoxLayout(header);
    layout->setContentsMargins(14, 10, 14, 10);
    layout->setSpacing(10);
    layout->addWidget(new AppIcon(plan_.targetApp().url(), 32, 6, header));
    auto *lines = new QVBoxLayout;
    lines->setSpacing(2);
    lines->addWidget(makeStyledLabel(QStringLiteral("일괄 적용 미리보기"), FontRole::headline,
                                     ColorRole::primary, header));
    auto *sentence = new ElidedLabel(headerSentence(plan_), 1, header);
    applyTextStyle(sentence, FontRole::caption, ColorRole::secondary);
    lines->addWidget(sentence);
    layout->addLayout(lines, 1);
    return header;
}

QWidget *BulkPreviewSheet::makeTableHeader()
{
    auto *header = new QWidget(this);
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    QHBoxLayout *layout = makeColumns(header, 14 + scrollBar);
    const auto title = [header](const QString &text) {
        QLabel *label = makeStyledLabel(text, FontRole::caption, ColorRole::secondary, header);
        label->setFont(withWeight(label->font(), QFont::DemiBold));
        return label;
    };
    addFixed(layout, title(QStringLiteral("확장자")), extensionWidth);
    addGrowing(layout, title(QStringLiteral("현재 앱")));
    addFixed(layout, title(QString()), arrowWidth, Qt::AlignHCenter);
    addGrowing(layout, title(QStringLiteral("변경 후")));
    addFixed(layout, title(QStringLiteral("상태")), statusWidth);
    addFixed(layout, title(QStringLiteral("메모")), noteWidth);
    return header;
}

QWidget *BulkPreviewSheet::makeRow(const BulkAssociationChangeRow &row)
{
    auto *line = new QWidget;
    line->setObjectName(QStringLiteral("bulkRow"));
    QHBoxLayout *layout = makeColumns(line, 14);

    auto *extension = new ElidedLabel(u'.' + row.association().fileExtension(), 1, line);
    extension->setFont(withWeight(monospacedRoleFont(FontRole::body), QFont::DemiBold));
    extension->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    extension->setFixedWidth(extensionWidth);
    addFixed(layout, extension, extensionWidth);

    addGrowing(layout, makeAppSummary(row.association().currentApp()));

    auto *arrow = new QLabel(line);
    const int side = QFontMetrics(roleFont(FontRole::body)).height();
    arrow->setPixmap(
        symbolIcon(QStringLiteral("arrow.right"), roleColor(ColorRole::tertiary, line->palette()))
            .pixmap(side, side));
    addFixed(layout, arrow, arrowWidth, Qt::AlignHCenter);

    addGrowing(layout, makeAppSummary(row.targetApp()));

    addFixed(layout,
             new SymbolLabel(systemImageName(row.status()), title(row.status()), FontRole::caption,
                             statusColour(row.status(), line->palette()), line),
             statusWidth);

    auto *note = new ElidedLabel(row.note().value_or(QString()), 2, line);
    applyTextStyle(note, FontRole::caption, ColorRole::secondary);
    note->setFixedWidth(noteWidth);
    addFixed(layout, note, noteWidth);
    return line;
}

QWidget *BulkPreviewSheet::makeFooter()
{
    auto *footer = new QWidget(this);
    auto *layout = new QHBoxLayout(footer);
    layout->setContentsMargins(14, 10, 14, 10);
    layout->setSpacing(12);
    layout->addWidget(new SymbolLabel(QStringLiteral("checkmark.circle"),
                                      QString::number(plan_.readyCount()) + QStringLiteral(" 적용"),
                                      FontRole::caption, std::nullopt, footer));
    layout->addWidget(new SymbolLabel(QStringLiteral("minus.circle"),
                                      QString::number(plan_.skippedCount()) + QStringLiteral(" 건너뜀"),
                                      FontRole::caption, std::nullopt, footer));
    layout->addWidget(new SymbolLabel(QStringLiteral("exclamationmark.triangle"),
                                      QString::number(plan_.blockedCount()) + QStringLiteral(" 확인 필요"),
                                      FontRole::caption, std::nullopt, footer));
    layout->addStretch(1);

    // A busy bar rather than a count: rows are applied one by one and the state reports only
    // the final summary.
    progress_ = new QProgressBar(footer);
    progress_->setRange(0, 0);
    progress_->setTextVisible(false);
    progress_->setFixedWidth(120);
    progress_->setAccessibleName(QStringLiteral("적용 중"));
    progress_->setVisible(false);
    layout->addWidget(progress_);

    cancelButton_ = new QPushButton(QStringLiteral("취소"), footer);
    cancelButton_->setAutoDefault(false);
    cancelButton_->setFont(roleFont(FontRole::caption));
    connect(cancelButton_, &QPushButton::clicked, this, [this] {
        if (!applying_ && onCancel_)
            onCancel_();
    });

    applyButton_ = new QPushButton(QStringLiteral("적용"), footer);
    applyButton_->setDefault(true);
    applyButton_->setFont(roleFont(FontRole::caption));
    applyButton_->setEnabled(plan_.readyCount() > 0);
    connect(applyButton_, &QPushButton::clicked, this, [this] {
        // A second press (or Return) while the run goes on must not apply the plan again.
        if (applying_ || plan_.readyCount() == 0)
            return;
        setApplying(true);
        if (onApply_)
            onApply_();
    });
    // The platform decides which of the two comes first.
    auto *buttons = new QDialogButtonBox(footer);
    buttons->addButton(cancelButton_, QDialogButtonBox::RejectRole);
    buttons->addButton(applyButton_, QDialogButtonBox::AcceptRole);
    layout->addWidget(buttons);
    return footer;
}

void BulkPreviewSheet::setApplying(bool applying)
{
    applying_ = applying;
    progress_->setVisible(applying);
    cancelButton_->setEnabled(!applying);
    applyButton_->setEnabled(!applying && plan_.readyCount() > 0);
    setCursor(applying ? Qt::BusyCursor : Qt::ArrowCursor);
}

void BulkPreviewSheet::reject()
{
    // Escape and the window's close button would leave a run going with nothing on screen.
    if (applying_)
        return;
    QDialog::reject();
}

} // namespace halvora
