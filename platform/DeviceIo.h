// Device I/O with the driver's control device object: open by name, one synchronous
// request with a control code and buffers, close. Statuses are 0 or the system's error
// code; statuses that the driver itself returns pass through unchanged.
#pragma once

#include <chrono>
#include <cstdint>

namespace platform {

class Event;

struct DeviceConnection;  // defined by the backend
using DeviceHandle = DeviceConnection*;

// Opens the control device object `name` (on POSIX: the socket <rundir>/<name>). On
// success stores a non-null handle and returns 0; otherwise leaves it null and returns
// the system error, never 0.
std::uint32_t OpenDevice(const char* name, DeviceHandle* handle);

// One synchronous request. `in` may be null with inSize 0, `out` null with outSize 0.
// The driver's answer is copied into `out` (at most outSize bytes; bytes it did not
// return are left as they were). `event`, when given, is handed to the driver along
// with the request so that it can signal it later (the POSIX backend passes the eventfd
// itself with the request).
std::uint32_t DeviceControl(DeviceHandle handle, std::uint32_t code, const void* in,
                            std::uint32_t inSize, void* out, std::uint32_t outSize,
                            const Event* event = nullptr);

void CloseDevice(DeviceHandle handle);

// How long a request waits for a driver that does not answer before it fails with a
// system error (POSIX backend; the kernel driver on Win32 always completes).
void SetDeviceRequestTimeout(std::chrono::milliseconds timeout);

}  // namespace platform
