// The list control of the devices and channels pages: the selected row and the record
// index each row carries, also for rows that are not there (a reload may shrink the list).
#include <gtest/gtest.h>

#include "panel/ListCtrlEx.h"
#include "qt/QtTestApp.h"

namespace {

TEST(ViewListCtrlTest, SelectedIndexAndRowValuesStayInBounds) {
    qttest::App();
    CListCtrlEx list;
    list.InsertColumn(0, "Name", 100);
    list.InsertColumn(1, "Serial", 100);
    EXPECT_EQ(list.GetSelectedIndex(), -1);
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(list.InsertItem(99, QString("dev%1").arg(row)), row);  // past the end: appended
        list.SetItemData(row, 10 + row);
        list.SetItemText(row, 1, QString("S%1").arg(row));
    }
    EXPECT_EQ(list.GetSelectedIndex(), -1);

    list.SelectRow(2);
    EXPECT_EQ(list.GetSelectedIndex(), 2);
    list.SelectRow(7);  // no such row: the selection stays
    EXPECT_EQ(list.GetSelectedIndex(), 2);
    EXPECT_EQ(list.GetItemData(1), 11);
    EXPECT_EQ(list.GetItemText(2, 1), "S2");

    for (int missing : {-1, 3, 100}) {
        EXPECT_EQ(list.GetItemData(missing), -1);
        EXPECT_EQ(list.GetItemText(missing, 0), QString());
        list.SetItemText(missing, 0, "x");  // ignored, no crash
        list.DeleteItem(missing);
    }
    EXPECT_EQ(list.GetItemCount(), 3);

    list.DeleteItem(2);
    EXPECT_EQ(list.GetSelectedIndex(), -1);
    list.DeleteAllItems();
    EXPECT_EQ(list.GetItemCount(), 0);
    EXPECT_EQ(list.GetSelectedIndex(), -1);
}

}  // namespace
