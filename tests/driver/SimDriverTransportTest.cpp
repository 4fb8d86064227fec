// CZivuUsbDriver against the real substitute driver daemon: records written back keep
// the driver's bytes, notifications are queued per connection and signalled through the
// registered event, refusals while streaming reach the caller, and a daemon that dies or
// answers late costs one failed request, never a wrong answer.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

#include "driver/RecordText.h"
#include "driver/ZivuUsbDriver.h"
#include "fixtures/SimDriverProcess.h"
#include "platform/DeviceIo.h"
#include "platform/Event.h"

namespace {

using nlohmann::json;
using zeltest::SimDriverProcess;

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

class SimDriverTransport : public ::testing::Test {
protected:
    void SetUp() override {
        sim.UseRunDirInThisProcess();
        sim.RunOk({"plug", "--name", "Desk", "--inputs", "2", "--outputs", "2", "--sources", "3"});
        ASSERT_EQ(driver.Open(ZIVU_DRIVER_NAME), 0u);
        _DEVICE_LIST list{};
        ASSERT_EQ(driver.GetDeviceList(list), 0u);
        ASSERT_EQ(list.DeviceCount, 1u);
        deviceId = list.DeviceIds[0];
    }
    void TearDown() override { platform::SetDeviceRequestTimeout(std::chrono::seconds(5)); }

