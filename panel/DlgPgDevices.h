// The devices page: ranking and names of the connected devices.
#pragma once

#include "DialogPage.h"

class CDlgPgDevices : public CDialogPage {
    Q_OBJECT
public:
    explicit CDlgPgDevices(QWidget* parent = nullptr);

    void Reload() override;
};
