#include "DlgPgASIOSettings.h"

CDlgPgASIOSettings::CDlgPgASIOSettings(QWidget* parent) : CDialogPage(103, parent) {}

void CDlgPgASIOSettings::Reload() {}
