// An auto-reset event: Set() signals it, a successful wait consumes the signal, and
// several Set() calls before a wait release that wait once.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace platform {

class Event {
public:
    Event();  // not signalled; Valid() is false when the system refused to create it
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    bool Valid() const;
    void Set();
    void Reset();

    // The value a driver is given to signal this event: the eventfd on POSIX, the HANDLE
    // on Win32.
    std::uintptr_t NativeHandle() const;

private:
    std::uintptr_t m_handle;
};

constexpr int kWaitTimeout = -1;
constexpr int kWaitFailed = -2;
constexpr int kInfinite = -1;

// Waits until one of the events is signalled and returns its index, consuming that
// event's signal (the first in list order wins when several are set). Returns
// kWaitTimeout after timeoutMs (kInfinite: no limit) and kWaitFailed when the wait
// itself fails.
int WaitForAny(std::initializer_list<Event*> events, int timeoutMs);

}  // namespace platform
