// A window message of the program's own (WM_APP_*) carried as a Qt event: the event type
// is the message number moved into Qt's user range, so 0x8002 stays recognisable.
#pragma once

#include <QEvent>
#include <cstdint>

constexpr QEvent::Type AppMessageEventType(std::uint32_t message) {
    return static_cast<QEvent::Type>(QEvent::User + message);
}

class CAppMessageEvent : public QEvent {
public:
    CAppMessageEvent(std::uint32_t message, std::uint32_t wParam, std::uint32_t lParam)
        : QEvent(AppMessageEventType(message)), m_wParam(wParam), m_lParam(lParam) {}

    std::uint32_t m_wParam;
    std::uint32_t m_lParam;
};
