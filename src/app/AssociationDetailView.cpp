#include "app/AssociationDetailView.h"

#include "app/AppIcon.h"
#include "app/PlaceholderPanel.h"
#include "app/Style.h"
#include "app/SymbolIcons.h"
#include "core/service/Takeovers.h"
#include "core/state/HalvoraState.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollArea>
#include <QStackedLayout>
#include <QToolButton>
#include <QVBoxLayout>

namespace halvora {

namespace {

// Selectable text that is shortened with "…" to fit; the whole text stays available as its
// tool tip and accessible name. It asks for no width of its own, so a long text never
// widens the pane.
class ElidedLabel final : public QLabel {
public:
    ElidedLabel(QString text, Qt::TextElideMode mode, QWidget *parent)
        : QLabel(parent), fullText_(std::move(text)), mode_(mode)
    {
        setTextFormat(Qt::PlainText);
        setTextInteractionFlags(Qt::TextSelectableByMouse);
        setToolTip(fullText_);
        setAccessibleName(fullText_);
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        setText(fullText_);
    }

    const QString &fullText() const { return fullText_; }

    QSize minimumSizeHint() const override { return QSize(0, QLabel::minimumSizeHint().height()); }

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        QLabel::resizeEvent(event);
        const QString shown = fontMetrics().elidedText(fullText_, mode_, event->size().width());
        if (shown != text())
            setText(shown);
    }

private:
    QString fullText_;
    Qt::TextElideMode mode_;
};

// A scrolling area with a thin rounded border drawn over its edge.
class RoundedFrame final : public QWidget {
public:
    explicit RoundedFrame(QWidget *parent) : QWidget(parent) {}

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(QPen(roleColor(ColorRole::separator, palette()), 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
    }
};

QFrame *divider(QWidget *parent)
{
    auto *line = new QFrame(parent);
    line->setFixedHeight(1);
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, roleColor(ColorRole::separator, palette));
    line->setPalette(palette);
    return line;
}

QLabel *label(const QString &text, FontRole font, ColorRole colour, QWidget *parent, bool selectable = false)
{
    auto *l = new QLabel(text, parent);
    l->setTextFormat(Qt::PlainText);
    applyTextStyle(l, font, colour);
    if (selectable)
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}

// An icon beside a text, as one label-like row.
QWidget *iconLabel(const QString &symbol, const QString &text, FontRole font, ColorRole colour,
                   QWidget *parent)
{
    auto *row = new QWidget(parent);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    auto *icon = new QLabel(row);
    const int side = QFontMetrics(roleFont(font)).height() - 2;
    icon->setPixmap(symbolIcon(symbol, roleColor(colour, row->palette())).pixmap(QSize(side, side), 1.0));
    layout->addWidget(icon);
    QLabel *textLabel = label(text, font, colour, row);
    textLabel->setObjectName(QStringLiteral("iconLabelText"));
    layout->addWidget(textLabel);
    row->setAccessibleName(text);
    return row;
}

QFont mediumBodyFont()
{
    return withWeight(roleFont(FontRole::body), QFont::Medium);
}

} // namespace

AssociationDetailView::AssociationDetailView(HalvoraState &state, DesktopServices services,
                                             PickApplication onPickApplication, QWidget *parent)
    : QWidget(parent), state_(state), services_(std::move(services)),
      onPickApplication_(std::move(onPickApplication))
{
    stack_ = new QStackedLayout(this);
    placeholder_ = new PlaceholderPanel(
        QStringLiteral("doc.badge.gearshape"), QStringLiteral("확장자를 선택하세요"),
        QStringLiteral("왼쪽 목록에서 확장자를 선택하거나 + 버튼으로 추가하세요."), this);
    placeholder_->setObjectName(QStringLiteral("selectionPlaceholder"));
    stack_->addWidget(placeholder_);

    for (auto signal : {&HalvoraState::associationsChanged, &HalvoraState::selectedExtensionChanged,
                        &HalvoraState::changeHistoryChanged})
        connect(&state_, signal, this, &AssociationDetailView::refresh);
    refresh();
}

void AssociationDetailView::refresh()
{
    const std::optional<FileAssociation> association = state_.selectedAssociation();
    const std::optional<AssociationChangeRecord> latest =
        association ? state_.latestChange(association->fileExtension()) : std::nullopt;
    if (content_ && association == shown_ && latest == shownLatest_)
        return;
    if (!association && !content_ && !shown_) {
        stack_->setCurrentWidget(placeholder_);
        return;
    }
    shown_ = association;
    shownLatest_ = latest;
    if (content_) {
        stack_->removeWidget(content_);
        // Later: the signal that got us here may come from inside one of its buttons.
        content_->hide();
        content_->setParent(nullptr);
        content_->deleteLater();
        content_ = nullptr;
    }
    if (!association) {
        stack_->setCurrentWidget(placeholder_);
        return;
    }
    content_ = buildContent(*association, latest);
    stack_->addWidget(content_);
    stack_->setCurrentWidget(content_);
}

