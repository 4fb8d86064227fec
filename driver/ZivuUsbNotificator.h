// Hands the driver an event on a connection of its own and runs the one waiting thread
// that turns every signal into a message for the current target. The thread never talks
// to the driver and never touches a page: it only posts.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>

#include "MessageTarget.h"
#include "ZivuUsbDriver.h"
#include "platform/Event.h"

class CZivuUsbNotificator : public CZivuUsbDriver {
public:
    CZivuUsbNotificator();
    ~CZivuUsbNotificator() override;  // the owner calls Stop() first

    void SetTarget(IMessageTarget* window, std::uint32_t message, std::uint32_t wParam,
                   std::uint32_t lParam);
    std::uint32_t Start(const char* name);
    // 0, or ZIVU_STATUS_THREAD_FAILED when the thread did not end in time; stopped either way.
    std::uint32_t Stop();
    bool IsRunning();

    // How long Stop waits for the thread (10000 ms; tests shorten it).
    void SetStopTimeout(std::chrono::milliseconds timeout);

private:
    struct Thread;  // the waiting thread and what it shares with this object

    IMessageTarget* m_hTargetWnd = nullptr;
    std::uint32_t m_Message = 0;
    std::uint32_t m_wParam = 0;
    std::uint32_t m_lParam = 0;
    std::shared_ptr<Thread> m_hThread;
    // m_hStopEvent and m_hDriverEvent live in the shared block so that a thread that
    // outlived Stop's time limit never touches freed memory.
    std::chrono::milliseconds m_StopTimeout{10000};
};
