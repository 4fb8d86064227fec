#include "ControlPanelView.h"

#include <QCoreApplication>
#include <QFile>
#include <QFrame>
#include <QLayout>
#include <QPalette>
#include <QTreeWidgetItem>
#include <cstring>

#include "AppMessageEvent.h"
#include "DeviceEventNotifier.h"
#include "FrameAccess.h"
#include "driver/Drv.h"
#include "res/StringTable.h"

namespace {

// One entry of the navigation tree and the page it shows; the item carries the tag,
// whose top byte names the entry.
struct NavEntry {
    unsigned stringId;
    int image;
    std::uint32_t tag;
    QTreeWidgetItem* CZEL_USB_CPLView::*item;
    CDialogPage& (*page)(CZEL_USB_CPLView&);
};

constexpr NavEntry kEntries[] = {
    {ids::IDS_DEVICES, 1, 0x12000000, &CZEL_USB_CPLView::m_hItemDevices,
     [](CZEL_USB_CPLView& view) -> CDialogPage& { return view.m_dlgDevices; }},
    {ids::IDS_INPUT_CHANNELS, 3, 0x13000000, &CZEL_USB_CPLView::m_hItemInputs,
     [](CZEL_USB_CPLView& view) -> CDialogPage& { return view.m_dlgInputChannels; }},
    {ids::IDS_OUTPUT_CHANNELS, 3, 0x14000000, &CZEL_USB_CPLView::m_hItemOutputs,
     [](CZEL_USB_CPLView& view) -> CDialogPage& { return view.m_dlgOutputChannels; }},
    {ids::IDS_SYNCHRONISATION, 5, 0x18000000, &CZEL_USB_CPLView::m_hItemSync,
     [](CZEL_USB_CPLView& view) -> CDialogPage& { return view.m_dlgSync; }},
    {ids::IDS_SETTINGS, 2, 0x11000000, &CZEL_USB_CPLView::m_hItemSettings,
     [](CZEL_USB_CPLView& view) -> CDialogPage& { return view.m_dlgSettings; }},
};

constexpr unsigned kIconIds[] = {130, 131, 132, 135, 136, 146};
constexpr std::uint32_t kTagMask = 0xFF000000;
constexpr std::uint32_t kDeviceArrival = 0x8000;
constexpr std::uint32_t kDeviceRemoveComplete = 0x8004;
constexpr std::size_t kMinInterfaceNameLength = 5;

// Posted to itself when a drain batch ran out before the driver did.
const QEvent::Type kDrainContinueEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

void StartNotificator(CZivuUsbNotificator& notificator, IMessageTarget* target) {
    notificator.SetTarget(target, WM_APP_DRIVER_EVENT, 0, 0);
    notificator.Start(ZIVU_DRIVER_NAME);  // a failure is ignored: the next arrival retries
}

}  // namespace

QString IconResourcePath(unsigned iconId) { return QStringLiteral(":/icons/%1.svg").arg(iconId); }

CZEL_USB_CPLView::CZEL_USB_CPLView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("101"));
    setFixedSize(kViewSize);

    m_tree.setParent(this);
    m_tree.setObjectName(QStringLiteral("1000"));
    m_tree.setAccessibleName(QStringLiteral("Choose settings page"));
    // A little wider than the original 80 dialog units: the labels must not be elided in
    // the fonts of a Linux desktop.
    m_tree.setGeometry(2, 11, 134, 366);
    m_tree.setHeaderHidden(true);
    m_tree.setRootIsDecorated(false);  // no lines and no expand buttons
    m_tree.setItemsExpandable(false);
    m_tree.setIconSize(QSize(16, 16));
    m_tree.setSelectionMode(QAbstractItemView::SingleSelection);
    // Keep the selection as visible without the focus as with it.
    QPalette palette = m_tree.palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    m_tree.setPalette(palette);
    // Also fires on a programmatic selection, which the frame's "select settings" needs.
    connect(&m_tree, &QTreeWidget::currentItemChanged, this, &CZEL_USB_CPLView::OnTreeSelChanged);

    m_verticalLine = new QFrame(this);
    m_verticalLine->setFrameShape(QFrame::VLine);
    m_verticalLine->setFrameShadow(QFrame::Sunken);
    m_verticalLine->setGeometry(137, 11, 2, 366);
    m_topLine = new QFrame(this);
    m_topLine->setFrameShape(QFrame::HLine);
    m_topLine->setFrameShadow(QFrame::Sunken);
    m_topLine->setGeometry(1, 0, 673, 2);

    theDrv.Open(ZIVU_DRIVER_NAME);  // the status is not looked at
    // No window to post to yet: the notificator drops events until OnInitialUpdate.
    if (theDrv.IsOpen() && !m_notificator.IsRunning()) StartNotificator(m_notificator, nullptr);
}

CZEL_USB_CPLView::~CZEL_USB_CPLView() {
    // The pages go before the tree: its last selection change must not reach them.
    disconnect(&m_tree, nullptr, this, nullptr);
    OnDestroy();
    theDrv.Close();
}

void CZEL_USB_CPLView::OnInitialUpdate() {
    RegisterForDeviceNotifications(ZIVU_INTERFACE_CLASS);
    m_notificator.SetTarget(this, WM_APP_DRIVER_EVENT, 0, 0);
    if (!m_notificator.IsRunning()) m_notificator.Start(ZIVU_DRIVER_NAME);
    FitParentFrame();
    if (!m_bFirstUpdate) return;

    CreatePages();
    HidePages();
    m_imageList.clear();
    for (unsigned iconId : kIconIds) {
        const QString path = IconResourcePath(iconId);
        m_imageList.append(QFile::exists(path) ? QIcon(path) : QIcon());
    }
    InsertEntries();
    HidePages();
    m_tree.setCurrentItem(m_bAsio ? m_hItemSettings : m_hItemDevices);
    m_bFirstUpdate = false;
}

