// A fake driver that keeps every event registered with it, so a test can signal it the
// way a driver does: by writing to the descriptor it was handed. Also tells whether a
// signal has been taken yet, from the kernel's own count of the event.
#pragma once

#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "driver/ZivuUsbRecords.h"
#include "platform/FakeDriverSocket.h"

class RegisteredEvents {
public:
    ~RegisteredEvents() { CloseAll(); }

    void Keep(int fd) {
        std::lock_guard lock(m_mutex);
        m_fds.push_back(fd);
    }
    // The descriptor of the n-th registration (0-based), or -1.
    int At(std::size_t n) {
        std::lock_guard lock(m_mutex);
        return n < m_fds.size() ? m_fds[n] : -1;
    }
    int Latest() {
        std::lock_guard lock(m_mutex);
        return m_fds.empty() ? -1 : m_fds.back();
    }
    std::size_t Count() {
        std::lock_guard lock(m_mutex);
        return m_fds.size();
    }
    void CloseAll() {
        std::lock_guard lock(m_mutex);
        for (int fd : m_fds) close(fd);
        m_fds.clear();
    }

private:
    std::mutex m_mutex;
    std::vector<int> m_fds;
};

// Answers like a driver of interface 2; the registration gets `registerStatus`, and the
// event is kept only when it is accepted.
inline FakeDriverSocket::Handler ServeEvents(std::shared_ptr<RegisteredEvents> events,
                                             std::uint32_t registerStatus = 0) {
    return FakeDriverSocket::Standard(
        2, [events, registerStatus](const FakeDriverSocket::Request& request,
                                    FakeDriverSocket::Peer& peer, int& descriptor) {
            if (request.code == IOCTL_REGISTER_NOTIFICATION_EVENT && registerStatus == 0 &&
                descriptor >= 0) {
                events->Keep(descriptor);
                descriptor = -1;  // ours now
            }
            peer.Reply(request.sequence,
                       request.code == IOCTL_REGISTER_NOTIFICATION_EVENT ? registerStatus : 0);
        });
}

inline void Signal(int fd) { eventfd_write(fd, 1); }

// The pending count of an eventfd as the kernel reports it, or -1.
inline long long PendingSignals(int fd) {
    std::ifstream info("/proc/self/fdinfo/" + std::to_string(fd));
    std::string key;
    while (info >> key) {
        if (key == "eventfd-count:") {
            std::string hex;
            info >> hex;
            return std::stoll(hex, nullptr, 16);
        }
    }
    return -1;
}

// Waits (bounded) until whoever waits on the event has taken its signal.
inline bool WaitUntilTaken(int fd) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (PendingSignals(fd) == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}
