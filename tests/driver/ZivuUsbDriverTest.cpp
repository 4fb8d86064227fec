#include <gtest/gtest.h>
#include <sys/eventfd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <vector>

#include "driver/ZivuUsbDriver.h"
#include "platform/Event.h"
#include "platform/FakeDriverSocket.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Peer = FakeDriverSocket::Peer;
using Request = FakeDriverSocket::Request;

template <typename Record>
Bytes BytesOf(const Record& record) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(&record);
    return Bytes(p, p + sizeof record);
}

// A record whose every byte is distinct from its neighbours, so a shifted or partial
// copy shows.
template <typename Record>
Record Filled() {
    Record record;
    auto* p = reinterpret_cast<std::uint8_t*>(&record);
    for (std::size_t i = 0; i < sizeof record; ++i) p[i] = static_cast<std::uint8_t>(i * 13 + 5);
    return record;
}

TEST(ZivuUsbDriverOpen, AMissingDeviceLeavesTheConnectionClosedAndSendsNothing) {
    FakeDriverSocket fake(ZIVU_DRIVER_NAME);
    CZivuUsbDriver driver;
    EXPECT_EQ(driver.Open("{00000000-0000-0000-0000-000000000000}"),
              static_cast<std::uint32_t>(ENOENT));
    EXPECT_FALSE(driver.IsOpen());
    _DRIVER_VERSION_INFO info{};
    EXPECT_EQ(driver.GetDriverVersion(info), ZIVU_STATUS_NOT_OPEN);
    EXPECT_EQ(driver.IoControl(IOCTL_BUFFER_CHANGE_STEP1, nullptr, 0, nullptr, 0),
              ZIVU_STATUS_NOT_OPEN);
    EXPECT_FALSE(fake.HasPendingConnection());
    driver.Close();  // closing a closed connection does nothing
    EXPECT_FALSE(driver.IsOpen());
}

TEST(ZivuUsbDriverOpen, AcceptsOnlyInterfaceMajorTwo) {
    for (std::uint8_t major : {1, 3}) {
        FakeDriverSocket fake(ZIVU_DRIVER_NAME);
        fake.Serve(FakeDriverSocket::Standard(major));
        CZivuUsbDriver driver;
        EXPECT_EQ(driver.Open(ZIVU_DRIVER_NAME), ZIVU_STATUS_WRONG_INTERFACE) << int(major);
        EXPECT_FALSE(driver.IsOpen());
        EXPECT_TRUE(fake.WaitForClosedConnections(1));
        ASSERT_EQ(fake.Requests().size(), 1u);  // nothing after the version request
        EXPECT_EQ(fake.Requests()[0].code, IOCTL_GET_DRIVER_VERSION);
        EXPECT_EQ(fake.Requests()[0].outSize, sizeof(_DRIVER_VERSION_INFO));
    }
}

TEST(ZivuUsbDriverOpen, AFailedVersionRequestReturnsItsStatusAndCloses) {
    for (std::uint32_t status : {ZIVU_STATUS_STREAMING, 31u}) {
        FakeDriverSocket fake(ZIVU_DRIVER_NAME);
        fake.Serve(
            [status](const Request& r, Peer& peer, int&) { peer.Reply(r.sequence, status); });
        CZivuUsbDriver driver;
        EXPECT_EQ(driver.Open(ZIVU_DRIVER_NAME), status);
        EXPECT_FALSE(driver.IsOpen());
        EXPECT_TRUE(fake.WaitForClosedConnections(1));
    }
}

TEST(ZivuUsbDriverOpen, OpeningTwiceKeepsTheFirstConnection) {
    FakeDriverSocket fake(ZIVU_DRIVER_NAME);
    fake.Serve(FakeDriverSocket::Standard());
    CZivuUsbDriver driver;
    EXPECT_EQ(driver.Open(ZIVU_DRIVER_NAME), 0u);
    EXPECT_EQ(driver.Open(ZIVU_DRIVER_NAME), 0u);
    EXPECT_TRUE(driver.IsOpen());
    EXPECT_EQ(fake.Connections(), 1);
    EXPECT_EQ(fake.Requests().size(), 1u);

    driver.Close();
    EXPECT_FALSE(driver.IsOpen());
    EXPECT_EQ(driver.BufferChangeStep2(), ZIVU_STATUS_NOT_OPEN);
    EXPECT_EQ(fake.Requests().size(), 1u);
}

class ZivuUsbDriverOpened : public ::testing::Test {
protected:
    void Serve(FakeDriverSocket::Handler others = nullptr) {
        fake.Serve(FakeDriverSocket::Standard(2, std::move(others)));
        ASSERT_EQ(driver.Open(ZIVU_DRIVER_NAME), 0u);
    }
    Request Last() {
        const std::vector<Request> all = fake.Requests();
        return all.empty() ? Request{} : all.back();
    }

    FakeDriverSocket fake{ZIVU_DRIVER_NAME};
    CZivuUsbDriver driver;
};