QWidget *AssociationDetailView::buildContent(const FileAssociation &association,
                                             const std::optional<AssociationChangeRecord> &latest)
{
    auto *content = new QWidget(this);
    content->setObjectName(QStringLiteral("associationDetail"));
    auto *column = new QVBoxLayout(content);
    column->setContentsMargins(14, 14, 14, 14);
    column->setSpacing(12);
    column->addWidget(buildHeader(association, latest));
    column->addWidget(divider(content));
    column->addWidget(buildCurrentAppSection(association));
    column->addWidget(divider(content));
    QWidget *candidates = buildCandidateAppsSection(association);
    column->addWidget(candidates, 1);
    return content;
}

QWidget *AssociationDetailView::buildHeader(const FileAssociation &association,
                                            const std::optional<AssociationChangeRecord> &latest)
{
    auto *header = new QWidget(this);
    auto *row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);

    auto *titles = new QVBoxLayout;
    titles->setSpacing(4);
    auto *extension =
        new ElidedLabel(QStringLiteral(".") + association.fileExtension(), Qt::ElideRight, header);
    extension->setObjectName(QStringLiteral("extensionLabel"));
    extension->setFont(withWeight(monospacedRoleFont(FontRole::title2), QFont::DemiBold));
    titles->addWidget(extension);
    auto *contentType = new ElidedLabel(association.contentTypeIdentifier(), Qt::ElideRight, header);
    applyTextStyle(contentType, FontRole::callout, ColorRole::secondary);
    contentType->setObjectName(QStringLiteral("contentTypeLabel"));
    titles->addWidget(contentType);
    row->addLayout(titles, 1);

    if (latest) {
        const AssociationVerificationStatus status = latest->verificationStatus();
        QWidget *statusLabel = iconLabel(systemImageName(status), title(status), FontRole::caption,
                                         ColorRole::secondary, header);
        statusLabel->setObjectName(QStringLiteral("statusLabel"));
        row->addWidget(statusLabel, 0, Qt::AlignTop);
    }
    return header;
}

