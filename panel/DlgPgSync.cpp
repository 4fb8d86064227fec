#include "DlgPgSync.h"

DlgPgSync::DlgPgSync(QWidget* parent) : CDialogPage(148, parent) {}

void DlgPgSync::Reload() {}
