// The program's only top-level window: a fixed-size frame around the control panel view
// with a menu bar, a two-pane status bar and the tray icon. Closing it only hides it;
// the Quit commands end the program. Later instances reach it through the running-
// instance channel, which it opens under its title.
#pragma once

#include <QMainWindow>
#include <cstdint>
#include <memory>

#include "TrayIcon.h"
#include "panel/FrameAccess.h"
#include "platform/InstanceChannel.h"

class QLabel;
class QMenu;
class QSocketNotifier;

class CMainFrame : public QMainWindow, public CFrameAccess {
    Q_OBJECT
public:
    static constexpr std::uint32_t kTrayIconId = 0x42424242;
    // WM_APP_SELECT_SETTINGS as an event posted to the frame.
    static constexpr QEvent::Type kSelectSettingsEvent = static_cast<QEvent::Type>(0x8001);

    // Creates the view, the status bar, the title, the tray icon and the running-instance
    // channel, leaves the frame hidden, then runs the view's initial update.
    CMainFrame();
    ~CMainFrame() override;

    CZEL_USB_CPLView* GetActiveView() const override { return m_pView; }
    void SetStatusText(const QString& text) override;
    void SetPaneText(int pane, const QString& text) override;
    QString GetPaneText(int pane) const;

    // Routes a command as the menus and other instances send it.
    void OnCommand(unsigned command);
    // Queues a command for a later turn of the event loop.
    void PostCommand(unsigned command);

    int OnTrayIcon(std::uint32_t wParam, std::uint32_t lParam);
    int OnSelectSettings();
    void OnTrayOpen();
    void OnTrayQuit();
    void OnHideWindow();
    void OnInstanceRequest(platform::InstanceRequest request);

    // The frame's end of things at quit: removes the tray icon, stops listening for other
    // instances and destroys the view. Runs once; the destructor runs it too.
    void DestroyWindow();

    CTrayIcon m_trayIcon;

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateStatusBar();
    void ShowIdleMessage();
    void OpenInstanceChannel();
    void OnAppExit();
    void ActivateForOtherInstance();

    CZEL_USB_CPLView* m_pView = nullptr;
    QLabel* m_pane[2] = {};
    std::unique_ptr<platform::InstanceListener> m_instanceListener;
    QSocketNotifier* m_instanceNotifier = nullptr;
    bool m_bDestroyed = false;
};
