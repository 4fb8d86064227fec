// The control panel view: the navigation tree on the left and one of five settings pages
// on the right. Owns the pages, the notificator and the device-event registration, and
// makes every page reload after device arrival or removal and driver notifications.
#pragma once

#include <QIcon>
#include <QList>
#include <QWidget>
#include <array>
#include <cstdint>
#include <memory>

#include "DlgPgASIOSettings.h"
#include "DlgPgChannels.h"
#include "DlgPgDevices.h"
#include "DlgPgSync.h"
#include "ListCtrlEx.h"
#include "driver/MessageTarget.h"
#include "driver/ZivuUsbNotificator.h"

class QFrame;
class QTreeWidgetItem;
class CDeviceEventNotifier;

class CZEL_USB_CPLView : public QWidget, public IMessageTarget {
    Q_OBJECT
public:
    // The view's client area (450 by 239 dialog units).
    static constexpr QSize kViewSize{675, 390};
    static constexpr QPoint kPagePosition{140, 2};
    // Notifications read per turn of the event loop; the rest wait for a later turn, so
    // a driver that never runs out of notifications cannot freeze the window.
    static constexpr int kDrainBatch = 64;

    explicit CZEL_USB_CPLView(QWidget* parent = nullptr);
    ~CZEL_USB_CPLView() override;

    // The "-asio" option: the first initial update selects Settings instead of Devices.
    void SetAsio(bool asio) { m_bAsio = asio; }

    void OnInitialUpdate();
    void HidePages();
    void ReloadAllPages();
    void ReloadChannelPages();
    bool RegisterForDeviceNotifications(const char* interfaceClass);
    // A device interface event; only arrivals and removals with a name count.
    bool OnDeviceChange(std::uint32_t eventType, const char* name);
    void ReconnectAndReload();
    // Reads the pending driver notifications (at most kDrainBatch this turn).
    void OnDriverEvent();
    // Stops the notificator and drops the device-event registration; the destructor
    // calls it when the owner has not.
    void OnDestroy();

    // Thread-safe: posts the message to the user-interface thread.
    void PostMessage(std::uint32_t message, std::uint32_t wParam, std::uint32_t lParam) override;

    CTreeCtrlEx m_tree;
    QTreeWidgetItem* m_hItemOutputs = nullptr;
    QTreeWidgetItem* m_hItemInputs = nullptr;
    QTreeWidgetItem* m_hItemDevices = nullptr;
    QTreeWidgetItem* m_hItemSettings = nullptr;
    QTreeWidgetItem* m_hItemSync = nullptr;
    QList<QIcon> m_imageList;
    CDlgPgChannels m_dlgInputChannels{false};
    CDlgPgChannels m_dlgOutputChannels{true};
    CDlgPgDevices m_dlgDevices;
    CDlgPgASIOSettings m_dlgSettings;
    DlgPgSync m_dlgSync;
    bool m_bFirstUpdate = true;
    CZivuUsbNotificator m_notificator;
    std::unique_ptr<CDeviceEventNotifier> m_hDevNotify;
    bool m_bAsio = false;

signals:
    // After every Reload() the view makes a page do.
    void PageReloaded(CDialogPage* page);

protected:
    void customEvent(QEvent* event) override;

private:
    void OnTreeSelChanged();
    void FitParentFrame();
    void CreatePages();
    void InsertEntries();
    void ReloadPage(CDialogPage& page);
    std::array<CDialogPage*, 5> Pages();

    QFrame* m_verticalLine = nullptr;
    QFrame* m_topLine = nullptr;
    bool m_bDrainQueued = false;  // a continuation of the drain is waiting in the queue
};

// Where the tree's icons are looked up: ":/icons/<id>.svg".
QString IconResourcePath(unsigned iconId);
