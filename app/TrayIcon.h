// The panel's icon in the notification area: registered for a window, which receives
// every click on it as a WM_APP_TRAY_ICON event (icon id, mouse message).
#pragma once

#include <QEvent>
#include <QIcon>
#include <QString>
#include <cstdint>
#include <memory>

class QSystemTrayIcon;
class QWidget;

// Mouse messages that the icon reports, as the shell's callback carries them.
constexpr std::uint32_t WM_LBUTTONDOWN = 0x201;
constexpr std::uint32_t WM_LBUTTONDBLCLK = 0x203;
constexpr std::uint32_t WM_RBUTTONDOWN = 0x204;
constexpr std::uint32_t WM_RBUTTONDBLCLK = 0x206;
constexpr std::uint32_t WM_MBUTTONDOWN = 0x207;

class CTrayIcon {
public:
    // The longest tip the shell takes, in characters.
    static constexpr int kMaxTip = 127;

    CTrayIcon();
    ~CTrayIcon();

    void Init(QWidget* window, std::uint32_t id);
    // Non-zero on success; 0 without touching the shell when Init has not given a window.
    int Add(const QIcon& icon, const QString& tip);
    int Remove();

    // The shell's side of the icon while it is added, else null (for tests and the frame).
    QSystemTrayIcon* ShellIcon() const { return m_shellIcon.get(); }

private:
    QWidget* m_hWnd = nullptr;
    std::uint32_t m_uID = 0;
    std::unique_ptr<QSystemTrayIcon> m_shellIcon;
};

// The event that carries the icon's callback message to its window.
class CTrayIconEvent : public QEvent {
public:
    static constexpr QEvent::Type kType = static_cast<QEvent::Type>(0x8003);  // WM_APP_TRAY_ICON
    CTrayIconEvent(std::uint32_t wParam, std::uint32_t lParam)
        : QEvent(kType), m_wParam(wParam), m_lParam(lParam) {}
    std::uint32_t m_wParam;
    std::uint32_t m_lParam;
};
