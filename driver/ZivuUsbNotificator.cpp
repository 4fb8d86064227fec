#include "ZivuUsbNotificator.h"

#include <atomic>
#include <exception>
#include <future>
#include <mutex>
#include <thread>

// What the waiting thread uses. The thread and the notificator own it jointly, so the
// thread can outlive a Stop that gave up on it without reaching into freed memory.
struct CZivuUsbNotificator::Shared {
    platform::Event stopEvent;    // auto-reset; set by Stop
    platform::Event driverEvent;  // auto-reset; handed to the driver, which sets it

    // The target as the thread sees it. SetTarget and the posting both hold this lock, so
    // no message goes out after a null target has been set.
    std::mutex targetLock;
    IMessageTarget* target = nullptr;
    std::uint32_t message = 0;
    std::uint32_t wParam = 0;
    std::uint32_t lParam = 0;
    // Set by Stop before it signals, so a thread that is late to notice the stop event
    // posts nothing more.
    std::atomic<bool> stopping{false};
};

struct CZivuUsbNotificator::Thread {
    std::thread handle;
    std::future<void> ended;  // ready once the waiting loop has returned
};

CZivuUsbNotificator::CZivuUsbNotificator() : m_Shared(std::make_shared<Shared>()) {}

CZivuUsbNotificator::~CZivuUsbNotificator() {
    // The owner should have stopped us; if not, stopping here keeps the thread from
    // posting to a target that is going away with its owner.
    if (IsRunning()) Stop();
}

void CZivuUsbNotificator::SetTarget(IMessageTarget* window, std::uint32_t message,
                                    std::uint32_t wParam, std::uint32_t lParam) {
    std::lock_guard lock(m_Lock);
    m_hTargetWnd = window;
    m_Message = message;
    m_wParam = wParam;
    m_lParam = lParam;
    std::lock_guard targetLock(m_Shared->targetLock);
    m_Shared->target = window;
    m_Shared->message = message;
    m_Shared->wParam = wParam;
    m_Shared->lParam = lParam;
}

std::uint32_t CZivuUsbNotificator::Start(const char* name) {
    std::lock_guard lock(m_Lock);
    if (m_hThread) return ZIVU_STATUS_SUCCESS;

    Shared& shared = *m_Shared;
    // No signal of an earlier run may wake the new thread.
    shared.stopEvent.Reset();
    shared.driverEvent.Reset();
    shared.stopping = false;
    // Without its events the thread could neither wait nor be stopped.
    if (!shared.stopEvent.Valid() || !shared.driverEvent.Valid()) return ZIVU_STATUS_THREAD_FAILED;

    std::uint32_t status = Open(name);
    if (status != ZIVU_STATUS_SUCCESS) return status;
    status = RegisterNotificationEvent(shared.driverEvent);
    if (status != ZIVU_STATUS_SUCCESS) {
        Close();
        return status;
    }

    try {
        auto thread = std::make_unique<Thread>();
        std::promise<void> ended;
        thread->ended = ended.get_future();
        thread->handle = std::thread([shared = m_Shared, ended = std::move(ended)]() mutable {
            WaitLoop(std::move(shared));
            ended.set_value();
        });
        m_hThread = std::move(thread);
    } catch (const std::exception&) {  // std::system_error when no thread could be created
        Close();
        return ZIVU_STATUS_THREAD_FAILED;
    }
    return ZIVU_STATUS_SUCCESS;
}

void CZivuUsbNotificator::WaitLoop(std::shared_ptr<Shared> shared) {
    for (;;) {
        const int signalled =
            platform::WaitForAny({&shared->stopEvent, &shared->driverEvent}, platform::kInfinite);
        if (signalled == 0) return;
        if (signalled == 1) {
            std::lock_guard lock(shared->targetLock);
            if (shared->target != nullptr && !shared->stopping) {
                shared->target->PostMessage(shared->message, shared->wParam, shared->lParam);
            }
            continue;
        }
        // The wait itself failed: pause instead of spinning, then wait again.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::uint32_t CZivuUsbNotificator::Stop() {
    std::unique_ptr<Thread> thread;
    std::shared_ptr<Shared> shared;
    std::chrono::milliseconds timeout;
    {
        std::lock_guard lock(m_Lock);
        thread = std::move(m_hThread);
        shared = m_Shared;
        timeout = m_StopTimeout;
    }

    std::uint32_t status = ZIVU_STATUS_SUCCESS;
    if (thread) {
        shared->stopping = true;
        shared->stopEvent.Set();
        // Outside the lock, so a thread that is posting can finish.
        if (thread->ended.wait_for(timeout) == std::future_status::ready) {
            thread->handle.join();
        } else {
            status = ZIVU_STATUS_THREAD_FAILED;
            // The thread keeps its own block and ends on its own once it notices the stop
            // event; the next run gets fresh events and the current target.
            thread->handle.detach();
            std::lock_guard lock(m_Lock);
            auto fresh = std::make_shared<Shared>();
            fresh->target = m_hTargetWnd;
            fresh->message = m_Message;
            fresh->wParam = m_wParam;
            fresh->lParam = m_lParam;
            m_Shared = std::move(fresh);
        }
    }
    Close();
    return status;
}

bool CZivuUsbNotificator::IsRunning() {
    std::lock_guard lock(m_Lock);
    return m_hThread != nullptr;
}

void CZivuUsbNotificator::SetStopTimeout(std::chrono::milliseconds timeout) {
    std::lock_guard lock(m_Lock);
    m_StopTimeout = timeout;
}
