// The synchronisation page: rate selection mode, sampling rate, clock source.
#pragma once

#include "DialogPage.h"

class DlgPgSync : public CDialogPage {
    Q_OBJECT
public:
    explicit DlgPgSync(QWidget* parent = nullptr);

    void Reload() override;
};
