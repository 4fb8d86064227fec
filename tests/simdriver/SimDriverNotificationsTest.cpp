// Notification queues per connection, the registered eventfd, fault injection and the
// request log of the substitute driver's state machine.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>

#include "simdriver/CoreClient.h"

namespace {

// How often the eventfd was signalled since the last look (0: not at all).
std::uint64_t Signals(int fd) {
    std::uint64_t count = 0;
    if (::read(fd, &count, sizeof count) != sizeof count) return 0;
    return count;
}

class NotificationTest : public CoreTest {
protected:
    // A second connection, as the panel's notificator has, with its own event.
    simdriver::ConnectionId notifier = core.OpenConnection();
    int event = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);

    void SetUp() override {
        ASSERT_GE(event, 0);
        std::uint32_t handle = 0;
        ASSERT_EQ(
            Call(IOCTL_REGISTER_NOTIFICATION_EVENT, &handle, 4, nullptr, 0, ::dup(event), notifier),
            0u);
    }
    void TearDown() override { ::close(event); }

    std::vector<std::int32_t> Drain(simdriver::ConnectionId on) {
        std::vector<std::int32_t> codes;
        for (int i = 0; i < 100; ++i) {
            _DRIVER_NOTIFICATION record{};
            std::uint32_t status =
                Call(IOCTL_GET_NOTIFICATION, nullptr, 0, &record, sizeof record, -1, on);
            if (status != 0) {
                EXPECT_EQ(status, std::uint32_t(ENOMSG));
                break;
            }
            codes.push_back(record.EventCode);
        }
        return codes;
    }
};

TEST_F(NotificationTest, EveryConnectionHearsOfEveryChangeOnce) {
    Plug();  // arrival: code 2
    EXPECT_GE(Signals(event), 1u);
    std::uint32_t one = 1;
    ASSERT_EQ(Set(IOCTL_SET_INCLUDE_DEVICE_NAME, one), 0u);  // made by the other connection: 3
    EXPECT_GE(Signals(event), 1u);

    EXPECT_EQ(Drain(notifier), (std::vector<std::int32_t>{2, 3}));
    EXPECT_EQ(Drain(notifier), std::vector<std::int32_t>{}) << "each record is handed out once";
    EXPECT_EQ(Drain(connection), (std::vector<std::int32_t>{2, 3})) << "queues are per connection";

    // A SET that changes nothing queues nothing and signals nothing.
    ASSERT_EQ(Set(IOCTL_SET_INCLUDE_DEVICE_NAME, one), 0u);
    EXPECT_EQ(Signals(event), 0u);
    EXPECT_TRUE(Drain(notifier).empty());
}

TEST_F(NotificationTest, ChangesQueueTheirCodes) {
    Plug({"A", "A", 1, 1, 2});
    Plug({"B", "B", 1, 1, 2});
    Drain(notifier);
    std::vector<std::uint32_t> ids = DeviceIds();

    _ZEL_USB_DEVICE_PROPERTIES record = Device(ids[1]);
    record.Ranking = 0;
    ASSERT_EQ(Set(IOCTL_SET_DEVICE_PROPERTIES, record), 0u);
    record = Device(ids[1]);
    std::strcpy(record.DeviceName, "Renamed");
    ASSERT_EQ(Set(IOCTL_SET_DEVICE_PROPERTIES, record), 0u);
    ASSERT_EQ(Set(IOCTL_SET_SAMPLE_RATE, _SETTING_VALUE{0, 44100}), 0u);
    std::string error;
    ASSERT_TRUE(core.Unplug("A", &error));
    core.Notify(-7);
    EXPECT_EQ(Drain(notifier), (std::vector<std::int32_t>{2, 3, 3, 2, -7}));
}

TEST_F(NotificationTest, RegistrationNeedsAnEventAndReplacesTheOldOne) {
    std::uint32_t handle = 0;
    EXPECT_EQ(Call(IOCTL_REGISTER_NOTIFICATION_EVENT, &handle, 4, nullptr, 0, -1, notifier),
              std::uint32_t(EBADF));
    int second = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    ASSERT_EQ(
        Call(IOCTL_REGISTER_NOTIFICATION_EVENT, &handle, 4, nullptr, 0, ::dup(second), notifier),
        0u);
    core.Notify(3);
    EXPECT_EQ(Signals(event), 0u);
    EXPECT_EQ(Signals(second), 1u);
    // Closing the connection gives up its event: no more signals.
    core.CloseConnection(notifier);
    core.Notify(3);
    EXPECT_EQ(Signals(second), 0u);
    ::close(second);
}

