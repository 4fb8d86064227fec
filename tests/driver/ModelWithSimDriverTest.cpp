// The device model and the notificator against the substitute driver, as the panel
// uses them: what each load asks for and in which order, write-backs the driver accepts,
// and driver events from a change made on the other connection.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "driver/Drv.h"
#include "driver/RecordText.h"
#include "driver/RecordingTarget.h"
#include "driver/ZivuUsbNotificator.h"
#include "fixtures/SimDriverInProcess.h"

namespace {

using Codes = std::vector<std::uint32_t>;

constexpr std::uint32_t kRefused = 31;

Codes CodesOf(const std::vector<zeltest::LogEntry>& log) {
    Codes codes;
    for (const auto& entry : log) codes.push_back(entry.code);
    return codes;
}

void Append(Codes& codes, std::uint32_t code, std::size_t times) {
    codes.insert(codes.end(), times, code);
}

std::vector<std::string> Serials(const CDrv& drv) {
    std::vector<std::string> serials;
    for (std::size_t i = 0; i < drv.m_Devices.GetSize(); ++i)
        serials.emplace_back(FieldText(drv.m_Devices.GetAt(i)->SerialNumber));
    return serials;
}

// Three devices of different shapes, and the model's connection open.
class ModelWithSimDriver : public ::testing::Test {
protected:
    void SetUp() override {
        sim.Plug({"SERIAL-A", "Alpha", 2, 1, 4});
        sim.Plug({"SERIAL-B", "Beta", 1, 3, 3});
        sim.Plug({"SERIAL-C", "Gamma", 1, 1, 5});
        ASSERT_EQ(drv.Open(ZIVU_DRIVER_NAME), 0u);
        sim.ClearLog();
    }

    zeltest::SimDriverInProcess sim;
    CDrv drv;
};

TEST_F(ModelWithSimDriver, LoadsEveryListWithOneRequestPerItemInTheDriversOrder) {
    EXPECT_EQ(drv.LoadDevices(), 0u);
    EXPECT_EQ(drv.LoadSyncModes(), 0u);
    EXPECT_EQ(drv.LoadChannels(drv.m_InputChannels, false), 0u);
    EXPECT_EQ(drv.LoadChannels(drv.m_OutputChannels, true), 0u);

    Codes expected{IOCTL_GET_DEVICE_LIST};
    Append(expected, IOCTL_GET_DEVICE_PROPERTIES, 3);
    expected.push_back(IOCTL_GET_DEVICE_LIST);
    Append(expected, IOCTL_GET_SYNC_MODE_INFO, 3);
    expected.push_back(IOCTL_GET_CHANNEL_LISTS);
    Append(expected, IOCTL_GET_CHANNEL_PROPERTIES, 4);
    expected.push_back(IOCTL_GET_CHANNEL_LISTS);
    Append(expected, IOCTL_GET_CHANNEL_PROPERTIES, 5);
    EXPECT_EQ(CodesOf(sim.Log()), expected);

    EXPECT_EQ(Serials(drv), (std::vector<std::string>{"SERIAL-A", "SERIAL-B", "SERIAL-C"}));
    ASSERT_EQ(drv.m_SyncModes.GetSize(), 3u);
    EXPECT_EQ(drv.m_SyncModes.GetAt(0)->SourceCount, 4u);
    EXPECT_EQ(drv.m_SyncModes.GetAt(2)->SourceCount, 5u);
    // Channels come device by device in ranking order.
    const std::uint32_t alpha = drv.m_SyncModes.GetAt(0)->DeviceId;
    const std::uint32_t beta = drv.m_SyncModes.GetAt(1)->DeviceId;
    ASSERT_EQ(drv.m_OutputChannels.GetSize(), 5u);
    EXPECT_EQ(drv.m_OutputChannels.GetAt(0)->DeviceId, alpha);
    EXPECT_EQ(drv.m_OutputChannels.GetAt(1)->DeviceId, beta);
    EXPECT_EQ(drv.m_InputChannels.GetSize(), 4u);
}

TEST_F(ModelWithSimDriver, AppliedRankingsAndClockSourcesAreWhatTheNextLoadShows) {
    ASSERT_EQ(drv.LoadDevices(), 0u);
    for (std::size_t i = 0; i < drv.m_Devices.GetSize(); ++i)
        drv.m_Devices.GetAt(i)->Ranking = static_cast<std::uint32_t>(2 - i);
    EXPECT_EQ(drv.ApplyDevices(), 0u);
    ASSERT_EQ(drv.LoadDevices(), 0u);
    EXPECT_EQ(Serials(drv), (std::vector<std::string>{"SERIAL-C", "SERIAL-B", "SERIAL-A"}));

    ASSERT_EQ(drv.LoadSyncModes(), 0u);
    _DEVICE_SYNC_MODE_INFO& first = *drv.m_SyncModes.GetAt(0);
    first.CurrentSource = first.Sources[3];
    EXPECT_EQ(drv.ApplySyncModes(), 0u);
    ASSERT_EQ(drv.LoadSyncModes(), 0u);
    EXPECT_EQ(drv.m_SyncModes.GetAt(0)->CurrentSource.SourceId,
              drv.m_SyncModes.GetAt(0)->Sources[3].SourceId);

    // While audio streams every device refuses; the model reports the refusal.
    sim.SetStreaming(true);
    sim.ClearLog();
    EXPECT_EQ(drv.ApplySyncModes(), ZIVU_STATUS_STREAMING);
    EXPECT_EQ(CodesOf(sim.Log()), (Codes(3, IOCTL_SET_SYNC_MODE)));
}

TEST_F(ModelWithSimDriver, DropsTheDeviceThatFailsAndReadsNoFurtherThanTheListHolds) {
    sim.Fail(IOCTL_GET_DEVICE_PROPERTIES, kRefused, 1);
    EXPECT_EQ(drv.LoadDevices(), kRefused);
    EXPECT_EQ(Serials(drv), (std::vector<std::string>{"SERIAL-B", "SERIAL-C"}));

    // A driver that claims a thousand devices: the three real ids, then zeros.
    ASSERT_EQ(drv.LoadSyncModes(), 0u);
    _DEVICE_LIST oversized{};
    oversized.DeviceCount = 1000;
    for (std::size_t i = 0; i < drv.m_SyncModes.GetSize(); ++i)
        oversized.DeviceIds[i] = drv.m_SyncModes.GetAt(i)->DeviceId;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&oversized);
    sim.Answer(IOCTL_GET_DEVICE_LIST, {bytes, bytes + sizeof oversized}, 1);
    sim.ClearLog();
    EXPECT_EQ(drv.LoadDevices(), static_cast<std::uint32_t>(ENODEV));  // id 0 is nobody
    EXPECT_EQ(drv.m_Devices.GetSize(), 3u);
    Codes expected{IOCTL_GET_DEVICE_LIST};
    Append(expected, IOCTL_GET_DEVICE_PROPERTIES, ZIVU_MAX_DEVICES);
    EXPECT_EQ(CodesOf(sim.Log()), expected);
}

