// Win32 backend of the device-interface watcher: a message-only window registered for
// the class's device interface events. The thread's message loop (Qt's, in the panel)
// delivers WM_DEVICECHANGE to it; it queues the event and signals the wait handle.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// windows.h first
#include <dbt.h>

#include <cstdio>
#include <deque>

#include "platform/DeviceInterfaceWatcher.h"

namespace platform {

namespace {

constexpr const char* kWindowClass = "ZelDeviceInterfaceWatcher";

bool ParseGuid(const char* text, GUID& guid) {
    unsigned long data1 = 0;
    unsigned int data2 = 0, data3 = 0, bytes[8] = {};
    int fields = std::sscanf(text, "%8lx-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x", &data1, &data2, &data3,
                             &bytes[0], &bytes[1], &bytes[2], &bytes[3], &bytes[4], &bytes[5],
                             &bytes[6], &bytes[7]);
    if (fields != 11) return false;
    guid.Data1 = data1;
    guid.Data2 = static_cast<unsigned short>(data2);
    guid.Data3 = static_cast<unsigned short>(data3);
    for (int i = 0; i < 8; ++i) guid.Data4[i] = static_cast<unsigned char>(bytes[i]);
    return true;
}

}  // namespace

struct DeviceInterfaceWatcher::Impl {
    HWND window = nullptr;
    HDEVNOTIFY registration = nullptr;
    HANDLE pending = nullptr;  // manual-reset: signalled while `queue` is not empty
    std::deque<DeviceInterfaceEvent> queue;

    ~Impl() {
        if (registration) UnregisterDeviceNotification(registration);
        if (window) DestroyWindow(window);
        if (pending) CloseHandle(pending);
    }

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<Impl*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (message != WM_DEVICECHANGE || !self)
            return DefWindowProcA(window, message, wParam, lParam);
        DeviceInterfaceEvent event;
        event.type = static_cast<std::uint32_t>(wParam);
        const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
        if (header && header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE)
            event.name =
                reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(header)->dbcc_name;
        self->queue.push_back(std::move(event));
        SetEvent(self->pending);
        return TRUE;
    }
};

DeviceInterfaceWatcher::DeviceInterfaceWatcher() = default;
DeviceInterfaceWatcher::~DeviceInterfaceWatcher() = default;

bool DeviceInterfaceWatcher::Register(const char* interfaceClass) {
    Unregister();
    GUID guid{};
    if (!interfaceClass || !ParseGuid(interfaceClass, guid)) return false;

    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &Impl::WindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassA(&windowClass);  // fails harmlessly when registered already

    auto impl = std::make_unique<Impl>();
    impl->pending = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    impl->window = CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   windowClass.hInstance, nullptr);
    if (!impl->pending || !impl->window) return false;
    SetWindowLongPtrA(impl->window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(impl.get()));

    DEV_BROADCAST_DEVICEINTERFACE_A filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = guid;
    impl->registration =
        RegisterDeviceNotificationA(impl->window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    if (!impl->registration) return false;
    m_impl = std::move(impl);
    return true;
}

void DeviceInterfaceWatcher::Unregister() { m_impl.reset(); }

bool DeviceInterfaceWatcher::IsRegistered() const { return m_impl != nullptr; }

std::intptr_t DeviceInterfaceWatcher::WaitHandle() const {
    return m_impl ? reinterpret_cast<std::intptr_t>(m_impl->pending) : -1;
}

std::vector<DeviceInterfaceEvent> DeviceInterfaceWatcher::ReadEvents() {
    std::vector<DeviceInterfaceEvent> out;
    if (!m_impl) return out;
    out.assign(m_impl->queue.begin(), m_impl->queue.end());
    m_impl->queue.clear();
    ResetEvent(m_impl->pending);
    return out;
}

}  // namespace platform