    SimDriverProcess sim;
    CZivuUsbDriver driver;
    std::uint32_t deviceId = 0;
};

// The driver refuses a SET whose preserved bytes are not the ones it handed out, so a
// success here means every such byte travelled back unchanged.
TEST_F(SimDriverTransport, RecordsWrittenBackKeepTheDriversBytes) {
    const json before = sim.RunJson({"dump"});

    _ZEL_USB_DEVICE_PROPERTIES device;
    ASSERT_EQ(driver.GetDeviceProperties(deviceId, device), 0u);
    const _ZEL_USB_DEVICE_PROPERTIES read = device;
    StoreName(device.DeviceName, "Studio");
    EXPECT_EQ(driver.SetDeviceProperties(device), 0u);
    _ZEL_USB_DEVICE_PROPERTIES again;
    ASSERT_EQ(driver.GetDeviceProperties(deviceId, again), 0u);
    EXPECT_EQ(std::memcmp(again.Preserved1, read.Preserved1, sizeof read.Preserved1), 0);
    EXPECT_EQ(std::memcmp(again.SerialNumber, read.SerialNumber, sizeof read.SerialNumber), 0);

    _CHANNEL_LISTS lists{};
    ASSERT_EQ(driver.GetChannelLists(lists), 0u);
    ASSERT_EQ(lists.OutputCount, 2u);
    _ZEL_USB_CHANNEL_PROPERTIES channel;
    ASSERT_EQ(driver.GetChannelProperties(lists.OutputIds[1], channel), 0u);
    StoreName(channel.ChannelName, "Monitor R");
    EXPECT_EQ(driver.SetChannelProperties(channel), 0u);

    _AUDIO_BUFFER_INFO asio;
    ASSERT_EQ(driver.GetAsioBuffer(asio), 0u);
    asio.CurrentUs = 8000;
    EXPECT_EQ(driver.SetAsioBuffer(asio), 0u);
    _AUDIO_BUFFER_INFO wdm;
    ASSERT_EQ(driver.GetWdmBuffer(wdm), 0u);
    wdm.CurrentUs = 20000;
    EXPECT_EQ(driver.SetWdmBuffer(wdm), 0u);
    _STREAM_BUFFER_INFO stream;
    ASSERT_EQ(driver.GetStreamBuffer(stream), 0u);
    stream.CurrentUs = stream.MinimumUs + stream.StepUs;
    EXPECT_EQ(driver.SetStreamBuffer(stream), 0u);
    _CLOCK_MASTER_INFO master;
    ASSERT_EQ(driver.GetClockMaster(master), 0u);
    master.ClockMaster = 1;
    EXPECT_EQ(driver.SetClockMaster(master), 0u);

    const json after = sim.RunJson({"dump"});
    EXPECT_EQ(after["devices"][0]["name"], "Studio");
    EXPECT_EQ(after["devices"][0]["outputs"][1]["name"], "Monitor R");
    EXPECT_EQ(after["devices"][0]["outputs"][0], before["devices"][0]["outputs"][0]);
    EXPECT_EQ(after["asio_buffer"]["current_us"], 8000);
    EXPECT_EQ(after["wdm_buffer"]["current_us"], 20000);
    EXPECT_EQ(after["stream_buffer"]["current_us"], stream.CurrentUs);
    EXPECT_EQ(after["clock_master"], 1);
    for (const char* buffer : {"asio_buffer", "wdm_buffer"})
        for (const char* reserved : {"reserved1", "reserved2", "sample_granularity"})
            EXPECT_EQ(after[buffer][reserved], before[buffer][reserved]) << buffer << reserved;
    EXPECT_EQ(after["clock_master_reserved1"], before["clock_master_reserved1"]);
    EXPECT_EQ(after["clock_master_reserved2"], before["clock_master_reserved2"]);
}

TEST_F(SimDriverTransport, NotificationsAreQueuedPerConnectionAndSignalled) {
    CZivuUsbDriver notifier;
    ASSERT_EQ(notifier.Open(ZIVU_DRIVER_NAME), 0u);
    platform::Event event;
    ASSERT_EQ(notifier.RegisterNotificationEvent(event), 0u);
    _DRIVER_NOTIFICATION record{};
    EXPECT_NE(notifier.GetNotification(record), 0u) << "nothing queued yet";

    sim.RunOk({"notify", "7"});
    // A change made on the other connection is reported here too.
    const std::uint32_t on = 1;
    ASSERT_EQ(driver.SetIncludeDeviceName(on), 0u);
    ASSERT_EQ(platform::WaitForAny({&event}, 5000), 0);

    std::vector<std::int32_t> codes;
    while (codes.size() < 10 && notifier.GetNotification(record) == 0)
        codes.push_back(record.EventCode);
    EXPECT_EQ(codes, (std::vector<std::int32_t>{7, 3}));
    EXPECT_NE(notifier.GetNotification(record), 0u) << "each record is handed out once";

    // The device model's connection has a queue of its own, untouched by the drain above.
    ASSERT_EQ(driver.GetNotification(record), 0u);
    EXPECT_EQ(record.EventCode, 7);
}

TEST_F(SimDriverTransport, RateAndClockSourceChangesAreRefusedWhileStreaming) {
    _DEVICE_SYNC_MODE_INFO info;
    ASSERT_EQ(driver.GetSyncModeInfo(deviceId, info), 0u);
    ASSERT_GE(info.SourceCount, 2u);
    const _SYNC_MODE_SELECTION other{deviceId, info.Sources[1].SourceContext,
                                     info.Sources[1].SourceId};

    sim.RunOk({"stream", "on"});
    EXPECT_EQ(driver.SetSampleRate(44100), ZIVU_STATUS_STREAMING);
    EXPECT_EQ(driver.SetSyncMode(other), ZIVU_STATUS_STREAMING);
    EXPECT_TRUE(driver.IsOpen());
    const json dump = sim.RunJson({"dump"});
    EXPECT_EQ(dump["rate"], 48000);
    EXPECT_EQ(dump["devices"][0]["current_source"], 0);

    sim.RunOk({"stream", "off"});
    EXPECT_EQ(driver.SetSampleRate(44100), 0u);
    EXPECT_EQ(driver.SetSyncMode(other), 0u);
}

TEST_F(SimDriverTransport, ALateAnswerIsNeverTakenForTheNextOne) {
    sim.RunOk({"delay", Hex(IOCTL_GET_DEVICE_LIST), "300"});
    platform::SetDeviceRequestTimeout(std::chrono::milliseconds(100));
    _DEVICE_LIST list{};
    EXPECT_EQ(driver.GetDeviceList(list), static_cast<std::uint32_t>(ETIMEDOUT));

    platform::SetDeviceRequestTimeout(std::chrono::seconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(400));  // the late answer is in
    _DRIVER_VERSION_INFO version{};
    ASSERT_EQ(driver.GetDriverVersion(version), 0u);
    EXPECT_EQ(version.InterfaceMajor, 2);
    list = {};
    ASSERT_EQ(driver.GetDeviceList(list), 0u);
    EXPECT_EQ(list.DeviceCount, 1u);
    EXPECT_EQ(list.DeviceIds[0], deviceId);
}

TEST_F(SimDriverTransport, ADaemonKilledDuringARequestFailsItAndReopeningWorks) {
    sim.RunOk({"delay", Hex(IOCTL_GET_STREAM_STATISTICS), "10000"});
    std::thread killer([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        sim.Kill();
    });
    _STREAM_STATISTICS statistics{};
    EXPECT_EQ(driver.GetStreamStatistics(statistics), static_cast<std::uint32_t>(ECONNRESET));
    killer.join();
    const std::uint32_t next = driver.GetStreamStatistics(statistics);
    EXPECT_TRUE(next == EPIPE || next == ECONNRESET) << next;
    EXPECT_TRUE(driver.IsOpen()) << "a failed request leaves the connection open";

    sim.Start();
    driver.Close();
    ASSERT_EQ(driver.Open(ZIVU_DRIVER_NAME), 0u);
    _DEVICE_LIST list{};
    ASSERT_EQ(driver.GetDeviceList(list), 0u);
    EXPECT_EQ(list.DeviceCount, 1u);
}

}  // namespace