TEST_F(ModelWithSimDriver, NotificatorPostsForAChangeMadeOnTheOtherConnection) {
    RecordingTarget target;
    CZivuUsbNotificator notificator;
    notificator.SetTarget(&target, WM_APP_DRIVER_EVENT, 0, 0);
    ASSERT_EQ(notificator.Start(ZIVU_DRIVER_NAME), 0u);

    ASSERT_EQ(drv.LoadDevices(), 0u);
    StoreName(drv.m_Devices.GetAt(1)->DeviceName, "Renamed");
    ASSERT_EQ(drv.SetDeviceProperties(*drv.m_Devices.GetAt(1)), 0u);
    EXPECT_GE(target.WaitFor(1), 1u);

    // As the view does: read until the driver has nothing left.
    std::vector<std::int32_t> codes;
    _DRIVER_NOTIFICATION record{};
    while (notificator.GetNotification(record) == 0) codes.push_back(record.EventCode);
    ASSERT_FALSE(codes.empty());
    EXPECT_TRUE(codes[0] == 2 || codes[0] == 3) << codes[0];
    EXPECT_EQ(notificator.Stop(), 0u);
}

TEST_F(ModelWithSimDriver, NotificatorRefusedByTheDriverThenStartedAgain) {
    CZivuUsbNotificator notificator;
    sim.Fail(IOCTL_REGISTER_NOTIFICATION_EVENT, kRefused, 1);
    EXPECT_EQ(notificator.Start(ZIVU_DRIVER_NAME), kRefused);
    EXPECT_FALSE(notificator.IsRunning());
    EXPECT_FALSE(notificator.IsOpen());
    EXPECT_EQ(notificator.Start(ZIVU_DRIVER_NAME), 0u);
    EXPECT_EQ(notificator.Stop(), 0u);
}

TEST_F(ModelWithSimDriver, NotificatorOutlivesTheDriverAndRunsAgainWhenItIsBack) {
    RecordingTarget target;
    CZivuUsbNotificator notificator;
    notificator.SetTarget(&target, WM_APP_DRIVER_EVENT, 0, 0);
    ASSERT_EQ(notificator.Start(ZIVU_DRIVER_NAME), 0u);
    drv.Close();
    sim.Stop();
    EXPECT_TRUE(notificator.IsRunning());
    EXPECT_EQ(notificator.Stop(), 0u);

    sim.Start();
    ASSERT_EQ(notificator.Start(ZIVU_DRIVER_NAME), 0u);
    sim.Notify(3);
    EXPECT_EQ(target.WaitFor(1), 1u);
    EXPECT_EQ(notificator.Stop(), 0u);
}

}  // namespace