TEST_F(NotificationTest, AQueueThatIsNeverReadStaysBounded) {
    for (std::size_t i = 0; i < simdriver::kMaxQueuedNotifications + 10; ++i)
        core.Notify(static_cast<std::int32_t>(i));
    _DRIVER_NOTIFICATION record{};
    ASSERT_EQ(Call(IOCTL_GET_NOTIFICATION, nullptr, 0, &record, sizeof record, -1, notifier), 0u);
    EXPECT_EQ(record.EventCode, 10) << "the oldest records are dropped";
}

TEST_F(CoreTest, InjectedFailuresAnswersAndDelaysApplyToTheNextRequests) {
    _DRIVER_VERSION_INFO version{};
    core.Fail(IOCTL_GET_DRIVER_VERSION, 0xE0000099u, 2);
    EXPECT_EQ(Get(IOCTL_GET_DRIVER_VERSION, version), 0xE0000099u);
    EXPECT_EQ(Get(IOCTL_GET_DRIVER_VERSION, version), 0xE0000099u);
    EXPECT_EQ(Get(IOCTL_GET_DRIVER_VERSION, version), 0u);

    core.Fail(IOCTL_GET_STREAM_BUFFER, 5, 0);  // until cleared
    _STREAM_BUFFER_INFO stream;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Get(IOCTL_GET_STREAM_BUFFER, stream), 5u);
    core.Fail(IOCTL_GET_STREAM_BUFFER, 0);
    EXPECT_EQ(Get(IOCTL_GET_STREAM_BUFFER, stream), 0u);

    // An answer replaces the payload and is cut to the caller's buffer.
    std::vector<std::uint8_t> bytes(300, 0xAB);
    bytes[0] = 65;  // DeviceCount beyond the capacity
    core.Answer(IOCTL_GET_DEVICE_LIST, bytes);
    simdriver::Reply reply = core.Handle(connection, IOCTL_GET_DEVICE_LIST, nullptr, 0, 260);
    EXPECT_EQ(reply.status, 0u);
    ASSERT_EQ(reply.out.size(), 260u);
    EXPECT_EQ(reply.out[0], 65);
    EXPECT_EQ(reply.out[259], 0xAB);
    EXPECT_EQ(core.Handle(connection, IOCTL_GET_DEVICE_LIST, nullptr, 0, 260).out[0], 0);

    core.Delay(IOCTL_GET_STREAM_BUFFER, 250);
    EXPECT_EQ(core.Handle(connection, IOCTL_GET_STREAM_BUFFER, nullptr, 0, 16).delayMs, 250u);
    EXPECT_EQ(core.Handle(connection, IOCTL_GET_STREAM_BUFFER, nullptr, 0, 16).delayMs, 0u);

    // A failed registration still gives the eventfd back (closes it).
    int event = ::eventfd(0, EFD_CLOEXEC);
    int copy = ::dup(event);
    core.Fail(IOCTL_REGISTER_NOTIFICATION_EVENT, 1);
    std::uint32_t handle = 0;
    EXPECT_EQ(Call(IOCTL_REGISTER_NOTIFICATION_EVENT, &handle, 4, nullptr, 0, copy), 1u);
    EXPECT_EQ(::fcntl(copy, F_GETFD), -1);
    ::close(event);
}

TEST_F(CoreTest, TheLogKeepsConnectionCodeAndStatusWithinItsBound) {
    simdriver::ConnectionId other = core.OpenConnection();
    _DRIVER_VERSION_INFO version;
    Get(IOCTL_GET_DRIVER_VERSION, version);
    Call(IOCTL_GET_NOTIFICATION, nullptr, 0, nullptr, 12, -1, other);
    ASSERT_EQ(core.Log().size(), 2u);
    EXPECT_EQ(core.Log()[0].connection, connection);
    EXPECT_EQ(core.Log()[0].code, IOCTL_GET_DRIVER_VERSION);
    EXPECT_EQ(core.Log()[0].status, 0u);
    EXPECT_EQ(core.Log()[1].connection, other);
    EXPECT_EQ(core.Log()[1].status, std::uint32_t(ENOMSG));

    for (std::size_t i = 0; i < simdriver::kMaxLogEntries; ++i)
        core.Handle(connection, IOCTL_BUFFER_CHANGE_STEP1, nullptr, 0, 0);
    EXPECT_EQ(core.Log().size(), simdriver::kMaxLogEntries);
    EXPECT_EQ(core.Log().front().code, IOCTL_BUFFER_CHANGE_STEP1);
    core.ClearLog();
    EXPECT_TRUE(core.Log().empty());
}

}  // namespace
