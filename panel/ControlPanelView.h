// The control panel view: the navigation tree on the left and one of five settings pages
// on the right. Owns the pages, the notificator and the device-event registration, and
// makes every page reload after device arrival or removal and driver notifications.
#pragma once

#include <QWidget>
#include <cstdint>

#include "DlgPgASIOSettings.h"
#include "DlgPgChannels.h"
#include "DlgPgDevices.h"
#include "DlgPgSync.h"
#include "ListCtrlEx.h"
#include "driver/MessageTarget.h"
#include "driver/ZivuUsbNotificator.h"

class QTreeWidgetItem;

class CZEL_USB_CPLView : public QWidget, public IMessageTarget {
    Q_OBJECT
public:
    explicit CZEL_USB_CPLView(QWidget* parent = nullptr);
    ~CZEL_USB_CPLView() override;

    void OnInitialUpdate();
    void HidePages();
    void ReloadAllPages();
    void ReloadChannelPages();
    void ReconnectAndReload();

    // Thread-safe: posts the message to the user-interface thread.
    void PostMessage(std::uint32_t message, std::uint32_t wParam, std::uint32_t lParam) override;

    CTreeCtrlEx m_tree;
    QTreeWidgetItem* m_hItemOutputs = nullptr;
    QTreeWidgetItem* m_hItemInputs = nullptr;
    QTreeWidgetItem* m_hItemDevices = nullptr;
    QTreeWidgetItem* m_hItemSettings = nullptr;
    QTreeWidgetItem* m_hItemSync = nullptr;
    CDlgPgChannels m_dlgInputChannels{false};
    CDlgPgChannels m_dlgOutputChannels{true};
    CDlgPgDevices m_dlgDevices;
    CDlgPgASIOSettings m_dlgSettings;
    DlgPgSync m_dlgSync;
    bool m_bFirstUpdate = true;
    CZivuUsbNotificator m_notificator;
};
