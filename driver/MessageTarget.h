// Where the notificator's thread posts its message: the view implements it by posting an
// event to the user-interface thread. Post must not block and must be thread-safe.
#pragma once

#include <cstdint>

class IMessageTarget {
public:
    virtual void PostMessage(std::uint32_t message, std::uint32_t wParam,
                             std::uint32_t lParam) = 0;

protected:
    ~IMessageTarget() = default;
};

constexpr std::uint32_t WM_APP_SELECT_SETTINGS = 0x8001;
constexpr std::uint32_t WM_APP_DRIVER_EVENT = 0x8002;
constexpr std::uint32_t WM_APP_TRAY_ICON = 0x8003;
