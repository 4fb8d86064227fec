// The application object: reads the command line, keeps the panel to one instance, and
// either creates the main frame (first instance) or hands the request to the running
// instance and ends (every later one).
#pragma once

#include <QIcon>
#include <functional>
#include <memory>
#include <string_view>

#include "platform/SingleInstance.h"

class CMainFrame;

class CZEL_USB_CPLApp {
public:
    static constexpr const char* kMutexName = "1865D745-1233-41b6-8FA5-18D0BB3E0A2F";

    CZEL_USB_CPLApp();
    ~CZEL_USB_CPLApp();

    // Returns true when the event loop is to run (a first instance with its frame made),
    // false when the process is to end at once. `startGui` brings up the window system
    // connection; it is called only on the way to the first instance's frame, so "-exit"
    // and later instances never open the display.
    bool InitInstance(std::string_view commandLine, const std::function<void()>& startGui);
    // Destroys the frame (tray icon, view) while the window system is still up.
    void ExitInstance();

    // Info > About Control Panel...: runs the About box modally over the main frame.
    void OnAppAbout();

    CMainFrame* MainFrame() const { return m_pMainWnd.get(); }

    bool m_bAsio = false;
    std::unique_ptr<platform::SingleInstanceLock> m_hMutex;
    QIcon m_hIcon;

private:
    std::unique_ptr<CMainFrame> m_pMainWnd;
};

extern CZEL_USB_CPLApp theApp;
