#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "platform/Event.h"

namespace platform {

namespace {

HANDLE Handle(std::uintptr_t value) { return reinterpret_cast<HANDLE>(value); }

}  // namespace

// Auto-reset, not signalled, unnamed.
Event::Event()
    : m_handle(reinterpret_cast<std::uintptr_t>(CreateEventA(nullptr, FALSE, FALSE, nullptr))) {}

Event::~Event() {
    if (Valid()) CloseHandle(Handle(m_handle));
}

bool Event::Valid() const { return m_handle != 0; }

void Event::Set() {
    if (Valid()) SetEvent(Handle(m_handle));
}

void Event::Reset() {
    if (Valid()) ResetEvent(Handle(m_handle));
}

std::uintptr_t Event::NativeHandle() const { return m_handle; }

int WaitForAny(std::initializer_list<Event*> events, int timeoutMs) {
    HANDLE handles[MAXIMUM_WAIT_OBJECTS];
    DWORD count = 0;
    if (events.size() == 0 || events.size() > MAXIMUM_WAIT_OBJECTS) return kWaitFailed;
    for (const Event* event : events) {
        if (!event || !event->Valid()) return kWaitFailed;
        handles[count++] = Handle(event->NativeHandle());
    }
    const DWORD limit = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
    // Waiting for any object takes the lowest index that is signalled and consumes only
    // that auto-reset event's signal.
    const DWORD result = WaitForMultipleObjects(count, handles, FALSE, limit);
    if (result - WAIT_OBJECT_0 < count) return static_cast<int>(result - WAIT_OBJECT_0);
    if (result == WAIT_TIMEOUT) return kWaitTimeout;
    return kWaitFailed;
}

}  // namespace platform
