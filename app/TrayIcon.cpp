#include "TrayIcon.h"

#include <QCoreApplication>
#include <QSystemTrayIcon>
#include <QWidget>

namespace {

std::uint32_t MouseMessage(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
        case QSystemTrayIcon::Trigger:
            return WM_LBUTTONDOWN;
        case QSystemTrayIcon::DoubleClick:
            return WM_LBUTTONDBLCLK;
        case QSystemTrayIcon::Context:
            return WM_RBUTTONDOWN;
        case QSystemTrayIcon::MiddleClick:
            return WM_MBUTTONDOWN;
        default:
            return 0;
    }
}

}  // namespace

CTrayIcon::CTrayIcon() = default;
CTrayIcon::~CTrayIcon() = default;

void CTrayIcon::Init(QWidget* window, std::uint32_t id) {
    m_hWnd = window;
    m_uID = id;
}

int CTrayIcon::Add(const QIcon& icon, const QString& tip) {
    if (!m_hWnd) return 0;
    m_shellIcon = std::make_unique<QSystemTrayIcon>();
    m_shellIcon->setIcon(icon);
    m_shellIcon->setToolTip(tip.left(kMaxTip));
    QWidget* window = m_hWnd;
    const std::uint32_t id = m_uID;
    // Posted, as the shell posts its callback message: the window handles it on a later
    // turn of the event loop, never inside the tray host's own call.
    QObject::connect(m_shellIcon.get(), &QSystemTrayIcon::activated, window,
                     [window, id](QSystemTrayIcon::ActivationReason reason) {
                         QCoreApplication::postEvent(window,
                                                     new CTrayIconEvent(id, MouseMessage(reason)));
                     });
    m_shellIcon->show();
    return QSystemTrayIcon::isSystemTrayAvailable() ? 1 : 0;
}

int CTrayIcon::Remove() {
    if (!m_hWnd) return 0;
    if (!m_shellIcon) return 0;
    m_shellIcon->hide();
    m_shellIcon.reset();
    return 1;
}
