#include <windows.h>

#include "platform/InstanceChannel.h"

// On Win32 the main window itself is the channel: a later instance finds it by its title
// and posts it window messages, and brings it forward itself (only the process the user
// just started may take the foreground).
namespace platform {
namespace {
constexpr UINT kSelectSettingsMessage = WM_APP + 1;
constexpr WPARAM kTrayQuitCommand = 32773;
}  // namespace

struct InstanceListener::Impl {};
InstanceListener::InstanceListener(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
InstanceListener::~InstanceListener() = default;

std::unique_ptr<InstanceListener> InstanceListener::Create(const std::string&, std::string*) {
    return std::unique_ptr<InstanceListener>(new InstanceListener(std::make_unique<Impl>()));
}

int InstanceListener::WatchFd() const { return -1; }
std::vector<InstanceRequest> InstanceListener::TakeRequests() { return {}; }

struct RunningInstance::Impl {
    HWND window;
};
RunningInstance::RunningInstance(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
RunningInstance::~RunningInstance() = default;

std::unique_ptr<RunningInstance> RunningInstance::Find(const std::string& windowTitle) {
    HWND window = FindWindowA(nullptr, windowTitle.c_str());
    if (!window) return nullptr;
    return std::unique_ptr<RunningInstance>(
        new RunningInstance(std::make_unique<Impl>(Impl{window})));
}

bool RunningInstance::Post(InstanceRequest request) {
    HWND window = m_impl->window;
    switch (request) {
        case InstanceRequest::Quit:
            return PostMessageA(window, WM_COMMAND, kTrayQuitCommand, 0) != 0;
        case InstanceRequest::SelectSettings:
            return PostMessageA(window, kSelectSettingsMessage, 0, 0) != 0;
        case InstanceRequest::Activate: {
            HWND popup = GetLastActivePopup(window);
            if (!popup) popup = window;
            if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
            ShowWindow(popup, SW_SHOW);
            return SetForegroundWindow(popup) != 0;
        }
    }
    return false;
}

std::optional<InstanceRequest> DecodeWindowMessage(const void* nativeMessage) {
    const MSG* msg = static_cast<const MSG*>(nativeMessage);
    if (msg->message == kSelectSettingsMessage) return InstanceRequest::SelectSettings;
    if (msg->message == WM_COMMAND && LOWORD(msg->wParam) == kTrayQuitCommand && msg->lParam == 0)
        return InstanceRequest::Quit;
    return std::nullopt;
}

}  // namespace platform
