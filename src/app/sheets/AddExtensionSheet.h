#pragma once

#include <QDialog>
#include <QString>

#include <functional>

class QLineEdit;
class QPushButton;

namespace halvora {

// The sheet in which the user types an extension that the list does not show. It hands
// the text over exactly as typed and closes at once; normalising, loading and reporting a
// bad extension are the state's work.
class AddExtensionSheet : public QDialog {
    Q_OBJECT

public:
    explicit AddExtensionSheet(std::function<void(const QString &)> onAdd, QWidget *parent = nullptr);

    QLineEdit *textField() const { return textField_; }
    QPushButton *addButton() const { return addButton_; }
    QPushButton *cancelButton() const { return cancelButton_; }

private:
    void add();

    std::function<void(const QString &)> onAdd_;
    QLineEdit *textField_;
    QPushButton *cancelButton_;
    QPushButton *addButton_;
};

} // namespace halvora
