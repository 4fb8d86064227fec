#include "DlgPgChannels.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstring>

#include "AsioDisplayName.h"
#include "ControlPanelView.h"
#include "ListCtrlEx.h"
#include "ListGridLines.h"
#include "PageLinks.h"
#include "RecordQString.h"
#include "SubDlgChannelNameEdit.h"
#include "res/StringTable.h"

namespace {
enum Column { kDeviceName = 0, kChannelName = 1, kAsioDisplayName = 2 };
}

CDlgPgChannels::CDlgPgChannels(bool outputs, QWidget* parent)
    : CDialogPage(kTemplateId, parent),
      m_IncludeDeviceNameCheck(
          new QCheckBox(tr("Include device name in\nASIO display name"), this)),
      m_HardwareNameEdit(new QLineEdit(this)),
      m_HardwareNameLabel(new QLabel(tr("Hardware name of selected channel:"), this)),
      m_EditNameButton(new QPushButton(tr("Edit Channel Name"), this)),
      m_List(new CListCtrlEx(this)),
      m_Outputs(outputs) {
    m_List->setObjectName(QStringLiteral("1007"));
    m_List->setAccessibleName(outputs ? tr("Output channels") : tr("Input channels"));
    m_IncludeDeviceNameCheck->setObjectName(QStringLiteral("1027"));
    m_IncludeDeviceNameCheck->setAccessibleName(tr("Include device name in ASIO display names"));
    m_EditNameButton->setObjectName(QStringLiteral("1080"));
    m_EditNameButton->setAccessibleName(tr("Edit channel name"));
    m_EditNameButton->setAutoDefault(false);
    // The hardware name is a value: its label names it for screen readers (buddy).
    m_HardwareNameEdit->setObjectName(QStringLiteral("1081"));
    m_HardwareNameEdit->setReadOnly(true);
    m_HardwareNameLabel->setObjectName(QStringLiteral("1082"));
    m_HardwareNameLabel->setBuddy(m_HardwareNameEdit);

    auto* controls = new QGridLayout;
    controls->addWidget(m_IncludeDeviceNameCheck, 0, 0, 1, 2);
    controls->addWidget(m_EditNameButton, 0, 2, Qt::AlignRight | Qt::AlignTop);
    controls->addWidget(m_HardwareNameLabel, 1, 0);
    controls->addWidget(m_HardwareNameEdit, 1, 1, 1, 2);
    controls->setColumnStretch(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_List, 1);
    layout->addLayout(controls);
    setTabOrder(m_List, m_EditNameButton);
    setTabOrder(m_EditNameButton, m_IncludeDeviceNameCheck);
    setTabOrder(m_IncludeDeviceNameCheck, m_HardwareNameEdit);

    connect(m_IncludeDeviceNameCheck, &QCheckBox::clicked, this,
            &CDlgPgChannels::OnIncludeDeviceNameClicked);
    connect(m_List, &CListCtrlEx::ItemChanged, this, &CDlgPgChannels::OnListItemChanged);
    connect(m_List, &CListCtrlEx::DoubleClicked, this, &CDlgPgChannels::OnListDblClk);
    // Enter on a row renames its channel, as a double click does.
    m_List->installEventFilter(this);
    connect(m_EditNameButton, &QPushButton::clicked, this, &CDlgPgChannels::OnEditNameClicked);
}

CChannelArray& CDlgPgChannels::Channels() const {
    return m_Outputs ? theDrv.m_OutputChannels : theDrv.m_InputChannels;
}

void CDlgPgChannels::OnInitDialog() {
    m_List->InsertColumn(kDeviceName, LoadStringId(ids::IDS_DEVICE_NAME), 160);
    m_List->InsertColumn(kChannelName, LoadStringId(ids::IDS_CHANNEL_NAME), 160);
    m_List->InsertColumn(kAsioDisplayName, LoadStringId(ids::IDS_ASIO_DISPLAY_NAME), 180);
    ShowGridLines(m_List);
    m_EditNameButton->setEnabled(false);
    // Each page reads the setting for itself; a failed read leaves the box as it was.
    if (theDrv.GetIncludeDeviceName(theDrv.m_IncludeDeviceName) == 0)
        m_IncludeDeviceNameChecked = theDrv.m_IncludeDeviceName != 0;
    Reload();
    ComposeAsioDisplayNames();
    UpdateData();
}

