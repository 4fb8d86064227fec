// The channels page, for inputs or outputs: each channel with its device's name, its own
// name and the name ASIO hosts show; renames channels and switches whether the ASIO
// display names include the device name (one driver setting shown on both pages).
#pragma once

#include <QString>

#include "DialogPage.h"
#include "driver/Drv.h"

class CListCtrlEx;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

class CDlgPgChannels : public CDialogPage {
    Q_OBJECT
public:
    static constexpr unsigned kTemplateId = 105;

    explicit CDlgPgChannels(bool outputs, QWidget* parent = nullptr);

    // Reads this direction's channels again and rebuilds the rows, keeping the selected
    // position; a channel whose device cannot be read gets no row.
    void Reload() override;
    // Fills the ASIO display name column from the names shown in each row.
    void ComposeAsioDisplayNames();
    void UpdateSelection();
    // Renames the channel at `index` of this page's channel array through the name dialog.
    void EditChannelName(int index);
    // Puts m_IncludeDeviceNameChecked and m_HardwareName into their controls.
    void UpdateData();

    // theDrv.m_InputChannels or theDrv.m_OutputChannels, after m_Outputs.
    CChannelArray& Channels() const;

    QCheckBox* m_IncludeDeviceNameCheck;
    QLineEdit* m_HardwareNameEdit;
    QLabel* m_HardwareNameLabel;
    QPushButton* m_EditNameButton;
    CListCtrlEx* m_List;
    bool m_IncludeDeviceNameChecked = false;
    QString m_HardwareName;
    bool m_Outputs;

protected:
    void OnInitDialog() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnIncludeDeviceNameClicked();
    void OnListItemChanged();
    void OnListDblClk();
    void OnEditNameClicked();
};
