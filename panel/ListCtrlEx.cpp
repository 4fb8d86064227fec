#include "ListCtrlEx.h"

#include <QHeaderView>
#include <algorithm>

CListCtrlEx::CListCtrlEx(QWidget* parent) : QTreeWidget(parent) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);  // full-row select
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setColumnCount(0);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(true);  // header drag-and-drop
    connect(this, &QTreeWidget::itemSelectionChanged, this, &CListCtrlEx::ItemChanged);
}

int CListCtrlEx::GetSelectedIndex() const {
    for (int row = 0; row < topLevelItemCount(); ++row)
        if (topLevelItem(row)->isSelected()) return row;
    return -1;
}

void CListCtrlEx::InsertColumn(int column, const QString& heading, int width) {
    if (columnCount() <= column) setColumnCount(column + 1);
    headerItem()->setText(column, heading);
    headerItem()->setTextAlignment(column, Qt::AlignLeft | Qt::AlignVCenter);
    setColumnWidth(column, width);
}

int CListCtrlEx::InsertItem(int row, const QString& text) {
    row = std::clamp(row, 0, topLevelItemCount());
    auto* item = new QTreeWidgetItem;
    item->setText(0, text);
    item->setData(0, Qt::UserRole, 0);
    insertTopLevelItem(row, item);
    return row;
}

void CListCtrlEx::SetItemText(int row, int column, const QString& text) {
    if (QTreeWidgetItem* item = topLevelItem(row)) item->setText(column, text);
}

QString CListCtrlEx::GetItemText(int row, int column) const {
    QTreeWidgetItem* item = topLevelItem(row);
    return item ? item->text(column) : QString();
}

void CListCtrlEx::SetItemData(int row, int value) {
    if (QTreeWidgetItem* item = topLevelItem(row)) item->setData(0, Qt::UserRole, value);
}

int CListCtrlEx::GetItemData(int row) const {
    QTreeWidgetItem* item = topLevelItem(row);
    return item ? item->data(0, Qt::UserRole).toInt() : -1;
}

void CListCtrlEx::DeleteItem(int row) {
    QTreeWidgetItem* item = topLevelItem(row);
    if (!item) return;
    const bool wasSelected = item->isSelected();
    delete takeTopLevelItem(row);
    // The view moves the selection to a neighbour; a list control leaves none selected.
    if (wasSelected) clearSelection();
}

void CListCtrlEx::DeleteAllItems() { clear(); }

void CListCtrlEx::SelectRow(int row) {
    QTreeWidgetItem* item = topLevelItem(row);
    if (!item) return;
    setCurrentItem(item);
    item->setSelected(true);
}

void CListCtrlEx::mouseDoubleClickEvent(QMouseEvent* event) {
    QTreeWidget::mouseDoubleClickEvent(event);
    emit DoubleClicked();
}

CTreeCtrlEx::CTreeCtrlEx(QWidget* parent) : QTreeWidget(parent) {}
