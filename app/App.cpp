#include "App.h"

#include <QApplication>

#include "AboutDlg.h"
#include "CommandLine.h"
#include "MainFrame.h"
#include "platform/InstanceChannel.h"
#include "res/Icons.h"
#include "res/StringTable.h"

CZEL_USB_CPLApp theApp;

CZEL_USB_CPLApp::CZEL_USB_CPLApp() = default;
CZEL_USB_CPLApp::~CZEL_USB_CPLApp() = default;

bool CZEL_USB_CPLApp::InitInstance(std::string_view commandLine,
                                   const std::function<void()>& startGui) {
    const std::string title = LoadStringId(ids::IDS_TITLE).toStdString();

    if (FindOption(commandLine, "-exit", nullptr, true)) {
        if (auto running = platform::RunningInstance::Find(title))
            running->Post(platform::InstanceRequest::Quit);
        return false;
    }
    if (FindOption(commandLine, "-asio", nullptr, true)) m_bAsio = true;
    const bool hide = FindOption(commandLine, "-hide", nullptr, true);

    bool alreadyHeld = false;
    m_hMutex = platform::SingleInstanceLock::Create(kMutexName, &alreadyHeld);
    if (m_hMutex && !alreadyHeld) {
        if (startGui) startGui();
        // Closing the frame hides it; only the Quit commands end the program.
        QApplication::setQuitOnLastWindowClosed(false);
        m_hIcon = AppIcon(ids::IDR_MAINFRAME);
        m_pMainWnd = std::make_unique<CMainFrame>();
        if (!hide) {
            m_pMainWnd->show();
            m_pMainWnd->update();
        }
        return true;
    }

    // Another instance runs (or the lock could not be made): bring that one forward
    // unless told to stay hidden. Nobody listening means there is nothing to do.
    if (auto running = platform::RunningInstance::Find(title); running && !hide) {
        if (m_bAsio) running->Post(platform::InstanceRequest::SelectSettings);
        running->Post(platform::InstanceRequest::Activate);
    }
    return false;
}

void CZEL_USB_CPLApp::ExitInstance() {
    m_pMainWnd.reset();
    m_hIcon = QIcon();
}

void CZEL_USB_CPLApp::OnAppAbout() {
    CAboutDlg dialog(m_pMainWnd.get());
    dialog.exec();
}