std::array<CDialogPage*, 5> CZEL_USB_CPLView::Pages() {
    // The order the pages are created in, so also the order of their first requests.
    return {&m_dlgSettings, &m_dlgDevices, &m_dlgInputChannels, &m_dlgOutputChannels, &m_dlgSync};
}

void CZEL_USB_CPLView::CreatePages() {
    for (CDialogPage* page : Pages()) {
        page->CreatePage(this);
        page->move(kPagePosition);
        page->show();
    }
}

void CZEL_USB_CPLView::InsertEntries() {
    for (const NavEntry& entry : kEntries) {
        auto* item = new QTreeWidgetItem(QStringList{LoadStringId(entry.stringId)});
        item->setIcon(0, m_imageList.value(entry.image));
        m_tree.addTopLevelItem(item);
        this->*entry.item = item;
        item->setData(0, Qt::UserRole, QVariant::fromValue<quint32>(entry.tag));
    }
}

// Lets the frame around the view shrink to just hold it and the status bar. A frame
// that has not been shown has no size of its own yet, so it takes the needed size.
void CZEL_USB_CPLView::FitParentFrame() {
    QWidget* frame = window();
    if (frame == this) return;
    if (QLayout* layout = frame->layout()) layout->activate();
    const QSize needed = frame->sizeHint();
    if (!needed.isValid()) return;
    frame->resize(frame->isVisible() ? frame->size().boundedTo(needed) : needed);
}

void CZEL_USB_CPLView::HidePages() {
    for (CDialogPage* page : Pages()) page->hide();
}

void CZEL_USB_CPLView::ReloadPage(CDialogPage& page) {
    page.Reload();
    emit PageReloaded(&page);
}

void CZEL_USB_CPLView::ReloadAllPages() {
    ReloadPage(m_dlgDevices);
    ReloadPage(m_dlgInputChannels);
    ReloadPage(m_dlgOutputChannels);
    ReloadPage(m_dlgSettings);
    ReloadPage(m_dlgSync);
}

void CZEL_USB_CPLView::ReloadChannelPages() {
    ReloadPage(m_dlgInputChannels);
    ReloadPage(m_dlgOutputChannels);
}

void CZEL_USB_CPLView::OnTreeSelChanged() {
    HidePages();
    const QTreeWidgetItem* item = m_tree.currentItem();
    const std::uint32_t tag = item ? item->data(0, Qt::UserRole).toUInt() & kTagMask : 0;
    for (const NavEntry& entry : kEntries) {
        if (entry.tag != tag) continue;
        entry.page(*this).show();
        if (CFrameAccess* frame = AfxGetMainWnd())
            frame->SetStatusText(LoadStringId(entry.stringId));
        return;
    }
}

bool CZEL_USB_CPLView::RegisterForDeviceNotifications(const char* interfaceClass) {
    // A repeated initial update keeps the registration it has.
    if (m_hDevNotify) return true;
    auto notifier = std::make_unique<CDeviceEventNotifier>();
    if (!notifier->Register(interfaceClass)) return false;
    connect(notifier.get(), &CDeviceEventNotifier::DeviceChange, this,
            [this](std::uint32_t eventType, const QByteArray& name) {
                OnDeviceChange(eventType, name.constData());
            });
    m_hDevNotify = std::move(notifier);
    return true;
}

bool CZEL_USB_CPLView::OnDeviceChange(std::uint32_t eventType, const char* name) {
    if (!name || !*name) return true;
    if (std::strlen(name) >= kMinInterfaceNameLength &&
        (eventType == kDeviceArrival || eventType == kDeviceRemoveComplete))
        ReconnectAndReload();
    return true;
}

void CZEL_USB_CPLView::ReconnectAndReload() {
    if (theDrv.IsOpen()) theDrv.Close();
    const std::uint32_t status = theDrv.Open(ZIVU_DRIVER_NAME);
    // A running notificator keeps its own connection, also after a removal.
    if (status == ZIVU_STATUS_SUCCESS && !m_notificator.IsRunning())
        StartNotificator(m_notificator, this);
    ReloadAllPages();  // with the connection closed the pages show their failed state
}

void CZEL_USB_CPLView::OnDriverEvent() {
    for (int read = 0; read < kDrainBatch; ++read) {
        _DRIVER_NOTIFICATION record{};
        if (m_notificator.GetNotification(record) != ZIVU_STATUS_SUCCESS) return;
        // Each configuration change gets its own full reload; they are not merged.
        if (record.EventCode == 2 || record.EventCode == 3) ReloadAllPages();
    }
    if (!m_bDrainQueued) {
        m_bDrainQueued = true;
        QCoreApplication::postEvent(this, new QEvent(kDrainContinueEvent));
    }
}

void CZEL_USB_CPLView::customEvent(QEvent* event) {
    if (event->type() == AppMessageEventType(WM_APP_DRIVER_EVENT)) {
        OnDriverEvent();
    } else if (event->type() == kDrainContinueEvent) {
        m_bDrainQueued = false;
        OnDriverEvent();
    } else {
        QWidget::customEvent(event);
    }
}

void CZEL_USB_CPLView::PostMessage(std::uint32_t message, std::uint32_t wParam,
                                   std::uint32_t lParam) {
    QCoreApplication::postEvent(this, new CAppMessageEvent(message, wParam, lParam));
}

void CZEL_USB_CPLView::OnDestroy() {
    m_notificator.Stop();  // waits for the thread within its limit; the status is ignored
    // No posting after this: SetTarget and the thread's posting share the lock.
    m_notificator.SetTarget(nullptr, 0, 0, 0);
    m_hDevNotify.reset();
}
