#include "MainFrame.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSocketNotifier>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QThread>

#include "App.h"
#include "FrameMenus.h"
#include "panel/ControlPanelView.h"
#include "res/Icons.h"
#include "res/StringTable.h"

namespace {
constexpr int kPane0Width = 200;
constexpr int kPane1Width = 150;
}  // namespace

CMainFrame::CMainFrame() : QMainWindow(nullptr) {
    // Caption, system menu and minimise box only: no sizing border, no maximise box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setWindowIcon(AppIcon(ids::IDR_MAINFRAME));  // also registers the icon resources
    AfxSetMainWnd(this);

    BuildMainMenu(menuBar(), [this](unsigned command) { OnCommand(command); });
    for (QMenu* menu : menuBar()->findChildren<QMenu*>())
        connect(menu, &QMenu::aboutToHide, this, &CMainFrame::ShowIdleMessage);
    m_pView = new CZEL_USB_CPLView(this);
    setCentralWidget(m_pView);
    CreateStatusBar();
    setWindowTitle(LoadStringId(ids::IDS_TITLE));
    m_trayIcon.Init(this, kTrayIconId);
    m_trayIcon.Add(theApp.m_hIcon, LoadStringId(ids::IDS_TITLE));
    hide();
    OpenInstanceChannel();

    m_pView->SetAsio(theApp.m_bAsio);
    m_pView->OnInitialUpdate();
    setFixedSize(sizeHint());
    // Start-up ends with the idle message in pane 0; the caption that the view's first
    // update wrote comes back with the next selection in the tree.
    QMetaObject::invokeMethod(this, &CMainFrame::ShowIdleMessage, Qt::QueuedConnection);
}

CMainFrame::~CMainFrame() {
    DestroyWindow();
    if (AfxGetMainWnd() == this) AfxSetMainWnd(nullptr);
}

void CMainFrame::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName("59393");
    bar->setSizeGripEnabled(false);
    for (int i = 0; i < 2; ++i) {
        m_pane[i] = new QLabel(bar);
        m_pane[i]->setObjectName(QStringLiteral("pane%1").arg(i));
        m_pane[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        m_pane[i]->setTextFormat(Qt::PlainText);
    }
    m_pane[0]->setMinimumWidth(kPane0Width);
    m_pane[1]->setFixedWidth(kPane1Width);
    bar->addWidget(m_pane[0], 1);
    bar->addWidget(m_pane[1], 0);
    ShowIdleMessage();
}

void CMainFrame::ShowIdleMessage() { SetStatusText(LoadStringId(ids::AFX_IDS_IDLEMESSAGE)); }

void CMainFrame::OpenInstanceChannel() {
    std::string error;
    m_instanceListener =
        platform::InstanceListener::Create(LoadStringId(ids::IDS_TITLE).toStdString(), &error);
    if (!m_instanceListener) {
        qWarning("zel-usb-cpl: other instances cannot reach this one: %s", error.c_str());
        return;
    }
    if (m_instanceListener->WatchFd() < 0) return;  // requests come as window messages
    m_instanceNotifier =
        new QSocketNotifier(m_instanceListener->WatchFd(), QSocketNotifier::Read, this);
    connect(m_instanceNotifier, &QSocketNotifier::activated, this, [this] {
        for (platform::InstanceRequest request : m_instanceListener->TakeRequests())
            OnInstanceRequest(request);
    });
}

void CMainFrame::SetStatusText(const QString& text) {
    if (m_pane[0]) m_pane[0]->setText(text);
}

void CMainFrame::SetPaneText(int pane, const QString& text) {
    if (pane >= 0 && pane < 2 && m_pane[pane]) m_pane[pane]->setText(text);
}

QString CMainFrame::GetPaneText(int pane) const {
    return (pane >= 0 && pane < 2 && m_pane[pane]) ? m_pane[pane]->text() : QString();
}

void CMainFrame::OnCommand(unsigned command) {
    switch (command) {
        case ids::ID_HIDE_WINDOW:
            OnHideWindow();
            break;
        case ids::ID_TRAY_OPEN:
            OnTrayOpen();
            break;
        case ids::ID_TRAY_QUIT:
            OnTrayQuit();
            break;
        case ids::ID_APP_EXIT:
            OnAppExit();
            break;
        case ids::ID_APP_ABOUT:
            theApp.OnAppAbout();
            break;
        default:
            break;
    }
}

