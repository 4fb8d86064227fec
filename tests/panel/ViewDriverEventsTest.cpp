// The view against the substitute driver served in-process: draining the driver's
// notifications, hot-plugging through the device-interface directory, and reconnecting
// with the notificator left alone while it runs.
#include <gtest/gtest.h>

#include <QTimer>
#include <cstring>

#include "ViewTestSupport.h"
#include "driver/Drv.h"
#include "fixtures/SimDriverInProcess.h"
#include "qt/QtTestApp.h"

using namespace viewtest;
using zeltest::SimDriverInProcess;

namespace {

class ViewDriverEventsTest : public ::testing::Test {
protected:
    void SetUp() override { qttest::App(); }

    void MakeView() {
        view = std::make_unique<CZEL_USB_CPLView>();
        frame.m_view = view.get();
        view->OnInitialUpdate();
        recorder = std::make_unique<ReloadRecorder>(*view);
    }

    // The statuses of the GET_NOTIFICATION requests in the driver's log, in order.
    std::vector<std::uint32_t> NotificationReads() {
        std::vector<std::uint32_t> statuses;
        for (const auto& entry : sim.Log())
            if (entry.code == IOCTL_GET_NOTIFICATION) statuses.push_back(entry.status);
        return statuses;
    }

    std::size_t Requests(std::uint32_t code) {
        std::size_t count = 0;
        for (const auto& entry : sim.Log()) count += entry.code == code;
        return count;
    }

    // Lets every posted message be handled.
    static void Settle() {
        ProcessEventsUntil([] { return false; }, 200);
    }

    SimDriverInProcess sim{false};  // first, so the view finds its run directory
    FakeFrame frame;
    std::unique_ptr<CZEL_USB_CPLView> view;
    std::unique_ptr<ReloadRecorder> recorder;
};

TEST_F(ViewDriverEventsTest, EveryCode2Or3ReloadsAllPagesOnceAndTheDrainStopsAtTheFirstFailure) {
    sim.Start();
    MakeView();
    ASSERT_TRUE(theDrv.IsOpen());
    ASSERT_TRUE(view->m_notificator.IsRunning());
    sim.ClearLog();

    // Queued before the event loop runs: the first message finds all three.
    sim.Notify(1);
    sim.Notify(2);
    sim.Notify(3);
    ASSERT_TRUE(ProcessEventsUntil([&] { return recorder->FullReloads() == 2; }));
    Settle();

    EXPECT_EQ(recorder->reloads, kFullReload + kFullReload);
    const std::vector<std::uint32_t> reads = NotificationReads();
    ASSERT_GE(reads.size(), 4u);
    EXPECT_EQ(std::vector<std::uint32_t>(reads.begin(), reads.begin() + 4),
              (std::vector<std::uint32_t>{0, 0, 0, reads[3]}));
    EXPECT_NE(reads[3], 0u) << "the drain goes on after the last notification";
    // Later messages of the same burst (one per signal at most) each read once and find
    // nothing.
    EXPECT_LE(reads.size(), 4u + 2u);
    for (std::size_t i = 4; i < reads.size(); ++i) EXPECT_NE(reads[i], 0u);
}

TEST_F(ViewDriverEventsTest, ADriverThatNeverRunsOutDoesNotFreezeTheWindow) {
    sim.Start();
    MakeView();
    _DRIVER_NOTIFICATION record{};
    record.EventCode = 1;
    std::vector<std::uint8_t> bytes(sizeof record);
    std::memcpy(bytes.data(), &record, sizeof record);
    sim.Answer(IOCTL_GET_NOTIFICATION, bytes, 0);  // until cleared
    sim.Notify(1);

    // Timers still fire while the drain goes on, batch after batch.
    bool timerFired = false;
    QTimer::singleShot(50, [&] { timerFired = true; });
    EXPECT_TRUE(ProcessEventsUntil([&] { return timerFired; }));
    EXPECT_TRUE(ProcessEventsUntil(
        [&] { return Requests(IOCTL_GET_NOTIFICATION) > 3 * CZEL_USB_CPLView::kDrainBatch; }));

    // Once the driver runs out, the drain ends.
    sim.ClearFaults();
    Settle();
    const std::size_t afterClear = Requests(IOCTL_GET_NOTIFICATION);
    Settle();
    EXPECT_EQ(Requests(IOCTL_GET_NOTIFICATION), afterClear);
    EXPECT_TRUE(recorder->reloads.isEmpty());
}

TEST_F(ViewDriverEventsTest, ArrivalWhileTheNotificatorRunsReconnectsOnlyTheModel) {
    sim.Start();
    MakeView();
    sim.ClearLog();

    EXPECT_TRUE(view->OnDeviceChange(0x8000, "usb#vid_0000&pid_0000#S1#{9c16e615}"));

    EXPECT_EQ(recorder->reloads, kFullReload);
    EXPECT_TRUE(theDrv.IsOpen());
    EXPECT_TRUE(view->m_notificator.IsRunning());
    EXPECT_EQ(Requests(IOCTL_REGISTER_NOTIFICATION_EVENT), 0u);
    // The notificator's connection still carries notifications to the view.
    sim.Notify(2);
    EXPECT_TRUE(ProcessEventsUntil([&] { return recorder->FullReloads() == 2; }));
}

TEST_F(ViewDriverEventsTest, PluggingAfterAStartWithoutDriverConnectsAndStartsTheNotificator) {
    MakeView();
    EXPECT_FALSE(theDrv.IsOpen());
    EXPECT_FALSE(view->m_notificator.IsRunning());

    sim.Start();
    sim.Plug();  // its entry in the interface directory is the arrival
    ASSERT_TRUE(ProcessEventsUntil([&] { return recorder->FullReloads() >= 1; }));
    EXPECT_TRUE(theDrv.IsOpen());
    EXPECT_TRUE(view->m_notificator.IsRunning());

    // The new notificator posts to the view.
    const int before = recorder->FullReloads();
    sim.Notify(3);
    EXPECT_TRUE(ProcessEventsUntil([&] { return recorder->FullReloads() > before; }));
}

TEST_F(ViewDriverEventsTest, RemovalWhenTheDriverEndsReloadsWithTheConnectionClosed) {
    sim.Start();
    sim.Plug();
    MakeView();
    ASSERT_TRUE(theDrv.IsOpen());

    sim.Stop();  // removes the device entries, and with them the device
    ASSERT_TRUE(ProcessEventsUntil([&] { return recorder->FullReloads() >= 1; }));
    EXPECT_EQ(recorder->reloads.mid(0, 5), kFullReload);
    EXPECT_FALSE(theDrv.IsOpen());
}

TEST_F(ViewDriverEventsTest, DestroyStopsTheNotificatorAndDestructionClosesTheModel) {
    sim.Start();
    MakeView();
    ASSERT_TRUE(view->m_notificator.IsRunning());

    view->OnDestroy();
    EXPECT_FALSE(view->m_notificator.IsRunning());
    sim.Notify(2);
    Settle();
    EXPECT_TRUE(recorder->reloads.isEmpty());

    recorder.reset();
    view.reset();
    EXPECT_FALSE(theDrv.IsOpen());
}

}  // namespace
