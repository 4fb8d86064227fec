// The buffer settings page: stream, ASIO and WDM buffer depths and the drop-out count.
#pragma once

#include "DialogPage.h"

class CDlgPgASIOSettings : public CDialogPage {
    Q_OBJECT
public:
    explicit CDlgPgASIOSettings(QWidget* parent = nullptr);

    void Reload() override;
};
