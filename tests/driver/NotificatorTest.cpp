#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cerrno>
#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <thread>

#include "driver/EventDriver.h"
#include "driver/RecordingTarget.h"
#include "driver/ZivuUsbNotificator.h"

namespace {

using namespace std::chrono_literals;
using Message = RecordingTarget::Message;

constexpr std::uint32_t kRefused = 50;  // ERROR_NOT_SUPPORTED as a driver would say it
// Long enough for a waiting thread to have posted whatever it was going to post.
constexpr auto kSettle = 150ms;

int ThreadCount() {
    int count = 0;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(tasks))
            if (entry->d_name[0] != '.') ++count;
        closedir(tasks);
    }
    return count;
}

// Waits (bounded) until the process is back to `count` threads.
bool WaitForThreadCount(int count) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (ThreadCount() != count) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

std::chrono::microseconds ProcessCpuTime() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return std::chrono::seconds(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           std::chrono::microseconds(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

// A target that an abandoned thread may still be inside after its test; nothing but
// the end of the process may free it, since no join tells when that thread has left.
BlockingTarget& NewStuckTarget() {
    static auto* targets = new std::deque<BlockingTarget>;
    return targets->emplace_back();
}

// A fake driver that keeps the events it is given, already serving.
struct EventFake {
    explicit EventFake(std::uint32_t registerStatus = 0) : socket(ZIVU_DRIVER_NAME) {
        socket.Serve(ServeEvents(events, registerStatus));
    }
    std::shared_ptr<RegisteredEvents> events = std::make_shared<RegisteredEvents>();
    FakeDriverSocket socket;
};

TEST(NotificatorStart, FailsWithTheStatusOfTheStepThatFailedAndLeavesNothingRunning) {
    struct Case {
        const char* name;
        const char* deviceName;
        std::uint8_t major;
        std::uint32_t registerStatus;
        std::uint32_t status;
    };
    const Case cases[] = {
        {"driver absent", "{00000000-0000-0000-0000-000000000000}", 2, 0,
         static_cast<std::uint32_t>(ENOENT)},
        {"other interface generation", ZIVU_DRIVER_NAME, 3, 0, ZIVU_STATUS_WRONG_INTERFACE},
        {"event refused", ZIVU_DRIVER_NAME, 2, kRefused, kRefused},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeDriverSocket fake(ZIVU_DRIVER_NAME);
        auto events = std::make_shared<RegisteredEvents>();
        fake.Serve(c.major == 2 ? ServeEvents(events, c.registerStatus)
                                : FakeDriverSocket::Standard(c.major));
        CZivuUsbNotificator notificator;
        EXPECT_EQ(notificator.Start(c.deviceName), c.status);
        EXPECT_FALSE(notificator.IsRunning());
        EXPECT_FALSE(notificator.IsOpen());
        if (c.registerStatus != 0) {
            // The event went to the driver with the request, and the connection was
            // closed again after the refusal.
            const auto requests = fake.Requests();
            ASSERT_EQ(requests.size(), 2u);
            EXPECT_EQ(requests[1].code, IOCTL_REGISTER_NOTIFICATION_EVENT);
            EXPECT_TRUE(requests[1].carriedDescriptor);
            EXPECT_TRUE(fake.WaitForClosedConnections(1));
        }
        EXPECT_EQ(notificator.Stop(), 0u);
    }
}

TEST(NotificatorPosting, PostsOnlyToTheCurrentTargetAndNeverTalksToTheDriver) {
    EventFake fake;
    RecordingTarget target;
    CZivuUsbNotificator notificator;
    ASSERT_EQ(notificator.Start(ZIVU_DRIVER_NAME), 0u);
    ASSERT_TRUE(notificator.IsRunning());
    const int event = fake.events->Latest();
    ASSERT_GE(event, 0);

    // No target yet: the signal is taken and dropped.
    Signal(event);
    ASSERT_TRUE(WaitUntilTaken(event));
    std::this_thread::sleep_for(kSettle);

    notificator.SetTarget(&target, WM_APP_DRIVER_EVENT, 5, 6);
    Signal(event);
    EXPECT_EQ(target.WaitFor(1), 1u);
    ASSERT_TRUE(WaitUntilTaken(event));
    std::this_thread::sleep_for(kSettle);
    EXPECT_EQ(target.Messages(), (std::vector<Message>{{WM_APP_DRIVER_EVENT, 5, 6}}));

    // A null target again: nothing more arrives.
    notificator.SetTarget(nullptr, 0, 0, 0);
    Signal(event);
    ASSERT_TRUE(WaitUntilTaken(event));
    std::this_thread::sleep_for(kSettle);
    EXPECT_EQ(target.Messages().size(), 1u);

    EXPECT_EQ(notificator.Stop(), 0u);
    const auto requests = fake.socket.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].code, IOCTL_GET_DRIVER_VERSION);
    EXPECT_EQ(requests[1].code, IOCTL_REGISTER_NOTIFICATION_EVENT);
}

TEST(NotificatorPosting, QuickSignalsGiveAtLeastOneMessageAndNeverMoreThanSignals) {
    EventFake fake;
    RecordingTarget target;
    CZivuUsbNotificator notificator;
    notificator.SetTarget(&target, WM_APP_DRIVER_EVENT, 0, 0);
    ASSERT_EQ(notificator.Start(ZIVU_DRIVER_NAME), 0u);
    const int event = fake.events->Latest();
    for (int i = 0; i < 3; ++i) Signal(event);
    EXPECT_GE(target.WaitFor(1), 1u);
    ASSERT_TRUE(WaitUntilTaken(event));
    std::this_thread::sleep_for(kSettle);
    EXPECT_LE(target.Messages().size(), 3u);
    EXPECT_EQ(notificator.Stop(), 0u);
}

