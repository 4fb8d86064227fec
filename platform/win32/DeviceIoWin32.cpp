#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>

#include "platform/DeviceIo.h"
#include "platform/Event.h"

namespace platform {

// The open control device object. Kept behind a pointer of our own so that a closed
// connection is null, never the invalid-handle value.
struct DeviceConnection {
    HANDLE handle;
};

namespace {

// A failed call always yields a non-zero status, even if the system left none.
std::uint32_t LastError() {
    const DWORD error = GetLastError();
    return error != 0 ? error : ERROR_GEN_FAILURE;
}

}  // namespace

std::uint32_t OpenDevice(const char* name, DeviceHandle* handle) {
    if (!handle) return ERROR_INVALID_PARAMETER;
    *handle = nullptr;
    if (!name) return ERROR_INVALID_PARAMETER;

    char path[300];
    const int length = std::snprintf(path, sizeof path, "\\\\.\\%s", name);
    // A cut path would name another object: refuse it instead.
    if (length < 0 || length >= static_cast<int>(sizeof path)) return ERROR_FILENAME_EXCED_RANGE;

    // Flags 0: synchronous I/O, every request blocks until the driver completes it.
    const HANDLE device =
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) return LastError();
    *handle = new DeviceConnection{device};
    return 0;
}

std::uint32_t DeviceControl(DeviceHandle handle, std::uint32_t code, const void* in,
                            std::uint32_t inSize, void* out, std::uint32_t outSize,
                            const Event* /*event*/) {
    // The kernel driver finds the event by the handle value in the request's input.
    if (!handle) return ERROR_INVALID_HANDLE;
    DWORD returned = 0;
    if (!DeviceIoControl(handle->handle, code, const_cast<void*>(in), inSize, out, outSize,
                         &returned, nullptr))
        return LastError();
    return 0;
}

void CloseDevice(DeviceHandle handle) {
    if (!handle) return;
    CloseHandle(handle->handle);
    delete handle;
}

// The kernel driver always completes its requests; there is nothing to time out.
void SetDeviceRequestTimeout(std::chrono::milliseconds) {}

}  // namespace platform