void CMainFrame::PostCommand(unsigned command) {
    QMetaObject::invokeMethod(
        this, [this, command] { OnCommand(command); }, Qt::QueuedConnection);
}

int CMainFrame::OnTrayIcon(std::uint32_t wParam, std::uint32_t lParam) {
    if (wParam != kTrayIconId) return 0;
    switch (lParam) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            OnTrayOpen();
            break;
        case WM_RBUTTONDOWN:
        case WM_RBUTTONDBLCLK: {
            // The menu is made anew for each click and deleted when it closes; the chosen
            // item arrives here as an ordinary command.
            QMenu* menu = CreateTrayMenu(this, [this](unsigned command) { OnCommand(command); });
            connect(menu, &QMenu::aboutToHide, this, &CMainFrame::ShowIdleMessage);
            menu->popup(QCursor::pos());
            break;
        }
        default:
            break;  // releases, middle button, moves
    }
    return 0;
}

int CMainFrame::OnSelectSettings() {
    // Selecting the entry is all: the tree's selection handler shows the page. The frame
    // stays as it is, hidden or not; the later instance that asked decides about that.
    CFrameAccess* main = AfxGetMainWnd();
    CZEL_USB_CPLView* view = main ? main->GetActiveView() : nullptr;
    if (view && view->m_hItemSettings) view->m_tree.setCurrentItem(view->m_hItemSettings);
    return 0;
}

void CMainFrame::OnTrayOpen() {
    // A plain show: a minimised frame stays minimised.
    show();
    raise();
    activateWindow();
}

void CMainFrame::OnTrayQuit() { PostCommand(ids::ID_APP_EXIT); }

void CMainFrame::OnHideWindow() { hide(); }

void CMainFrame::OnInstanceRequest(platform::InstanceRequest request) {
    switch (request) {
        case platform::InstanceRequest::Quit:
            OnCommand(ids::ID_TRAY_QUIT);
            break;
        case platform::InstanceRequest::SelectSettings:
            QCoreApplication::postEvent(this, new QEvent(kSelectSettingsEvent));
            break;
        case platform::InstanceRequest::Activate:
            ActivateForOtherInstance();
            break;
    }
}

void CMainFrame::ActivateForOtherInstance() {
    // Unlike the tray's Open, a minimised frame comes back to its normal size.
    if (isMinimized()) showNormal();
    OnTrayOpen();
}

void CMainFrame::OnAppExit() {
    DestroyWindow();
    // exit() rather than quit(): quit() would first ask every window to close, and this
    // one refuses. Without a running loop (tests) there is nothing to end, and exit()
    // would leave the next loop to return at once.
    if (QThread::currentThread()->loopLevel() > 0) QCoreApplication::exit(0);
}

void CMainFrame::DestroyWindow() {
    if (m_bDestroyed) return;
    m_bDestroyed = true;
    m_trayIcon.Remove();
    delete m_instanceNotifier;
    m_instanceNotifier = nullptr;
    m_instanceListener.reset();
    hide();
    // The view's destruction stops the notificator and closes the driver connection.
    // Pages that look for the active view meanwhile find none.
    m_pView = nullptr;
    delete takeCentralWidget();
}

bool CMainFrame::event(QEvent* event) {
    if (event->type() == CTrayIconEvent::kType) {
        const auto* tray = static_cast<CTrayIconEvent*>(event);
        OnTrayIcon(tray->m_wParam, tray->m_lParam);
        return true;
    }
    if (event->type() == kSelectSettingsEvent) {
        OnSelectSettings();
        return true;
    }
    if (event->type() == QEvent::StatusTip) {
        // Menu prompts go to pane 0 only (the base would show them over both panes); an
        // empty tip, sent when the highlight leaves an item, brings back the idle message.
        const QString tip = static_cast<QStatusTipEvent*>(event)->tip();
        if (tip.isEmpty())
            ShowIdleMessage();
        else
            SetStatusText(tip);
        return true;
    }
    return QMainWindow::event(event);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    // The close button, the window menu's Close and Alt+F4 only hide the frame.
    if (m_bDestroyed) return;
    event->ignore();
    OnHideWindow();
}
