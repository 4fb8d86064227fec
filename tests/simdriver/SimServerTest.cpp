// The server loop over the real socket, run in-process by the test fixture: framing,
// malformed frames, the eventfd that travels with a request, delays, and the fixture's
// own calls.
#include <gtest/gtest.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <filesystem>

#include "driver/ZivuUsbRecords.h"
#include "fixtures/SimDriverInProcess.h"
#include "platform/posix/DeviceSocketProtocol.h"
#include "simdriver/RawClient.h"

namespace {

using platform::wire::kMaxPayload;
using platform::wire::kRequestMagic;

class SimServerTest : public ::testing::Test {
protected:
    zeltest::SimDriverInProcess sim;
};

TEST_F(SimServerTest, AnswersRequestsAndSignalsTheEventThatCameWithTheRequest) {
    RawClient model(sim.SocketPath());
    RawClient notifier(sim.SocketPath());
    _DRIVER_VERSION_INFO version{};
    ASSERT_EQ(model.Get(IOCTL_GET_DRIVER_VERSION, version), 0u);
    EXPECT_EQ(version.InterfaceMajor, 2);

    int event = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    std::uint32_t handle = static_cast<std::uint32_t>(event);
    ASSERT_EQ(notifier.Request(IOCTL_REGISTER_NOTIFICATION_EVENT, &handle, 4, 0, event).status, 0u);
    EXPECT_EQ(notifier.Request(IOCTL_REGISTER_NOTIFICATION_EVENT, &handle, 4, 0).status,
              std::uint32_t(EBADF));

    std::string serial = sim.Plug({"", "Desk", 2, 2, 3});
    std::uint64_t signals = 0;
    ASSERT_EQ(::read(event, &signals, sizeof signals), 8);
    EXPECT_GE(signals, 1u);
    _DRIVER_NOTIFICATION record{};
    ASSERT_EQ(notifier.Get(IOCTL_GET_NOTIFICATION, record), 0u);
    EXPECT_EQ(record.EventCode, 2);
    EXPECT_EQ(notifier.Get(IOCTL_GET_NOTIFICATION, record), std::uint32_t(ENOMSG));

    _DEVICE_LIST list{};
    ASSERT_EQ(model.Get(IOCTL_GET_DEVICE_LIST, list), 0u);
    ASSERT_EQ(list.DeviceCount, 1u);
    _ZEL_USB_DEVICE_PROPERTIES device{};
    ASSERT_EQ(model.Get(IOCTL_GET_DEVICE_PROPERTIES, device, &list.DeviceIds[0], 4), 0u);
    EXPECT_STREQ(device.SerialNumber, serial.c_str());
    ::close(event);

    auto log = sim.Log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().code, IOCTL_GET_DEVICE_PROPERTIES);
    EXPECT_NE(log.front().connection, log[2].connection);
}

TEST_F(SimServerTest, MalformedFramesAreAnsweredAndOtherConnectionsKeepWorking) {
    RawClient good(sim.SocketPath());
    struct Case {
        const char* what;
        std::vector<std::uint8_t> message;
        std::uint32_t status;  // 0: the connection is closed instead
    };
    std::vector<std::uint8_t> twelve(12, 0);
    const Case cases[] = {
        {"bad magic", RawClient::Frame(0x12345678, 7, IOCTL_GET_DRIVER_VERSION, 0, 12, {}), EPROTO},
        {"header cut", {0x5A, 0x4C, 0x45, 0x51, 7, 0, 0, 0, 1, 2}, EPROTO},
        {"input shorter than inSize",
         RawClient::Frame(kRequestMagic, 7, IOCTL_SET_CLOCK_MASTER, 12, 0, {1, 2}), EPROTO},
        {"input longer than inSize",
         RawClient::Frame(kRequestMagic, 7, IOCTL_GET_DRIVER_VERSION, 0, 12, twelve), EPROTO},
        {"inSize over the limit",
         RawClient::Frame(kRequestMagic, 7, IOCTL_SET_CLOCK_MASTER, kMaxPayload + 1, 0, {}),
         EINVAL},
        {"outSize over the limit",
         RawClient::Frame(kRequestMagic, 7, IOCTL_GET_DRIVER_VERSION, 0, 0xFFFFFFFF, {}), EINVAL},
        {"message over the limit",
         RawClient::Frame(kRequestMagic, 7, IOCTL_SET_CLOCK_MASTER, kMaxPayload, 0,
                          std::vector<std::uint8_t>(kMaxPayload + 64)),
         EINVAL},
        {"too short for a sequence", {0x5A, 0x4C}, 0},
    };
    for (const Case& c : cases) {
        RawClient bad(sim.SocketPath());
        int event = ::eventfd(0, EFD_CLOEXEC);
        bad.SendRaw(c.message, event);  // a descriptor with a bad frame is closed again
        ::close(event);
        std::optional<RawClient::Response> reply = bad.Receive(5000);
        if (c.status == 0) {
            EXPECT_FALSE(reply) << c.what;
            EXPECT_TRUE(bad.Closed()) << c.what;
        } else {
            ASSERT_TRUE(reply) << c.what;
            EXPECT_EQ(reply->sequence, 7u) << c.what;
            EXPECT_EQ(reply->status, c.status) << c.what;
            EXPECT_TRUE(reply->out.empty()) << c.what;
            // The connection stays usable after an error reply.
            _DRIVER_VERSION_INFO version{};
            EXPECT_EQ(bad.Get(IOCTL_GET_DRIVER_VERSION, version), 0u) << c.what;
        }
        _DRIVER_VERSION_INFO version{};
        EXPECT_EQ(good.Get(IOCTL_GET_DRIVER_VERSION, version), 0u) << c.what;
    }
}