// Each wrapper sends its own code with exactly the sizes of its record; inputs travel
// byte for byte and answers land in the caller's record.
TEST_F(ZivuUsbDriverOpened, EveryWrapperSendsItsCodeWithExactSizes) {
    Serve();
    struct Case {
        const char* name;
        std::uint32_t code;
        std::uint32_t inSize;
        std::uint32_t outSize;
        // Calls the wrapper; fills the input it should send and the output it received.
        std::function<std::uint32_t(CZivuUsbDriver&, Bytes& sent, Bytes& received)> call;
    };
    auto get = [](auto method, auto record) {
        return [method, record](CZivuUsbDriver& d, Bytes&, Bytes& received) mutable {
            const std::uint32_t status = (d.*method)(record);
            received = BytesOf(record);
            return status;
        };
    };
    auto set = [](auto method, auto record) {
        return [method, record](CZivuUsbDriver& d, Bytes& sent, Bytes&) {
            sent = BytesOf(record);
            return (d.*method)(record);
        };
    };
    auto byId = [](auto method, auto record) {
        return [method, record](CZivuUsbDriver& d, Bytes& sent, Bytes& received) mutable {
            const std::uint32_t id = 0x0A0B0C0Du;
            sent = BytesOf(id);
            const std::uint32_t status = (d.*method)(id, record);
            received = BytesOf(record);
            return status;
        };
    };
    auto none = [](auto method) {
        return [method](CZivuUsbDriver& d, Bytes&, Bytes&) { return (d.*method)(); };
    };
    using D = CZivuUsbDriver;
    const Case cases[] = {
        {"GetDriverVersion", IOCTL_GET_DRIVER_VERSION, 0, 12,
         [](D& d, Bytes&, Bytes& received) {
             _DRIVER_VERSION_INFO info{};
             const std::uint32_t status = d.GetDriverVersion(info);
             received = BytesOf(info);
             return status;
         }},
        {"GetIncludeDeviceName", IOCTL_GET_INCLUDE_DEVICE_NAME, 0, 4,
         get(&D::GetIncludeDeviceName, std::uint32_t{0})},
        {"SetIncludeDeviceName", IOCTL_SET_INCLUDE_DEVICE_NAME, 4, 0,
         [](D& d, Bytes& sent, Bytes&) {
             const std::uint32_t flag = 1;
             sent = BytesOf(flag);
             return d.SetIncludeDeviceName(flag);
         }},
        {"GetNotification", IOCTL_GET_NOTIFICATION, 0, 12,
         get(&D::GetNotification, _DRIVER_NOTIFICATION{})},
        {"GetDeviceList", IOCTL_GET_DEVICE_LIST, 0, 260, get(&D::GetDeviceList, _DEVICE_LIST{})},
        {"GetChannelLists", IOCTL_GET_CHANNEL_LISTS, 0, 2056,
         get(&D::GetChannelLists, _CHANNEL_LISTS{})},
        {"GetClockMaster", IOCTL_GET_CLOCK_MASTER, 0, 12,
         get(&D::GetClockMaster, _CLOCK_MASTER_INFO{})},
        {"SetClockMaster", IOCTL_SET_CLOCK_MASTER, 12, 0,
         set(&D::SetClockMaster, Filled<_CLOCK_MASTER_INFO>())},
        {"GetRateSelectionMode", IOCTL_GET_RATE_SELECTION_MODE, 0, 8,
         [](D& d, Bytes&, Bytes& received) {
             std::uint32_t mode = 0;
             const std::uint32_t status = d.GetRateSelectionMode(mode);
             // Only Value (bytes 4 to 7 of the answer) reaches the caller.
             const Bytes answer = FakeDriverSocket::Pattern(IOCTL_GET_RATE_SELECTION_MODE, 8);
             received = answer;
             if (std::memcmp(&mode, answer.data() + 4, 4) != 0) received.clear();
             return status;
         }},
        {"SetRateSelectionMode", IOCTL_SET_RATE_SELECTION_MODE, 8, 0,
         [](D& d, Bytes& sent, Bytes&) {
             sent = BytesOf(_SETTING_VALUE{0, 1});
             return d.SetRateSelectionMode(1);
         }},
        {"GetSampleRateInfo", IOCTL_GET_SAMPLE_RATE_INFO, 0, 44,
         get(&D::GetSampleRateInfo, _SAMPLE_RATE_INFO{})},
        {"SetSampleRate", IOCTL_SET_SAMPLE_RATE, 8, 0,
         [](D& d, Bytes& sent, Bytes&) {
             sent = BytesOf(_SETTING_VALUE{0, 48000});
             return d.SetSampleRate(48000);
         }},
        {"GetSyncModeInfo", IOCTL_GET_SYNC_MODE_INFO, 4, 824,
         byId(&D::GetSyncModeInfo, _DEVICE_SYNC_MODE_INFO{})},
        {"SetSyncMode", IOCTL_SET_SYNC_MODE, 12, 0,
         set(&D::SetSyncMode, Filled<_SYNC_MODE_SELECTION>())},
        {"GetDeviceProperties", IOCTL_GET_DEVICE_PROPERTIES, 4, 512,
         byId(&D::GetDeviceProperties, _ZEL_USB_DEVICE_PROPERTIES{})},
        {"SetDeviceProperties", IOCTL_SET_DEVICE_PROPERTIES, 512, 0,
         set(&D::SetDeviceProperties, Filled<_ZEL_USB_DEVICE_PROPERTIES>())},
        {"GetChannelProperties", IOCTL_GET_CHANNEL_PROPERTIES, 4, 92,
         byId(&D::GetChannelProperties, _ZEL_USB_CHANNEL_PROPERTIES{})},
        {"SetChannelProperties", IOCTL_SET_CHANNEL_PROPERTIES, 92, 0,
         set(&D::SetChannelProperties, Filled<_ZEL_USB_CHANNEL_PROPERTIES>())},
        {"BufferChangeStep1", IOCTL_BUFFER_CHANGE_STEP1, 0, 0, none(&D::BufferChangeStep1)},
        {"BufferChangeStep2", IOCTL_BUFFER_CHANGE_STEP2, 0, 0, none(&D::BufferChangeStep2)},
        {"GetStreamBuffer", IOCTL_GET_STREAM_BUFFER, 0, 16,
         get(&D::GetStreamBuffer, _STREAM_BUFFER_INFO{})},
        {"SetStreamBuffer", IOCTL_SET_STREAM_BUFFER, 16, 0,
         set(&D::SetStreamBuffer, Filled<_STREAM_BUFFER_INFO>())},
        {"GetAsioBuffer", IOCTL_GET_ASIO_BUFFER, 0, 16,
         get(&D::GetAsioBuffer, _AUDIO_BUFFER_INFO{})},
        {"SetAsioBuffer", IOCTL_SET_ASIO_BUFFER, 16, 0,
         set(&D::SetAsioBuffer, Filled<_AUDIO_BUFFER_INFO>())},
        {"GetWdmBuffer", IOCTL_GET_WDM_BUFFER, 0, 16, get(&D::GetWdmBuffer, _AUDIO_BUFFER_INFO{})},
        {"SetWdmBuffer", IOCTL_SET_WDM_BUFFER, 16, 0,
         set(&D::SetWdmBuffer, Filled<_AUDIO_BUFFER_INFO>())},
        {"GetStreamStatistics", IOCTL_GET_STREAM_STATISTICS, 0, 60,
         get(&D::GetStreamStatistics, _STREAM_STATISTICS{})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes sent, received;
        ASSERT_EQ(c.call(driver, sent, received), 0u);
        const Request request = Last();
        EXPECT_EQ(request.code, c.code);
        EXPECT_EQ(request.inSize, c.inSize);
        EXPECT_EQ(request.outSize, c.outSize);
        EXPECT_EQ(request.input, sent);
        EXPECT_FALSE(request.carriedDescriptor);
        if (c.outSize > 0) {
            const Bytes answer = c.code == IOCTL_GET_DRIVER_VERSION
                                     ? Bytes{2, 0, 1, 2, 42, 0, 0, 0, 0, 0, 0, 0}
                                     : FakeDriverSocket::Pattern(c.code, c.outSize);
            EXPECT_EQ(received, answer);
        }
    }
}

TEST_F(ZivuUsbDriverOpened, DriverStatusesPassThroughAndLeaveTheConnectionOpen) {
    Serve([](const Request& r, Peer& peer, int&) {
        peer.Reply(r.sequence, r.code == IOCTL_SET_SAMPLE_RATE ? ZIVU_STATUS_STREAMING : 0x1F);
    });
    EXPECT_EQ(driver.SetSampleRate(44100), ZIVU_STATUS_STREAMING);
    EXPECT_TRUE(driver.IsOpen());
    // A failed mode request leaves the caller's value as it was.
    std::uint32_t mode = 7;
    EXPECT_EQ(driver.GetRateSelectionMode(mode), 0x1Fu);
    EXPECT_EQ(mode, 7u);
}

TEST_F(ZivuUsbDriverOpened, RegisteringTheEventHandsItToTheDriver) {
    Serve([](const Request& r, Peer& peer, int& descriptor) {
        if (descriptor >= 0) eventfd_write(descriptor, 1);
        peer.Reply(r.sequence, 0);
    });
    platform::Event event;
    ASSERT_EQ(driver.RegisterNotificationEvent(event), 0u);
    const Request request = Last();
    EXPECT_EQ(request.code, IOCTL_REGISTER_NOTIFICATION_EVENT);
    EXPECT_EQ(request.inSize, 4u);
    EXPECT_EQ(request.outSize, 0u);
    EXPECT_EQ(request.input, BytesOf(static_cast<std::uint32_t>(event.NativeHandle())));
    EXPECT_TRUE(request.carriedDescriptor);
    EXPECT_EQ(platform::WaitForAny({&event}, 5000), 0);
}

}  // namespace