QWidget *AssociationDetailView::buildCurrentAppSection(const FileAssociation &association)
{
    auto *section = new QWidget(this);
    auto *column = new QVBoxLayout(section);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    column->addWidget(label(QStringLiteral("현재 기본 앱"), FontRole::headline, ColorRole::primary, section));

    const std::optional<AssociatedApp> &app = association.currentApp();
    if (!app) {
        QWidget *missing =
            iconLabel(QStringLiteral("exclamationmark.triangle"), QStringLiteral("등록된 기본 앱 없음"),
                      FontRole::body, ColorRole::secondary, section);
        missing->setObjectName(QStringLiteral("noCurrentApp"));
        column->addWidget(missing, 0, Qt::AlignLeft);
        if (QWidget *note = buildTakeoverNote(association, section))
            column->addWidget(note);
        return section;
    }

    auto *summary = new QWidget(section);
    summary->setObjectName(QStringLiteral("currentAppSummary"));
    auto *row = new QHBoxLayout(summary);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);
    row->addWidget(new AppIcon(app->url(), 28, 5, summary));

    auto *lines = new QVBoxLayout;
    lines->setSpacing(2);
    auto *name = new QLabel(app->name(), summary);
    name->setObjectName(QStringLiteral("currentAppName"));
    name->setTextFormat(Qt::PlainText);
    name->setFont(mediumBodyFont());
    lines->addWidget(name);
    QLabel *bundle = label(app->bundleIdentifier(), FontRole::caption, ColorRole::secondary, summary, true);
    bundle->setObjectName(QStringLiteral("currentAppBundleIdentifier"));
    lines->addWidget(bundle);
    auto *path = new ElidedLabel(app->url().toLocalFile(), Qt::ElideMiddle, summary);
    path->setObjectName(QStringLiteral("currentAppPath"));
    applyTextStyle(path, FontRole::caption2, ColorRole::tertiary);
    lines->addWidget(path);
    row->addLayout(lines, 1);

    const auto iconButton = [summary](const QString &symbol, const QString &name, const QString &help) {
        auto *button = new QToolButton(summary);
        button->setIcon(symbolIcon(symbol));
        button->setText(name);
        button->setAccessibleName(name);
        button->setToolTip(help);
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
        button->setAutoRaise(true);
        button->setIconSize(QSize(16, 16));
        return button;
    };
    QToolButton *reveal = iconButton(QStringLiteral("folder"), QStringLiteral("Finder에서 보기"),
                                     QStringLiteral("Finder에서 앱 위치를 엽니다."));
    reveal->setObjectName(QStringLiteral("revealButton"));
    QToolButton *copy = iconButton(QStringLiteral("doc.on.doc"), QStringLiteral("번들 ID 복사"),
                                   QStringLiteral("Bundle ID를 클립보드에 복사합니다."));
    copy->setObjectName(QStringLiteral("copyButton"));
    row->addWidget(reveal);
    row->addWidget(copy);

    const AssociatedApp shownApp = *app;
    connect(reveal, &QToolButton::clicked, this, [this, shownApp] {
        if (services_.fileManagerRevealer)
            services_.fileManagerRevealer->reveal(shownApp.url());
    });
    connect(copy, &QToolButton::clicked, this, [this, shownApp] {
        if (services_.clipboardWriter)
            services_.clipboardWriter->setText(shownApp.bundleIdentifier());
    });
    column->addWidget(summary);

    // Where the default comes from, the whole chain on hover; marked when a desktop-specific
    // or system list wins over the user's own choice.
    if (const auto &origin = association.origin(); origin && !origin->summary.isEmpty()) {
        const bool overridden = origin->overridesUserList;
        QWidget *source = iconLabel(
            overridden ? QStringLiteral("exclamationmark.triangle") : QStringLiteral("doc.text"),
            overridden ? origin->summary + QStringLiteral(" (사용자 목록의 지정보다 앞섬)") : origin->summary,
            FontRole::caption, overridden ? ColorRole::primary : ColorRole::secondary, section);
        source->setObjectName(QStringLiteral("defaultOrigin"));
        source->setToolTip(origin->chain.join(u'\n'));
        column->addWidget(source, 0, Qt::AlignLeft);
    }
    if (QWidget *note = buildTakeoverNote(association, section))
        column->addWidget(note);
    return section;
}

QWidget *AssociationDetailView::buildTakeoverNote(const FileAssociation &association, QWidget *parent)
{
    // Computed from what the state already holds: nothing here asks the system. What decides
    // now is the origin line above it.
    const std::optional<Takeover> takeover = takeoverOf(association, state_.changeHistory());
    if (!takeover)
        return nullptr;
    auto *note = new QWidget(parent);
    note->setObjectName(QStringLiteral("takeoverNote"));
    auto *column = new QVBoxLayout(note);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    QWidget *heading = iconLabel(QStringLiteral("exclamationmark.triangle"),
                                 QStringLiteral("Halvora에서 고른 기본 앱을 다른 프로그램이 바꿨습니다."),
                                 FontRole::callout, ColorRole::orange, note);
    column->addWidget(heading, 0, Qt::AlignLeft);
    const QString chosenAt =
        takeover->record.changedAt().toDateTime().toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    QLabel *chosen = label(QStringLiteral("고른 앱: ") + takeover->chosenApp.name() + QStringLiteral(" (") +
                               chosenAt + u')',
                           FontRole::caption, ColorRole::secondary, note, true);
    chosen->setObjectName(QStringLiteral("takeoverChosenApp"));
    column->addWidget(chosen);
    auto *restore = new QPushButton(symbolIcon(QStringLiteral("arrow.uturn.backward")),
                                    takeover->chosenApp.name() + QStringLiteral("(으)로 되돌리기"), note);
    restore->setObjectName(QStringLiteral("takeoverRestoreButton"));
    restore->setFont(roleFont(FontRole::callout));
    column->addWidget(restore, 0, Qt::AlignLeft);
    // Staged like a candidate's apply: the window's confirmation alert follows.
    const PendingAssociationChange change(association, takeover->chosenApp);
    connect(restore, &QPushButton::clicked, this, [this, change] { state_.setPendingChange(change); });
    return note;
}

