#pragma once

#include "core/model/Models.h"

#include <QDialog>
#include <QList>
#include <QString>

class QLabel;
class QPushButton;
class QScrollArea;
class QStackedWidget;
class QVBoxLayout;

namespace halvora {

class HalvoraState;

// The change-history sheet: every recorded change, newest first, with its verification
// outcome and an undo per entry. It keeps nothing of its own and rebuilds its rows whenever
// the state's history changes (an undo rewrites an entry's status in place).
class ChangeHistorySheet : public QDialog {
    Q_OBJECT

public:
    explicit ChangeHistorySheet(HalvoraState &state, QWidget *parent = nullptr);

    QPushButton *closeButton() const { return closeButton_; }
    // The undo buttons of the rows, in row order.
    QList<QPushButton *> undoButtons() const;

    // Abbreviated date and short time in the user's locale and time zone.
    static QString formattedTime(const AssociationChangeRecord &record);

private:
    void rebuild();
    QWidget *makeRow(const AssociationChangeRecord &record);

    HalvoraState &state_;
    QLabel *count_;
    QPushButton *closeButton_;
    QStackedWidget *content_;
    QWidget *rows_;
    QVBoxLayout *rowsLayout_;
};

} // namespace halvora
