// The real panel under Xvfb: single instance, its options, and closing that only hides.
#include <filesystem>
#include <thread>

#include "E2eSession.h"
#include "driver/ZivuUsbRecords.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

class PanelE2e : public Session {
protected:
    // The running frame's channel exists: the first instance has made its frame.
    bool FrameCreated() {
        for (const auto& entry : fs::directory_iterator(std::getenv("XDG_RUNTIME_DIR")))
            if (entry.path().extension() == ".window") return true;
        return false;
    }
    // The buffer settings page polls the drop-out counter while it is shown.
    bool SettingsPagePolls() {
        const std::size_t before = CountRequests(IOCTL_GET_STREAM_STATISTICS);
        return WaitFor([&] { return CountRequests(IOCTL_GET_STREAM_STATISTICS) > before; }, 10s);
    }
};

TEST_F(PanelE2e, FrameCarriesTheExactTitleAtAFixedSizeAndExitEndsIt) {
    auto panel = StartPanel({});
    ASSERT_TRUE(WaitFor([&] { return FrameViewable(); }));
    const std::string window = std::to_string(*FrameWindow());
    EXPECT_EQ(Shell("xprop -id " + window + " _NET_WM_NAME"),
              "_NET_WM_NAME(UTF8_STRING) = \"" + std::string(kTitle) + "\"");
    EXPECT_EQ(Shell("xprop -id " + window + " _NET_WM_PID"),
              "_NET_WM_PID(CARDINAL) = " + std::to_string(panel->Pid()));
    const std::string hints = Shell("xprop -id " + window + " WM_NORMAL_HINTS");
    const auto size = [&](const std::string& what) {
        const auto at = hints.find(what);
        return at == std::string::npos ? std::string() : hints.substr(at + what.size(), 12);
    };
    EXPECT_FALSE(size("minimum size: ").empty());
    EXPECT_EQ(size("minimum size: "), size("maximum size: ")) << hints;

    EXPECT_EQ(RunPanel({"-asio", "-exit"}), 0);
    EXPECT_EQ(panel->Wait(20s), 0);
    EXPECT_FALSE(FrameCreated()) << "the channel goes with the frame";
}

TEST_F(PanelE2e, ExitWithoutARunningInstanceEndsQuietly) {
    EXPECT_EQ(RunPanel({"-EXIT"}), 0);
    EXPECT_FALSE(FrameCreated());
    EXPECT_FALSE(FrameWindow());
}

TEST_F(PanelE2e, AsioSelectsTheBufferSettingsPageOnFirstAndLaterInstances) {
    StartDaemon(2);
    auto panel = StartPanel({"-hide"});
    ASSERT_TRUE(
        WaitFor([&] { return FrameCreated() && CountRequests(IOCTL_GET_DEVICE_LIST) > 0; }));
    EXPECT_FALSE(FrameViewable());

    EXPECT_EQ(RunPanel({"-ASIO"}), 0);
    EXPECT_TRUE(WaitFor([&] { return FrameViewable(); }));
    EXPECT_TRUE(SettingsPagePolls());
    EXPECT_EQ(RunPanel({"-exit"}), 0);
    ASSERT_EQ(panel->Wait(20s), 0);

    auto first = StartPanel({"-asio"});
    EXPECT_TRUE(WaitFor([&] { return FrameViewable(); }));
    EXPECT_TRUE(SettingsPagePolls());
}

TEST_F(PanelE2e, HideStartsHiddenAndALaterHideLeavesTheFrameAlone) {
    StartDaemon(1);
    auto panel = StartPanel({"-Hide"});
    ASSERT_TRUE(
        WaitFor([&] { return FrameCreated() && CountRequests(IOCTL_GET_DEVICE_LIST) > 0; }));
    EXPECT_FALSE(FrameViewable());

    EXPECT_EQ(RunPanel({"-hide", "-asio"}), 0);
    // Nothing is sent to the running instance; give it a moment to prove it stays put.
    std::this_thread::sleep_for(500ms);
    EXPECT_FALSE(FrameViewable());
    EXPECT_TRUE(panel->Running());

    EXPECT_EQ(RunPanel({}), 0);
    EXPECT_TRUE(WaitFor([&] { return FrameViewable(); }));
}

TEST_F(PanelE2e, TwentyConcurrentStartsLeaveExactlyOneRunning) {
    std::vector<std::unique_ptr<Process>> panels;
    for (int i = 0; i < 20; ++i) panels.push_back(StartPanel({}));
    std::size_t ended = 0;
    ASSERT_TRUE(WaitFor(
        [&] {
            ended = 0;
            for (auto& p : panels) ended += !p->Running();
            return ended >= 19;
        },
        60s));
    std::unique_ptr<Process>* survivor = nullptr;
    for (auto& p : panels) {
        if (p->Running())
            survivor = &p;
        else
            EXPECT_EQ(p->Wait(0ms), 0);
    }
    ASSERT_TRUE(survivor);
    EXPECT_TRUE(WaitFor([&] { return FrameViewable(); }));
    EXPECT_EQ(Shell("xdotool search --name '^" + std::string(kTitle) + "$' | wc -l"), "1");
    EXPECT_TRUE((*survivor)->Running());
    EXPECT_EQ(RunPanel({"-exit"}), 0);
    EXPECT_EQ((*survivor)->Wait(20s), 0);
}

TEST_F(PanelE2e, CloseAndFileCloseOnlyHideAndAnotherStartBringsTheFrameBack) {
    auto panel = StartPanel({});
    ASSERT_TRUE(WaitFor([&] { return FrameViewable(); }));
    const std::string window = std::to_string(*FrameWindow());

    // The close button (what a window manager sends for it and for Alt+F4).
    Shell(Bin("zel-e2e-xclose") + " " + window);
    EXPECT_TRUE(WaitFor([&] { return !FrameViewable(); }));
    EXPECT_TRUE(panel->Running());

    // Without a tray, starting the program again is the way back.
    EXPECT_EQ(RunPanel({}), 0);
    ASSERT_TRUE(WaitFor([&] { return FrameViewable(); }));

    // File > Close from the keyboard.
    Shell("xdotool windowfocus --sync " + window + " key --clearmodifiers alt+f");
    WaitFor([&] { return ViewableWindowsOf(panel->Pid()).size() > 1; }, 5s);
    Shell("xdotool key c");
    EXPECT_TRUE(WaitFor([&] { return !FrameViewable(); }));
    EXPECT_TRUE(panel->Running());
}

}  // namespace
}  // namespace e2e
