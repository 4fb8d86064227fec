// The devices page: lists the connected devices with name and serial number, lets the
// user reorder them (stored as the ranking on Apply) and rename them.
#pragma once

#include <QString>

#include "DialogPage.h"

class CListCtrlEx;
class QLabel;
class QPushButton;

class CDlgPgDevices : public CDialogPage {
    Q_OBJECT
public:
    static constexpr unsigned kTemplateId = 104;

    explicit CDlgPgDevices(QWidget* parent = nullptr);

    // Reads the devices again and rebuilds the rows, keeping the selected position.
    void Reload() override;
    void UpdateButtons();
    // Moves a row one place; the new order reaches the driver only on Apply.
    void MoveDevice(int row, bool up);
    // Renames the device at `index` of theDrv.m_Devices through the name dialog.
    void EditDeviceName(int index);

    QLabel* m_HelpLabel;
    QPushButton* m_UpButton;
    QPushButton* m_DownButton;
    QPushButton* m_ApplyButton;
    QPushButton* m_EditNameButton;
    CListCtrlEx* m_List;
    QString m_HelpText;

protected:
    void OnInitDialog() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnListItemChanged();
    void OnListDblClk();
    void OnEditNameClicked();
    void OnUpClicked();
    void OnDownClicked();
    void OnApplyClicked();

    // Inserts the row of record `index` at `row`; false when the index designates no record.
    bool InsertDeviceRow(int row, int index);
};
