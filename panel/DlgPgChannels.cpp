#include "DlgPgChannels.h"

CDlgPgChannels::CDlgPgChannels(bool outputs, QWidget* parent)
    : CDialogPage(105, parent), m_Outputs(outputs) {}

void CDlgPgChannels::Reload() {}