TEST(NotificatorStop, EndsTheThreadClosesTheConnectionAndCanBeStartedAgain) {
    EventFake fake;
    const int threadsBefore = ThreadCount();
    RecordingTarget target;
    CZivuUsbNotificator notificator;
    EXPECT_EQ(notificator.Stop(), 0u);  // never started: only closes the closed connection
    notificator.SetTarget(&target, WM_APP_DRIVER_EVENT, 0, 0);

    ASSERT_EQ(notificator.Start(ZIVU_DRIVER_NAME), 0u);
    const int firstEvent = fake.events->Latest();
    EXPECT_EQ(notificator.Stop(), 0u);
    EXPECT_FALSE(notificator.IsRunning());
    EXPECT_FALSE(notificator.IsOpen());
    EXPECT_TRUE(WaitForThreadCount(threadsBefore));
    EXPECT_TRUE(fake.socket.WaitForClosedConnections(1));
    EXPECT_EQ(notificator.Stop(), 0u);

    // A late signal of the first run must not reach the next run.
    Signal(firstEvent);
    ASSERT_EQ(notificator.Start(ZIVU_DRIVER_NAME), 0u);
    EXPECT_TRUE(notificator.IsRunning());
    std::this_thread::sleep_for(kSettle);
    EXPECT_TRUE(target.Messages().empty());

    ASSERT_EQ(fake.events->Count(), 2u);
    Signal(fake.events->Latest());
    EXPECT_EQ(target.WaitFor(1), 1u);
    EXPECT_EQ(notificator.Stop(), 0u);
}

TEST(NotificatorStop, GivesUpOnAThreadThatDoesNotEndAndStaysSafe) {
    EventFake fake;
    const int threadsBefore = ThreadCount();
    BlockingTarget& stuck = NewStuckTarget();
    RecordingTarget target;
    {
        CZivuUsbNotificator notificator;
        notificator.SetStopTimeout(100ms);
        notificator.SetTarget(&stuck, WM_APP_DRIVER_EVENT, 0, 0);
        ASSERT_EQ(notificator.Start(ZIVU_DRIVER_NAME), 0u);
        Signal(fake.events->Latest());
        ASSERT_TRUE(stuck.WaitUntilEntered());

        EXPECT_EQ(notificator.Stop(), ZIVU_STATUS_THREAD_FAILED);
        EXPECT_FALSE(notificator.IsRunning());
        EXPECT_FALSE(notificator.IsOpen());

        // The next run has events and a thread of its own and posts to the new target.
        notificator.SetTarget(&target, WM_APP_DRIVER_EVENT, 1, 2);
        ASSERT_EQ(notificator.Start(ZIVU_DRIVER_NAME), 0u);
        Signal(fake.events->Latest());
        EXPECT_EQ(target.WaitFor(1), 1u);
        EXPECT_EQ(notificator.Stop(), 0u);
        EXPECT_EQ(stuck.Entered(), 1);
    }
    // The notificator is gone; the abandoned thread finishes its posting and ends on
    // its own without touching it.
    stuck.Release();
    ASSERT_TRUE(WaitForThreadCount(threadsBefore));
    EXPECT_EQ(target.Messages().size(), 1u);
}

TEST(NotificatorRunning, KeepsWaitingQuietlyWhenTheDriverGoesAway) {
    RecordingTarget target;
    CZivuUsbNotificator notificator;
    notificator.SetTarget(&target, WM_APP_DRIVER_EVENT, 0, 0);
    {
        EventFake fake;
        ASSERT_EQ(notificator.Start(ZIVU_DRIVER_NAME), 0u);
    }  // the driver closes its end and its copy of the event
    const int threadsWithNotificator = ThreadCount();

    // A thread that spun on a dead driver would burn a whole core here.
    const auto cpuBefore = ProcessCpuTime();
    std::this_thread::sleep_for(500ms);
    const auto cpuUsed = ProcessCpuTime() - cpuBefore;
    EXPECT_LT(cpuUsed, 150ms);
    EXPECT_TRUE(notificator.IsRunning());
    EXPECT_TRUE(target.Messages().empty());

    EXPECT_EQ(notificator.Stop(), 0u);
    EXPECT_TRUE(WaitForThreadCount(threadsWithNotificator - 1));
}

TEST(NotificatorLifetime, DestroyingARunningNotificatorStopsItsThread) {
    EventFake fake;
    const int threadsBefore = ThreadCount();
    RecordingTarget target;
    {
        CZivuUsbNotificator notificator;
        notificator.SetTarget(&target, WM_APP_DRIVER_EVENT, 0, 0);
        ASSERT_EQ(notificator.Start(ZIVU_DRIVER_NAME), 0u);
        EXPECT_EQ(ThreadCount(), threadsBefore + 1);
    }  // owner forgot Stop
    EXPECT_TRUE(WaitForThreadCount(threadsBefore));
    EXPECT_TRUE(fake.socket.WaitForClosedConnections(1));
    // The driver may still signal the event it holds; nobody is there to post.
    Signal(fake.events->Latest());
    std::this_thread::sleep_for(kSettle);
    EXPECT_TRUE(target.Messages().empty());

    // Never started, and stopped, notificators go quietly too.
    { CZivuUsbNotificator neverStarted; }
    {
        CZivuUsbNotificator stopped;
        ASSERT_EQ(stopped.Start(ZIVU_DRIVER_NAME), 0u);
        EXPECT_EQ(stopped.Stop(), 0u);
    }
    EXPECT_TRUE(WaitForThreadCount(threadsBefore));
}

}  // namespace
