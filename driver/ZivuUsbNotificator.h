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
    // The owner calls Stop() first; a notificator still running is stopped here as a
    // last resort so that its thread never outlives what it uses.
    ~CZivuUsbNotificator() override;

    void SetTarget(IMessageTarget* window, std::uint32_t message, std::uint32_t wParam,
                   std::uint32_t lParam);
    // Precondition: not running (callers test IsRunning first); a Start on a running
    // notificator does nothing and returns 0.
    std::uint32_t Start(const char* name);
    // 0, or ZIVU_STATUS_THREAD_FAILED when the thread did not end in time; stopped either way.
    std::uint32_t Stop();
    bool IsRunning();

    // How long Stop waits for the thread (10000 ms; tests shorten it).
    void SetStopTimeout(std::chrono::milliseconds timeout);

private:
    struct Shared;  // both events and the thread's copy of the target
    struct Thread;  // the waiting thread and the signal that it has ended

    static void WaitLoop(std::shared_ptr<Shared> shared);

    IMessageTarget* m_hTargetWnd = nullptr;
    std::uint32_t m_Message = 0;
    std::uint32_t m_wParam = 0;
    std::uint32_t m_lParam = 0;
    std::unique_ptr<Thread> m_hThread;  // null while no thread runs
    // m_hStopEvent and m_hDriverEvent live in this block, owned jointly with the thread,
    // so that a thread that outlived Stop's time limit never touches freed memory. Such
    // a thread keeps its block; the notificator takes a fresh one for its next run.
    std::shared_ptr<Shared> m_Shared;
    std::chrono::milliseconds m_StopTimeout{10000};
};