void CDlgPgChannels::Reload() {
    const int selected = m_List->GetSelectedIndex();
    m_List->DeleteAllItems();
    CChannelArray& channels = Channels();
    // When the load fails part-way the model keeps what it read, but the list stays empty.
    if (theDrv.LoadChannels(channels, m_Outputs) == 0) {
        const int count = static_cast<int>(channels.GetSize());
        for (int i = 0; i < count; ++i) {
            const _ZEL_USB_CHANNEL_PROPERTIES* channel = channels.GetAt(i);
            _ZEL_USB_DEVICE_PROPERTIES device;
            if (theDrv.GetDeviceProperties(channel->DeviceId, device) != 0) continue;
            // Rows after a left-out channel move up: the row lands at the end.
            const int row = m_List->InsertItem(i, FieldQString(device.DeviceName));
            m_List->SetItemText(row, kChannelName, FieldQString(channel->ChannelName));
            m_List->SetItemText(row, kAsioDisplayName, QString());
            m_List->SetItemData(row, i);
        }
    }
    ComposeAsioDisplayNames();
    if (selected >= 0) m_List->SelectRow(selected);
    UpdateSelection();
}

void CDlgPgChannels::ComposeAsioDisplayNames() {
    const int rows = m_List->GetItemCount();
    for (int row = 0; row < rows; ++row)
        m_List->SetItemText(row, kAsioDisplayName,
                            ComposeAsioDisplayName(m_List->GetItemText(row, kDeviceName),
                                                   m_List->GetItemText(row, kChannelName),
                                                   m_IncludeDeviceNameChecked));
}

void CDlgPgChannels::UpdateSelection() {
    QString text;
    const int row = m_List->GetSelectedIndex();
    const int index = row >= 0 ? m_List->GetItemData(row) : -1;
    // A row whose value no longer designates a record shows as no selection.
    const _ZEL_USB_CHANNEL_PROPERTIES* channel =
        index >= 0 ? Channels().GetAt(static_cast<std::size_t>(index)) : nullptr;
    if (channel) text = QStringLiteral(" ") + FieldQString(channel->HardwareName);
    m_EditNameButton->setEnabled(channel != nullptr);
    m_HardwareNameLabel->setEnabled(channel != nullptr);
    m_HardwareNameEdit->setEnabled(channel != nullptr);
    m_HardwareName = text;
    UpdateData();
}

void CDlgPgChannels::UpdateData() {
    // Programmatic changes: neither emits clicked, so no handler runs.
    m_IncludeDeviceNameCheck->setChecked(m_IncludeDeviceNameChecked);
    m_HardwareNameEdit->setText(m_HardwareName);
}

void CDlgPgChannels::EditChannelName(int index) {
    const _ZEL_USB_CHANNEL_PROPERTIES* channel =
        index >= 0 ? Channels().GetAt(static_cast<std::size_t>(index)) : nullptr;
    if (!channel) return;
    // The dialog edits a copy: a reload during its modal loop may free the model's record.
    _ZEL_USB_CHANNEL_PROPERTIES copy;
    std::memcpy(&copy, channel, sizeof copy);
    QPointer<CDlgPgChannels> self(this);
    CSubDlgChannelNameEdit dialog(&copy);
    if (dialog.DoModal() != CSubDlgChannelNameEdit::IDOK) return;
    theDrv.SetChannelProperties(copy);
    // The page may have gone with the view while the dialog ran.
    if (self) Reload();
}

void CDlgPgChannels::OnIncludeDeviceNameClicked() {
    m_IncludeDeviceNameChecked = m_IncludeDeviceNameCheck->isChecked();
    theDrv.m_IncludeDeviceName = m_IncludeDeviceNameChecked ? 1 : 0;
    theDrv.SetIncludeDeviceName(theDrv.m_IncludeDeviceName);
    CZEL_USB_CPLView* view = ActiveView();
    if (!view) {
        // Without a view this page still shows its own choice.
        ComposeAsioDisplayNames();
        return;
    }
    CDlgPgChannels* pages[] = {&view->m_dlgInputChannels, &view->m_dlgOutputChannels};
    for (CDlgPgChannels* page : pages)
        page->m_IncludeDeviceNameChecked = m_IncludeDeviceNameChecked;
    for (CDlgPgChannels* page : pages) page->UpdateData();
    for (CDlgPgChannels* page : pages) page->ComposeAsioDisplayNames();
}

void CDlgPgChannels::OnListItemChanged() { UpdateSelection(); }

void CDlgPgChannels::OnListDblClk() { OnEditNameClicked(); }

bool CDlgPgChannels::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_List && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            OnListDblClk();
            return true;
        }
    }
    return CDialogPage::eventFilter(watched, event);
}

void CDlgPgChannels::OnEditNameClicked() {
    const int row = m_List->GetSelectedIndex();
    if (row >= 0) EditChannelName(m_List->GetItemData(row));
}
