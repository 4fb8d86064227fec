// The list of the devices and channels pages: report view, single selection, rows of
// texts that each carry one integer value (the index of their record in the model).
#pragma once

#include <QTreeWidget>

class CListCtrlEx : public QTreeWidget {
    Q_OBJECT
public:
    explicit CListCtrlEx(QWidget* parent = nullptr);

    // The first selected row, or -1 when none is selected.
    int GetSelectedIndex() const;

    void InsertColumn(int column, const QString& heading, int width);
    int GetItemCount() const { return topLevelItemCount(); }
    // Inserts a row at `row` (clamped to the end) with `text` in column 0; returns its position.
    int InsertItem(int row, const QString& text);
    void SetItemText(int row, int column, const QString& text);
    QString GetItemText(int row, int column) const;
    void SetItemData(int row, int value);
    // The row's value, or -1 for a row that does not exist.
    int GetItemData(int row) const;
    // Removes the row; when it was selected, no row is selected afterwards.
    void DeleteItem(int row);
    void DeleteAllItems();
    // Selects and focuses `row`; does nothing when there is no such row.
    void SelectRow(int row);

signals:
    // Any change of a row's selection (the page's item-changed handler).
    void ItemChanged();
    // A double click anywhere in the list.
    void DoubleClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

// The navigation tree of the view; adds nothing to the tree control.
class CTreeCtrlEx : public QTreeWidget {
    Q_OBJECT
public:
    explicit CTreeCtrlEx(QWidget* parent = nullptr);
};
