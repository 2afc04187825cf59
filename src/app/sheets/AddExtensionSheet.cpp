#include "app/sheets/AddExtensionSheet.h"

#include "app/Style.h"
#include "app/SymbolIcons.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace halvora {

AddExtensionSheet::AddExtensionSheet(std::function<void(const QString &)> onAdd, QWidget *parent)
    : QDialog(parent), onAdd_(std::move(onAdd)), textField_(new QLineEdit(this)),
      cancelButton_(new QPushButton(QStringLiteral("취소"), this)),
      addButton_(new QPushButton(symbolIcon(QStringLiteral("plus")), QStringLiteral("추가"), this))
{
    setWindowTitle(QStringLiteral("확장자 추가"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(12);

    auto *title = new QLabel(QStringLiteral("확장자 추가"), this);
    applyTextStyle(title, FontRole::headline);
    layout->addWidget(title);

    textField_->setPlaceholderText(QStringLiteral("예: md, pdf, jpg"));
    textField_->setAccessibleName(windowTitle());
    textField_->setAccessibleDescription(textField_->placeholderText());
    textField_->setFixedWidth(320);
    textField_->setClearButtonEnabled(false);
    layout->addWidget(textField_, 0, Qt::AlignLeft);

    // The platform decides which of the two comes first.
    auto *buttons = new QDialogButtonBox(this);
    buttons->addButton(cancelButton_, QDialogButtonBox::RejectRole);
    buttons->addButton(addButton_, QDialogButtonBox::AcceptRole);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // Return in the field presses the default button, and a disabled default does nothing.
    cancelButton_->setAutoDefault(false);
    addButton_->setDefault(true);
    addButton_->setEnabled(false);
    connect(textField_, &QLineEdit::textChanged, this,
            [this](const QString &text) { addButton_->setEnabled(!text.trimmed().isEmpty()); });
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);
    connect(addButton_, &QPushButton::clicked, this, &AddExtensionSheet::add);
}

void AddExtensionSheet::add()
{
    if (textField_->text().trimmed().isEmpty())
        return;
    // Handed over untrimmed: what counts as an extension is the normaliser's decision.
    if (onAdd_)
        onAdd_(textField_->text());
    accept();
}

} // namespace halvora
