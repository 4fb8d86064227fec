#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <vector>

#include "platform/Event.h"

namespace platform {

namespace {

constexpr std::uintptr_t kNoHandle = ~std::uintptr_t{0};

int Fd(std::uintptr_t handle) { return static_cast<int>(handle); }

// Takes the event's pending signal, if any. Several Set() calls add up in the eventfd's
// counter and one read clears them all, which is what makes the event auto-reset.
bool Consume(int fd) {
    eventfd_t value = 0;
    for (;;) {
        if (read(fd, &value, sizeof value) == static_cast<ssize_t>(sizeof value)) return true;
        if (errno != EINTR) return false;  // EAGAIN: not signalled (or another waiter won)
    }
}

}  // namespace

Event::Event() {
    const int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    m_handle = fd < 0 ? kNoHandle : static_cast<std::uintptr_t>(fd);
}

Event::~Event() {
    if (Valid()) close(Fd(m_handle));
}

bool Event::Valid() const { return m_handle != kNoHandle; }

void Event::Set() {
    if (!Valid()) return;
    const eventfd_t one = 1;
    // EAGAIN means the counter is at its maximum: the event is signalled already.
    while (write(Fd(m_handle), &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void Event::Reset() {
    if (Valid()) Consume(Fd(m_handle));
}

std::uintptr_t Event::NativeHandle() const { return m_handle; }

int WaitForAny(std::initializer_list<Event*> events, int timeoutMs) {
    if (events.size() == 0) return kWaitFailed;
    std::vector<pollfd> fds;
    fds.reserve(events.size());
    for (const Event* event : events) {
        if (!event || !event->Valid()) return kWaitFailed;
        fds.push_back({Fd(event->NativeHandle()), POLLIN, 0});
    }

    using Clock = std::chrono::steady_clock;
    const bool forever = timeoutMs < 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : timeoutMs);
    for (;;) {
        int remaining = -1;
        if (!forever) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            remaining = left > 0 ? static_cast<int>(left) : 0;
        }
        const int ready = poll(fds.data(), fds.size(), remaining);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return kWaitFailed;
        }
        if (ready == 0) return kWaitTimeout;
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].revents & (POLLERR | POLLNVAL)) return kWaitFailed;
            // Another thread waiting on the same event may have taken the signal between
            // poll and read; then this wait goes on with the time that is left.
            if ((fds[i].revents & POLLIN) && Consume(fds[i].fd)) return static_cast<int>(i);
        }
    }
}

}  // namespace platform
