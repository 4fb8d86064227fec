// The channels page, for inputs or outputs: channel names and the names ASIO hosts show.
#pragma once

#include "DialogPage.h"

class CDlgPgChannels : public CDialogPage {
    Q_OBJECT
public:
    explicit CDlgPgChannels(bool outputs, QWidget* parent = nullptr);

    void Reload() override;

    bool m_Outputs;
};