TEST_F(SimServerTest, ARepliesCarriesAtMostTheRequestedBytesAndKeepsItsSequence) {
    RawClient client(sim.SocketPath());
    sim.Answer(IOCTL_GET_NOTIFICATION, std::vector<std::uint8_t>(40, 0x33));
    RawClient::Response response = client.Request(IOCTL_GET_NOTIFICATION, nullptr, 0, 12);
    EXPECT_EQ(response.status, 0u);
    EXPECT_EQ(response.out, std::vector<std::uint8_t>(12, 0x33));
    sim.Answer(IOCTL_GET_DRIVER_VERSION, {2, 0});
    response = client.Request(IOCTL_GET_DRIVER_VERSION, nullptr, 0, 12);
    EXPECT_EQ(response.out, (std::vector<std::uint8_t>{2, 0}));
    // Sizes the driver does not accept fail, with no payload.
    response = client.Request(IOCTL_GET_DRIVER_VERSION, nullptr, 0, 13);
    EXPECT_EQ(response.status, std::uint32_t(EINVAL));
    EXPECT_TRUE(response.out.empty());
}

TEST_F(SimServerTest, ADelayedAnswerDoesNotHoldUpAnyoneElse) {
    RawClient slow(sim.SocketPath());
    RawClient other(sim.SocketPath());
    sim.Delay(IOCTL_GET_STREAM_STATISTICS, 800);
    slow.SendRaw(RawClient::Frame(kRequestMagic, 41, IOCTL_GET_STREAM_STATISTICS, 0, 60, {}));
    EXPECT_FALSE(slow.Receive(100)) << "answered before its delay";
    // Meanwhile the server goes on: the other connection, and the slow one itself.
    _DRIVER_VERSION_INFO version{};
    EXPECT_EQ(other.Get(IOCTL_GET_DRIVER_VERSION, version), 0u);
    EXPECT_EQ(slow.Get(IOCTL_GET_DRIVER_VERSION, version), 0u);
    std::optional<RawClient::Response> late = slow.Receive(10000);
    ASSERT_TRUE(late);
    EXPECT_EQ(late->sequence, 41u);
    EXPECT_EQ(late->out.size(), 60u);
}

TEST_F(SimServerTest, MutateReachesCapacitiesThatPlugDoesNotMake) {
    for (int i = 0; i < 64; ++i) sim.Plug({"", "", 4, 4, 1});
    sim.Mutate([](simdriver::SimState& state) {
        state.rates = {32000, 44100, 48000, 64000, 88200, 96000, 176400, 192000};
        state.devices[0].sources.clear();
        for (std::uint32_t i = 0; i < 16; ++i)
            state.devices[0].sources.push_back({0, i + 1, "Clock " + std::to_string(i + 1)});
        state.devices[0].currentSource = 15;
    });
    RawClient client(sim.SocketPath());
    _DEVICE_LIST list{};
    ASSERT_EQ(client.Get(IOCTL_GET_DEVICE_LIST, list), 0u);
    EXPECT_EQ(list.DeviceCount, 64u);
    _CHANNEL_LISTS channels{};
    ASSERT_EQ(client.Get(IOCTL_GET_CHANNEL_LISTS, channels), 0u);
    EXPECT_EQ(channels.InputCount, 256u);
    EXPECT_EQ(channels.OutputCount, 256u);
    _SAMPLE_RATE_INFO rates{};
    ASSERT_EQ(client.Get(IOCTL_GET_SAMPLE_RATE_INFO, rates), 0u);
    EXPECT_EQ(rates.RateCount, 8u);
    _DEVICE_SYNC_MODE_INFO sync{};
    ASSERT_EQ(client.Get(IOCTL_GET_SYNC_MODE_INFO, sync, &list.DeviceIds[0], 4), 0u);
    EXPECT_EQ(sync.SourceCount, 16u);
    EXPECT_STREQ(sync.CurrentSource.SourceName, "Clock 16");
    EXPECT_THROW(sim.Plug(), std::runtime_error);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(sim.DeviceDir()),
                            std::filesystem::directory_iterator()),
              64);
}

TEST_F(SimServerTest, RestartKeepsTheStateAndTheDeviceEntries) {
    std::string serial = sim.Plug({"KEEP1", "Kept", 1, 1, 2});
    RawClient client(sim.SocketPath());
    ASSERT_EQ(
        client.Request(IOCTL_SET_SAMPLE_RATE, std::array<std::uint32_t, 2>{0, 96000}.data(), 8, 0)
            .status,
        0u);
    std::string entry =
        sim.DeviceDir() + "/usb#vid_0000&pid_0000#KEEP1#{9c16e615-a7ac-458f-819f-718a8a11ef08}";
    EXPECT_TRUE(std::filesystem::exists(entry));

    sim.Stop();
    EXPECT_FALSE(std::filesystem::exists(entry)) << "a clean exit removes the entries";
    EXPECT_FALSE(std::filesystem::exists(sim.SocketPath()));
    sim.Start();
    EXPECT_TRUE(std::filesystem::exists(entry));
    nlohmann::json dump = sim.Dump();
    EXPECT_EQ(dump["rate"], 96000);
    EXPECT_EQ(dump["devices"][0]["name"], "Kept");

    sim.Unplug(serial);
    EXPECT_FALSE(std::filesystem::exists(entry));
}

}  // namespace
