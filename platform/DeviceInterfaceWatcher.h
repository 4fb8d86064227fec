// Tells the panel when a device of the driver's interface class arrives or leaves, the
// way WM_DEVICECHANGE does on Windows: each event carries the type and the interface
// name of the device. The owner waits on WaitHandle() with its event loop and then calls
// ReadEvents().
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

constexpr std::uint32_t kDeviceArrival = 0x8000;         // DBT_DEVICEARRIVAL
constexpr std::uint32_t kDeviceRemoveComplete = 0x8004;  // DBT_DEVICEREMOVECOMPLETE

struct DeviceInterfaceEvent {
    std::uint32_t type = 0;
    std::string name;  // the device's interface name; may be empty

    bool operator==(const DeviceInterfaceEvent&) const = default;
};

// Watches one device interface class. POSIX: inotify on <rundir>/<class>/, whose entries
// the driver creates on plug and removes on unplug. Win32: a message-only window
// registered with RegisterDeviceNotification.
class DeviceInterfaceWatcher {
public:
    DeviceInterfaceWatcher();
    ~DeviceInterfaceWatcher();
    DeviceInterfaceWatcher(const DeviceInterfaceWatcher&) = delete;
    DeviceInterfaceWatcher& operator=(const DeviceInterfaceWatcher&) = delete;

    // `interfaceClass` is the GUID without braces, e.g. ZIVU_INTERFACE_CLASS. Returns
    // false (and stays unregistered) when the system refuses; registering again first
    // drops the earlier registration.
    bool Register(const char* interfaceClass);
    void Unregister();
    bool IsRegistered() const;

    // POSIX: a file descriptor that is readable while events are pending. Win32: an event
    // handle that is signalled while events are pending. -1 while unregistered.
    std::intptr_t WaitHandle() const;

    // The events that arrived since the last call, oldest first; never blocks.
    std::vector<DeviceInterfaceEvent> ReadEvents();

private:
    struct Impl;  // defined by the backend
    std::unique_ptr<Impl> m_impl;
};

}  // namespace platform
