#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <thread>

#include "platform/Event.h"

using platform::Event;
using platform::kInfinite;
using platform::kWaitFailed;
using platform::kWaitTimeout;
using platform::WaitForAny;

TEST(Event, IsAutoResetAndSeveralSetsReleaseOneWait) {
    Event event;
    ASSERT_TRUE(event.Valid());
    EXPECT_EQ(WaitForAny({&event}, 0), kWaitTimeout);  // created not signalled

    event.Set();
    EXPECT_EQ(WaitForAny({&event}, 0), 0);
    EXPECT_EQ(WaitForAny({&event}, 0), kWaitTimeout);  // the wait consumed the signal

    event.Set();
    event.Set();
    event.Set();
    EXPECT_EQ(WaitForAny({&event}, 0), 0);
    EXPECT_EQ(WaitForAny({&event}, 0), kWaitTimeout);
}

TEST(Event, ResetClearsAPendingSignal) {
    Event event;
    event.Set();
    event.Set();
    event.Reset();
    EXPECT_EQ(WaitForAny({&event}, 0), kWaitTimeout);
    event.Reset();  // on a clear event: nothing happens
    event.Set();
    EXPECT_EQ(WaitForAny({&event}, 0), 0);
}

TEST(WaitForAny, FirstSignalledInListOrderWinsAndOnlyItsSignalIsTaken) {
    Event stop, driver, other;
    driver.Set();
    stop.Set();
    EXPECT_EQ(WaitForAny({&stop, &driver, &other}, 0), 0);
    EXPECT_EQ(WaitForAny({&stop, &driver, &other}, 0), 1);  // driver's signal was kept
    EXPECT_EQ(WaitForAny({&stop, &driver, &other}, 0), kWaitTimeout);
    other.Set();
    EXPECT_EQ(WaitForAny({&stop, &driver, &other}, kInfinite), 2);
}

TEST(WaitForAny, TimesOutNoEarlierThanAsked) {
    Event event;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForAny({&event}, 60), kWaitTimeout);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(60));
}

TEST(WaitForAny, WakesWhenAnotherThreadSets) {
    Event stop, work;
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        work.Set();
    });
    EXPECT_EQ(WaitForAny({&stop, &work}, kInfinite), 1);
    setter.join();
}

// A signal that interrupts the wait (no SA_RESTART) neither ends it nor fails it.
TEST(WaitForAny, ASignalDoesNotCutTheWaitShort) {
    struct sigaction action {};
    action.sa_handler = [](int) {};
    struct sigaction previous {};
    sigaction(SIGUSR1, &action, &previous);
    Event event;
    const pthread_t waiter = pthread_self();
    std::thread other([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        pthread_kill(waiter, SIGUSR1);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        event.Set();
    });
    EXPECT_EQ(WaitForAny({&event}, 5000), 0);
    other.join();
    sigaction(SIGUSR1, &previous, nullptr);
}

TEST(WaitForAny, FailsOnAnEmptyListOrAMissingEvent) {
    Event event;
    EXPECT_EQ(WaitForAny({}, 0), kWaitFailed);
    EXPECT_EQ(WaitForAny({&event, nullptr}, 0), kWaitFailed);
}
