#include "app/sheets/ChangeHistorySheet.h"

#include "app/PlaceholderPanel.h"
#include "app/Style.h"
#include "app/SymbolIcons.h"
#include "app/sheets/SheetWidgets.h"
#include "core/state/HalvoraState.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace halvora {

namespace {

QColor failureRed(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightnessF() < 0.5 ? QColor(0xff, 0x6b, 0x61)
                                                              : QColor(0xc4, 0x1e, 0x1e);
}

} // namespace

ChangeHistorySheet::ChangeHistorySheet(HalvoraState &state, QWidget *parent)
    : QDialog(parent), state_(state), count_(nullptr),
      closeButton_(new QPushButton(symbolIcon(QStringLiteral("xmark")), QString(), this)),
      content_(new QStackedWidget(this)), rows_(new QWidget), rowsLayout_(new QVBoxLayout(rows_))
{
    setWindowTitle(QStringLiteral("변경 이력"));
    setMinimumSize(680, 420);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto *header = new QWidget(this);
    auto *headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(14, 10, 14, 10);
    headerLayout->addWidget(new SymbolLabel(QStringLiteral("clock.arrow.circlepath"),
                                            QStringLiteral("변경 이력"), FontRole::headline, std::nullopt,
                                            header));
    count_ = makeStyledLabel(QString(), FontRole::caption, ColorRole::secondary, header);
    headerLayout->addWidget(count_);
    headerLayout->addStretch(1);
    // Icon only, but its title stays its name for tool tips and screen readers.
    closeButton_->setFlat(true);
    closeButton_->setAutoDefault(false);
    closeButton_->setToolTip(QStringLiteral("닫기"));
    closeButton_->setAccessibleName(QStringLiteral("닫기"));
    connect(closeButton_, &QPushButton::clicked, this, &QDialog::reject);
    headerLayout->addWidget(closeButton_);
    layout->addWidget(header);
    layout->addWidget(makeDivider(this));

    content_->addWidget(
        new PlaceholderPanel(QStringLiteral("clock"), QStringLiteral("변경 이력 없음"),
                             QStringLiteral("기본 앱을 변경하면 이곳에 검증 결과가 기록됩니다."), content_));
    auto *scroll = new QScrollArea(content_);
    scroll->setAccessibleName(windowTitle());
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    rowsLayout_->setContentsMargins(14, 0, 14, 0);
    rowsLayout_->setSpacing(0);
    scroll->setWidget(rows_);
    content_->addWidget(scroll);
    layout->addWidget(content_, 1);

    connect(&state_, &HalvoraState::changeHistoryChanged, this, &ChangeHistorySheet::rebuild);
    rebuild();
}

QList<QPushButton *> ChangeHistorySheet::undoButtons() const
{
    return rows_->findChildren<QPushButton *>(QStringLiteral("undoButton"));
}

QString ChangeHistorySheet::formattedTime(const AssociationChangeRecord &record)
{
    const QDateTime local = record.changedAt().toDateTime().toLocalTime();
    const QLocale locale;
    // Hours and minutes only: some locales' short time format carries seconds as well.
    QString timeFormat = locale.timeFormat(QLocale::ShortFormat);
    timeFormat.remove(QRegularExpression(QStringLiteral("[:.]ss?")));
    return locale.toString(local.date(), QLocale::ShortFormat) + u' ' +
           locale.toString(local.time(), timeFormat);
}

void ChangeHistorySheet::rebuild()
{
    const QList<AssociationChangeRecord> &history = state_.changeHistory();
    count_->setText(QString::number(history.size()));

    // Deleted later, not now: the rebuild may run inside a click handler of an old row's
    // button. Taken out of the sheet at once, so that nothing looking for the sheet's rows
    // (the undo buttons, a screen reader) finds the outdated ones.
    while (QLayoutItem *item = rowsLayout_->takeAt(0)) {
        if (QWidget *widget = item->widget()) {
            widget->hide();
            widget->setParent(nullptr);
            widget->deleteLater();
        }
        delete item;
    }
    for (const AssociationChangeRecord &record : history) {
        rowsLayout_->addWidget(makeRow(record));
        rowsLayout_->addWidget(makeDivider(rows_));
    }
    rowsLayout_->addStretch(1);
    content_->setCurrentIndex(history.isEmpty() ? 0 : 1);
}

QWidget *ChangeHistorySheet::makeRow(const AssociationChangeRecord &record)
{
    auto *row = new QWidget(rows_);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 4, 0, 4);
    layout->setSpacing(10);

    auto *texts = new QVBoxLayout;
    texts->setSpacing(3);
    auto *titleLine = new QHBoxLayout;
    titleLine->setSpacing(6);
    auto *extension = new QLabel(u'.' + record.fileExtension(), row);
    extension->setFont(withWeight(monospacedRoleFont(FontRole::body), QFont::DemiBold));
    titleLine->addWidget(extension);
    const AssociationVerificationStatus status = record.verificationStatus();
    const QColor statusColour =
        isFailure(status) ? failureRed(palette()) : roleColor(ColorRole::secondary, palette());
    titleLine->addWidget(
        new SymbolLabel(systemImageName(status), title(status), FontRole::caption, statusColour, row));
    titleLine->addStretch(1);
    texts->addLayout(titleLine);

    auto *description = new ElidedLabel(record.changeDescription(), 1, row);
    applyTextStyle(description, FontRole::caption, ColorRole::secondary);
    texts->addWidget(description);
    if (record.verificationMessage()) {
        auto *message = new ElidedLabel(*record.verificationMessage(), 1, row);
        applyTextStyle(message, FontRole::caption2, ColorRole::tertiary);
        texts->addWidget(message);
    }
    layout->addLayout(texts, 1);

    layout->addWidget(makeStyledLabel(formattedTime(record), FontRole::caption, ColorRole::secondary, row));

    auto *undo =
        new QPushButton(symbolIcon(QStringLiteral("arrow.uturn.backward")), QStringLiteral("되돌리기"), row);
    undo->setObjectName(QStringLiteral("undoButton"));
    undo->setFont(roleFont(FontRole::caption));
    undo->setAutoDefault(false);
    undo->setEnabled(record.canBeUndone());
    // The task is not awaited: the sheet only re-renders what the undo changes in the state.
    connect(undo, &QPushButton::clicked, this, [this, record] { state_.undoChange(record); });
    layout->addWidget(undo);
    return row;
}

} // namespace halvora
