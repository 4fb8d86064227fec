#include "DlgPgDevices.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstring>

#include "DeviceRanking.h"
#include "FrameAccess.h"
#include "ListCtrlEx.h"
#include "ListGridLines.h"
#include "PageLinks.h"
#include "RecordQString.h"
#include "SubDlgDeviceNameEdit.h"
#include "driver/Drv.h"
#include "res/StringTable.h"

namespace {

QPushButton* MakeButton(const QString& text, unsigned id, const QString& accessibleName,
                        QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::number(id));
    button->setAccessibleName(accessibleName);
    button->setAutoDefault(false);
    return button;
}

_ZEL_USB_DEVICE_PROPERTIES* DeviceAt(int index) {
    return index < 0 ? nullptr : theDrv.m_Devices.GetAt(static_cast<std::size_t>(index));
}

}  // namespace

CDlgPgDevices::CDlgPgDevices(QWidget* parent)
    : CDialogPage(kTemplateId, parent),
      m_HelpLabel(new QLabel(QStringLiteral("Static"), this)),
      m_UpButton(MakeButton(tr("Up"), 1085, tr("Move device up"), this)),
      m_DownButton(MakeButton(tr("Down"), 1084, tr("Move device down"), this)),
      m_ApplyButton(MakeButton(tr("Apply"), 1086, tr("Apply device ranking"), this)),
      m_EditNameButton(MakeButton(tr("Edit Device Name"), 1079, tr("Edit device name"), this)),
      m_List(new CListCtrlEx(this)) {
    m_List->setObjectName(QStringLiteral("1001"));
    m_List->setAccessibleName(tr("Devices"));
    m_HelpLabel->setObjectName(QStringLiteral("1087"));
    m_HelpLabel->setWordWrap(true);
    m_HelpLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Showing and hiding the help must not move the buttons above it.
    QSizePolicy helpPolicy = m_HelpLabel->sizePolicy();
    helpPolicy.setRetainSizeWhenHidden(true);
    m_HelpLabel->setSizePolicy(helpPolicy);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_EditNameButton);
    buttons->addStretch(1);
    buttons->addWidget(m_UpButton);
    buttons->addWidget(m_DownButton);
    buttons->addWidget(m_ApplyButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_List, 1);
    layout->addLayout(buttons);
    layout->addWidget(m_HelpLabel);
    setTabOrder(m_List, m_EditNameButton);
    setTabOrder(m_EditNameButton, m_UpButton);
    setTabOrder(m_UpButton, m_DownButton);
    setTabOrder(m_DownButton, m_ApplyButton);

    connect(m_List, &CListCtrlEx::ItemChanged, this, &CDlgPgDevices::OnListItemChanged);
    connect(m_List, &CListCtrlEx::DoubleClicked, this, &CDlgPgDevices::OnListDblClk);
    // Enter on a row renames its device, as a double click does.
    m_List->installEventFilter(this);
    connect(m_EditNameButton, &QPushButton::clicked, this, &CDlgPgDevices::OnEditNameClicked);
    connect(m_UpButton, &QPushButton::clicked, this, &CDlgPgDevices::OnUpClicked);
    connect(m_DownButton, &QPushButton::clicked, this, &CDlgPgDevices::OnDownClicked);
    connect(m_ApplyButton, &QPushButton::clicked, this, &CDlgPgDevices::OnApplyClicked);
}

void CDlgPgDevices::OnInitDialog() {
    m_List->InsertColumn(0, LoadStringId(ids::IDS_DEVICE_NAME), 235);
    m_List->InsertColumn(1, LoadStringId(ids::IDS_SERIAL_NUMBER), 220);
    ShowGridLines(m_List);
    m_HelpText = LoadStringId(ids::IDS_RANKING_HELP);
    m_ApplyButton->setEnabled(false);
    Reload();
    m_HelpLabel->setText(m_HelpText);
}