QWidget *AssociationDetailView::buildCandidateAppsSection(const FileAssociation &association)
{
    auto *section = new QWidget(this);
    auto *column = new QVBoxLayout(section);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);

    auto *titleRow = new QHBoxLayout;
    titleRow->addWidget(label(QStringLiteral("호환 앱"), FontRole::headline, ColorRole::primary, section));
    titleRow->addStretch(1);
    auto *pick = new QPushButton(symbolIcon(QStringLiteral("folder")), QStringLiteral("직접 선택"), section);
    pick->setObjectName(QStringLiteral("pickButton"));
    pick->setFont(roleFont(FontRole::callout));
    titleRow->addWidget(pick);
    column->addLayout(titleRow);
    const FileAssociation forPick = association;
    connect(pick, &QPushButton::clicked, this, [this, forPick] {
        if (onPickApplication_)
            onPickApplication_(forPick);
    });

    if (association.candidateApps().isEmpty()) {
        auto *empty =
            new PlaceholderPanel(QStringLiteral("app.dashed"), QStringLiteral("호환 앱 없음"),
                                 QStringLiteral("직접 선택으로 .app 번들을 지정할 수 있습니다."), section);
        empty->setObjectName(QStringLiteral("noCandidates"));
        empty->setMinimumHeight(180);
        empty->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        column->addWidget(empty);
        column->addStretch(1);
        return section;
    }

    auto *frame = new RoundedFrame(section);
    auto *frameLayout = new QVBoxLayout(frame);
    frameLayout->setContentsMargins(1, 1, 1, 1);
    auto *scroll = new QScrollArea(frame);
    scroll->setAccessibleName(QStringLiteral("호환 앱"));
    scroll->setObjectName(QStringLiteral("candidateList"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->viewport()->setAutoFillBackground(false);
    auto *rows = new QWidget(scroll);
    rows->setAutoFillBackground(false);
    auto *rowsLayout = new QVBoxLayout(rows);
    rowsLayout->setContentsMargins(0, 0, 0, 0);
    rowsLayout->setSpacing(0);
    const std::optional<AssociatedApp> &current = association.currentApp();
    for (const AssociatedApp &app : association.candidateApps()) {
        // The same application elsewhere on disk counts as current too: only the identifier matters.
        const bool isCurrent = current && current->bundleIdentifier() == app.bundleIdentifier();
        if (rowsLayout->count() > 0)
            rowsLayout->addWidget(divider(rows));
        rowsLayout->addWidget(buildCandidateRow(association, app, isCurrent));
    }
    scroll->setWidget(rows);
    frameLayout->addWidget(scroll);
    // As tall as its rows and no taller; it scrolls when the pane is shorter.
    frame->setMaximumHeight(rows->sizeHint().height() + 2);
    frame->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    column->addWidget(frame);
    column->addStretch(1);
    return section;
}

QWidget *AssociationDetailView::buildCandidateRow(const FileAssociation &association,
                                                  const AssociatedApp &app, bool isCurrent)
{
    auto *rowWidget = new QWidget(this);
    rowWidget->setObjectName(QStringLiteral("candidateRow"));
    rowWidget->setProperty("bundleIdentifier", app.bundleIdentifier());
    rowWidget->setProperty("appID", app.id());
    auto *row = new QHBoxLayout(rowWidget);
    row->setContentsMargins(10, 7, 10, 7);
    row->setSpacing(10);
    row->addWidget(new AppIcon(app.url(), 28, 5, rowWidget));

    auto *lines = new QVBoxLayout;
    lines->setSpacing(2);
    auto *nameRow = new QHBoxLayout;
    nameRow->setSpacing(6);
    auto *name = new QLabel(app.name(), rowWidget);
    name->setTextFormat(Qt::PlainText);
    name->setFont(mediumBodyFont());
    nameRow->addWidget(name);
    if (isCurrent) {
        QLabel *mark = label(QStringLiteral("현재"), FontRole::caption, ColorRole::secondary, rowWidget);
        mark->setObjectName(QStringLiteral("currentMark"));
        nameRow->addWidget(mark);
    }
    nameRow->addStretch(1);
    lines->addLayout(nameRow);
    lines->addWidget(label(app.bundleIdentifier(), FontRole::caption, ColorRole::secondary, rowWidget, true));
    row->addLayout(lines, 1);

    auto *apply =
        new QPushButton(symbolIcon(QStringLiteral("checkmark.circle")), QStringLiteral("적용"), rowWidget);
    apply->setObjectName(QStringLiteral("applyButton"));
    apply->setFont(roleFont(FontRole::callout));
    apply->setEnabled(!isCurrent);
    row->addWidget(apply);
    const PendingAssociationChange change(association, app);
    // Only staged: the window asks for confirmation before anything is applied.
    connect(apply, &QPushButton::clicked, this, [this, change] { state_.setPendingChange(change); });
    return rowWidget;
}

} // namespace halvora
