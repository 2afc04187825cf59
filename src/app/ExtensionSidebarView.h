#pragma once

#include <QListView>
#include <QWidget>

class QAbstractButton;
class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;

namespace halvora {

class HalvoraState;
class SidebarListModel;
class BusyIndicator;

// The list of the sidebar: clicks on a header toggle its group, clicks on the check box
// toggle the bulk mark, clicks elsewhere on a row select its extension.
class SidebarListView : public QListView {
    Q_OBJECT

public:
    SidebarListView(HalvoraState &state, SidebarListModel &model, QWidget *parent = nullptr);

    // Where a row's bulk check box sits (view coordinates); empty for headers.
    QRect bulkCheckBoxRect(int row) const;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;

private:
    void followSelectedExtension();
    // Opens or closes the header's group, keeping the header where it is on screen.
    void toggleGroupInPlace(int headerRow);
    void showTopOrSelection();

    HalvoraState &state_;
    SidebarListModel &model_;
    bool movingByKey_ = false;
};

// The left column: mode control, search field, filter menu, busy indicator and the list.
class ExtensionSidebarView : public QWidget {
    Q_OBJECT

public:
    explicit ExtensionSidebarView(HalvoraState &state, QWidget *parent = nullptr);

    QLineEdit *searchField() const { return searchField_; }
    QComboBox *filterMenu() const { return filterMenu_; }
    QAbstractButton *modeButton(int index) const;
    BusyIndicator *busyIndicator() const { return busyIndicator_; }
    SidebarListView *listView() const { return listView_; }
    SidebarListModel *listModel() const { return model_; }

private:
    void syncFromState();

    HalvoraState &state_;
    QButtonGroup *modeGroup_ = nullptr;
    QLineEdit *searchField_ = nullptr;
    QLabel *filterIcon_ = nullptr;
    QComboBox *filterMenu_ = nullptr;
    BusyIndicator *busyIndicator_ = nullptr;
    SidebarListModel *model_ = nullptr;
    SidebarListView *listView_ = nullptr;
};

// A small spinning indicator for work of unknown length; animates only while visible.
class BusyIndicator : public QWidget {
    Q_OBJECT

public:
    explicit BusyIndicator(QWidget *parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void timerEvent(QTimerEvent *event) override;

private:
    int timerId_ = 0;
    int step_ = 0;
};

} // namespace halvora
