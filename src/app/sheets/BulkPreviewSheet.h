#pragma once

#include "core/model/Models.h"

#include <QDialog>

#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

namespace halvora {

// The preview of a bulk change: one line per extension with its current application, the
// application it will get, the row's status and note, and the counts under the table. It
// applies nothing itself; its buttons hand the decision back to the presenter.
class BulkPreviewSheet : public QDialog {
    Q_OBJECT

public:
    BulkPreviewSheet(BulkAssociationChangePlan plan, std::function<void()> onCancel,
                     std::function<void()> onApply, QWidget *parent = nullptr);

    const BulkAssociationChangePlan &plan() const { return plan_; }
    QPushButton *cancelButton() const { return cancelButton_; }
    QPushButton *applyButton() const { return applyButton_; }

    // While the plan is being applied the sheet shows that work is under way, and neither
    // a second "적용" nor a dismissal can start or cut the run; the presenter closes the
    // sheet when the run ends.
    void setApplying(bool applying);
    bool isApplying() const { return applying_; }

    // "N개 확장자를 <name>(으)로 변경"
    static QString headerSentence(const BulkAssociationChangePlan &plan);

    void reject() override;

private:
    QWidget *makeHeader();
    QWidget *makeTableHeader();
    QWidget *makeRow(const BulkAssociationChangeRow &row);
    QWidget *makeFooter();

    BulkAssociationChangePlan plan_;
    std::function<void()> onCancel_;
    std::function<void()> onApply_;
    QPushButton *cancelButton_ = nullptr;
    QPushButton *applyButton_ = nullptr;
    QProgressBar *progress_ = nullptr;
    bool applying_ = false;
};

} // namespace halvora