bool CDlgPgDevices::InsertDeviceRow(int row, int index) {
    const _ZEL_USB_DEVICE_PROPERTIES* device = DeviceAt(index);
    if (!device) return false;
    row = m_List->InsertItem(row, FieldQString(device->DeviceName));
    m_List->SetItemText(row, 1, FieldQString(device->SerialNumber));
    m_List->SetItemData(row, index);
    return true;
}

void CDlgPgDevices::Reload() {
    const int selected = m_List->GetSelectedIndex();
    m_List->DeleteAllItems();
    // When the load fails part-way the model keeps what it read, but the list stays empty.
    if (theDrv.LoadDevices() == 0) {
        const int count = static_cast<int>(theDrv.m_Devices.GetSize());
        for (int i = 0; i < count; ++i) InsertDeviceRow(i, i);
    }
    if (selected >= 0) m_List->SelectRow(selected);
    UpdateButtons();
    if (CFrameAccess* frame = AfxGetMainWnd())
        frame->SetPaneText(1, DeviceCountText(theDrv.m_Devices.GetSize()));
}

void CDlgPgDevices::UpdateButtons() {
    const DeviceButtonStates states =
        DeviceButtonStatesFor(m_List->GetSelectedIndex(), m_List->GetItemCount());
    m_EditNameButton->setEnabled(states.editName);
    m_UpButton->setEnabled(states.up);
    m_DownButton->setEnabled(states.down);
    m_HelpLabel->setVisible(states.help);
}

void CDlgPgDevices::MoveDevice(int row, bool up) {
    const int index = m_List->GetItemData(row);
    // A row whose value no longer designates a record stops the move untouched.
    if (!DeviceAt(index)) return;
    const int target = MoveTargetRow(row, up, m_List->GetItemCount());
    m_List->DeleteItem(row);
    InsertDeviceRow(target, index);
    m_List->SelectRow(target);
    m_ApplyButton->setEnabled(true);
}

void CDlgPgDevices::EditDeviceName(int index) {
    const _ZEL_USB_DEVICE_PROPERTIES* device = DeviceAt(index);
    if (!device) return;
    // The dialog edits a copy: a reload during its modal loop may free the model's record.
    _ZEL_USB_DEVICE_PROPERTIES copy;
    std::memcpy(&copy, device, sizeof copy);
    QPointer<CDlgPgDevices> self(this);
    CSubDlgDeviceNameEdit dialog(&copy);
    if (dialog.DoModal() != CSubDlgDeviceNameEdit::IDOK) return;
    theDrv.SetDeviceProperties(copy);
    // The page may have gone with the view while the dialog ran.
    if (!self) return;
    Reload();
    ReloadChannelPagesOfView();
}

void CDlgPgDevices::OnListItemChanged() { UpdateButtons(); }

void CDlgPgDevices::OnListDblClk() { OnEditNameClicked(); }

bool CDlgPgDevices::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_List && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            OnListDblClk();
            return true;
        }
    }
    return CDialogPage::eventFilter(watched, event);
}

void CDlgPgDevices::OnEditNameClicked() {
    const int row = m_List->GetSelectedIndex();
    if (row >= 0) EditDeviceName(m_List->GetItemData(row));
}

void CDlgPgDevices::OnUpClicked() {
    const int row = m_List->GetSelectedIndex();
    if (row >= 0) MoveDevice(row, true);
}

void CDlgPgDevices::OnDownClicked() {
    const int row = m_List->GetSelectedIndex();
    if (row >= 0) MoveDevice(row, false);
}

void CDlgPgDevices::OnApplyClicked() {
    // Check every row first, so that a broken row stops Apply before any record changes.
    const int rows = m_List->GetItemCount();
    for (int row = 0; row < rows; ++row)
        if (!DeviceAt(m_List->GetItemData(row))) return;
    for (int row = 0; row < rows; ++row)
        DeviceAt(m_List->GetItemData(row))->Ranking = static_cast<std::uint32_t>(row);
    theDrv.ApplyDevices();
    Reload();
    ReloadChannelPagesOfView();
    m_ApplyButton->setEnabled(false);
}
