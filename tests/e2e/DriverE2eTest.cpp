// The real panel against the substitute driver daemon: device arrival and removal make
// it reconnect and reload its pages, and the About box asks the driver each time.
#include <set>

#include "E2eSession.h"
#include "driver/ZivuUsbRecords.h"

namespace e2e {
namespace {

class DriverE2e : public Session {
protected:
    std::set<std::uint32_t> Connections() {
        std::set<std::uint32_t> seen;
        for (const LogEntry& e : DaemonLog()) seen.insert(e.connection);
        return seen;
    }
    // A reload after a reconnect: the device list read on a connection opened after `known`.
    bool ReloadedOnANewConnection(const std::set<std::uint32_t>& known) {
        return WaitFor([&] {
            for (const LogEntry& e : DaemonLog())
                if (e.code == IOCTL_GET_DEVICE_LIST && !known.count(e.connection)) return true;
            return false;
        });
    }
};

TEST_F(DriverE2e, PlugAndUnplugReconnectAndReloadThePages) {
    StartDaemon(2);
    auto panel = StartPanel({"-hide"});
    ASSERT_TRUE(WaitFor([&] { return CountRequests(IOCTL_GET_DEVICE_LIST) > 0; }));

    auto known = Connections();
    int code = -1;
    SimDriver("plug --serial E2E-0009 --name 'Late Unit'", &code);
    ASSERT_EQ(code, 0);
    EXPECT_TRUE(ReloadedOnANewConnection(known)) << "no reload after the device arrived";

    known = Connections();
    SimDriver("unplug E2E-0001", &code);
    ASSERT_EQ(code, 0);
    EXPECT_TRUE(ReloadedOnANewConnection(known)) << "no reload after the device left";
    EXPECT_TRUE(panel->Running());
}

TEST_F(DriverE2e, AboutBoxOpensFromTheInfoMenuAndAsksTheDriverEachTime) {
    StartDaemon(1);
    auto panel = StartPanel({});
    ASSERT_TRUE(
        WaitFor([&] { return FrameViewable() && CountRequests(IOCTL_GET_DEVICE_LIST) > 0; }));
    const std::string frame = std::to_string(*FrameWindow());
    for (std::size_t time = 1; time <= 2; ++time) {
        const std::size_t before = CountRequests(IOCTL_GET_DRIVER_VERSION);
        Shell("xdotool windowfocus --sync " + frame + " key --clearmodifiers alt+i");
        WaitFor([&] { return ViewableWindowsOf(panel->Pid()).size() > 1; }, 5s);
        Shell("xdotool key a");
        ASSERT_TRUE(WaitFor([&] {
            return !ViewableWindowsOf(panel->Pid(), "^About Control Panel$").empty();
        })) << "the About box did not open (time "
            << time << ")";
        EXPECT_EQ(CountRequests(IOCTL_GET_DRIVER_VERSION), before + 1);
        const auto box = ViewableWindowsOf(panel->Pid(), "^About Control Panel$").front();
        // OK sits at 165,162 in the box and is 75 by 23.
        Shell("xdotool mousemove --window " + std::to_string(box) + " 202 173 click 1");
        EXPECT_TRUE(WaitFor(
            [&] { return ViewableWindowsOf(panel->Pid(), "^About Control Panel$").empty(); }));
    }
}

}  // namespace
}  // namespace e2e
