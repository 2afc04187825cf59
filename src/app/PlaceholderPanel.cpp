#include "app/PlaceholderPanel.h"

#include "app/Style.h"
#include "app/SymbolIcons.h"

#include <QLabel>
#include <QVBoxLayout>

namespace halvora {

PlaceholderPanel::PlaceholderPanel(const QString &symbolName, const QString &title,
                                   const QString &description, QWidget *parent)
    : QWidget(parent), title_(title), description_(description)
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(6);
    column->addStretch(1);

    auto *symbol = new QLabel(this);
    symbol->setAlignment(Qt::AlignCenter);
    symbol->setPixmap(symbolIcon(symbolName, roleColor(ColorRole::secondary, palette()))
                          .pixmap(QSize(44, 44), devicePixelRatioF()));
    column->addWidget(symbol);
    column->addSpacing(4);

    auto *titleLabel = new QLabel(title, this);
    titleLabel->setObjectName(QStringLiteral("placeholderTitle"));
    titleLabel->setAlignment(Qt::AlignCenter);
    titleLabel->setWordWrap(true);
    titleLabel->setFont(withWeight(roleFont(FontRole::title2), QFont::DemiBold));
    column->addWidget(titleLabel);

    if (!description.isEmpty()) {
        auto *descriptionLabel = new QLabel(description, this);
        descriptionLabel->setObjectName(QStringLiteral("placeholderDescription"));
        descriptionLabel->setAlignment(Qt::AlignCenter);
        descriptionLabel->setWordWrap(true);
        descriptionLabel->setTextFormat(Qt::PlainText);
        applyTextStyle(descriptionLabel, FontRole::callout, ColorRole::secondary);
        column->addWidget(descriptionLabel);
    }
    column->addStretch(1);
    setAccessibleName(title);
    setAccessibleDescription(description);
}

} // namespace halvora
