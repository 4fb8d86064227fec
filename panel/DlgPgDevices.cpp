#include "DlgPgDevices.h"

CDlgPgDevices::CDlgPgDevices(QWidget* parent) : CDialogPage(104, parent) {}

void CDlgPgDevices::Reload() {}
