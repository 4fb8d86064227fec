// Device arrival and removal as the view sees them: which events count, and the reload
// that follows even when the driver cannot be reopened. Here no driver runs at all.
#include <gtest/gtest.h>

#include <fstream>

#include "ViewTestSupport.h"
#include "driver/Drv.h"
#include "qt/QtTestApp.h"

using namespace viewtest;

namespace {

class ViewDeviceEventsTest : public ::testing::Test {
protected:
    void SetUp() override {
        qttest::App();
        view = std::make_unique<CZEL_USB_CPLView>();
        frame.m_view = view.get();
        view->OnInitialUpdate();
        recorder = std::make_unique<ReloadRecorder>(*view);
    }

    TempRunDir runDir;
    FakeFrame frame;
    std::unique_ptr<CZEL_USB_CPLView> view;
    std::unique_ptr<ReloadRecorder> recorder;
};

TEST_F(ViewDeviceEventsTest, OnlyArrivalAndRemovalWithANameOfFiveOrMoreReload) {
    struct Case {
        std::uint32_t type;
        const char* name;
        bool reloads;
    };
    const Case cases[] = {
        {0x8000, nullptr, false},        {0x8000, "", false},
        {0x8004, "abcd", false},         {0x8000, "abcde", true},
        {0x8004, "abcde", true},         {0x8001, "usb#vid_0000", false},
        {0x8003, "usb#vid_0000", false}, {0x8006, "usb#vid_0000", false},
        {0x0007, "usb#vid_0000", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.type << " " << (c.name ? c.name : "null"));
        recorder->reloads.clear();
        EXPECT_TRUE(view->OnDeviceChange(c.type, c.name));
        // With no driver the reopen fails, and the pages reload all the same.
        EXPECT_EQ(recorder->reloads, c.reloads ? kFullReload : QStringList{});
        EXPECT_FALSE(theDrv.IsOpen());
    }
}

TEST_F(ViewDeviceEventsTest, EntriesAppearingAndVanishingInTheInterfaceDirectoryReload) {
    const auto entry = runDir.Path() / "9C16E615-A7AC-458F-819F-718A8A11EF08" /
                       "usb#vid_0000&pid_0000#S1#{9c16e615-a7ac-458f-819f-718a8a11ef08}";
    std::ofstream{entry};
    EXPECT_TRUE(ProcessEventsUntil([&] { return recorder->FullReloads() == 1; }));
    std::filesystem::remove(entry);
    EXPECT_TRUE(ProcessEventsUntil([&] { return recorder->FullReloads() == 2; }));
    EXPECT_EQ(recorder->reloads.mid(5), kFullReload);
}

TEST_F(ViewDeviceEventsTest, DestroyDropsTheRegistration) {
    view->OnDestroy();
    EXPECT_EQ(view->m_hDevNotify, nullptr);
    std::ofstream{runDir.Path() / "9C16E615-A7AC-458F-819F-718A8A11EF08" / "usb#late-device"};
    ProcessEventsUntil([] { return false; }, 100);
    EXPECT_TRUE(recorder->reloads.isEmpty());
}

}  // namespace
