// Message targets for notificator tests: one that records what it is posted and lets a
// test wait for it, and one whose posting blocks until the test lets it go, to play a
// thread that does not end in time.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "driver/MessageTarget.h"

class RecordingTarget final : public IMessageTarget {
public:
    struct Message {
        std::uint32_t message, wParam, lParam;
        bool operator==(const Message&) const = default;
    };

    void PostMessage(std::uint32_t message, std::uint32_t wParam, std::uint32_t lParam) override {
        {
            std::lock_guard lock(m_mutex);
            m_messages.push_back({message, wParam, lParam});
        }
        m_changed.notify_all();
    }

    // Waits (bounded, generously) until at least `count` messages arrived; returns the
    // number there is.
    std::size_t WaitFor(std::size_t count,
                        std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, limit, [&] { return m_messages.size() >= count; });
        return m_messages.size();
    }

    std::vector<Message> Messages() {
        std::lock_guard lock(m_mutex);
        return m_messages;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Message> m_messages;
};

class BlockingTarget final : public IMessageTarget {
public:
    void PostMessage(std::uint32_t, std::uint32_t, std::uint32_t) override {
        std::unique_lock lock(m_mutex);
        ++m_entered;
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return m_released; });
    }

    bool WaitUntilEntered(int count = 1) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(10),
                                  [&] { return m_entered >= count; });
    }

    void Release() {
        {
            std::lock_guard lock(m_mutex);
            m_released = true;
        }
        m_changed.notify_all();
    }

    int Entered() {
        std::lock_guard lock(m_mutex);
        return m_entered;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_entered = 0;
    bool m_released = false;
};
