// The tray icon with real tray hosts: an XEmbed tray (trayer) and a StatusNotifierWatcher
// on a private session bus (python3-dbusmock).
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "E2eSession.h"

namespace e2e {
namespace {

class TrayE2e : public Session {
protected:
    static bool ParentIsRoot(unsigned long window) {
        const std::string info = Shell("xwininfo -children -id " + std::to_string(window));
        const auto at = info.find("Parent window id:");
        if (at == std::string::npos) return false;
        const std::string line = info.substr(at, info.find('\n', at) - at);
        return line.find("(the root window)") != std::string::npos;
    }
    // The icon's window once the tray host has embedded it (its parent is no longer root).
    std::optional<unsigned long> EmbeddedIcon(pid_t pid) {
        std::istringstream ids(Shell("xdotool search --pid " + std::to_string(pid)));
        for (std::string id; std::getline(ids, id);) {
            if (id.empty()) continue;
            const unsigned long window = std::stoul(id);
            if (!ParentIsRoot(window) && Viewable(window)) return window;
        }
        return std::nullopt;
    }
    void Click(unsigned long window, int button) {
        Shell("xdotool mousemove --window " + std::to_string(window) + " 8 8 click " +
              std::to_string(button));
    }
    // Right-clicks the icon until its menu shows: a click that lands while the panel is
    // still busy with the previous one can be swallowed, as it can for a user.
    bool OpenMenu(unsigned long icon, pid_t pid) {
        for (int attempt = 0; attempt < 4; ++attempt) {
            Click(icon, 3);
            if (WaitFor([&] { return MenuOpen(pid); }, 4s)) return true;
        }
        return false;
    }
    // The tray menu is the one viewable top-level window of the panel besides the frame.
    bool MenuOpen(pid_t pid) {
        const auto frame = FrameWindow();
        for (unsigned long w : ViewableWindowsOf(pid)) {
            if (frame && w == *frame) continue;
            if (ParentIsRoot(w)) return true;
        }
        return false;
    }
};

TEST_F(TrayE2e, XEmbedTrayIconOpensTheFrameAndItsMenuQuits) {
    if (SkipWithout("trayer"))
        GTEST_SKIP() << "trayer is not installed (scripts/setup installs it)";
    StartTrayHost();
    auto panel = StartPanel({"-hide"});
    std::optional<unsigned long> icon;
    ASSERT_TRUE(WaitFor([&] { return (icon = EmbeddedIcon(panel->Pid())).has_value(); }))
        << "the icon was not embedded in the tray";
    EXPECT_FALSE(FrameViewable());

    Click(*icon, 1);
    ASSERT_TRUE(WaitFor([&] { return FrameViewable(); }));
    Shell(Bin("zel-e2e-xclose") + " " + std::to_string(*FrameWindow()));
    ASSERT_TRUE(WaitFor([&] { return !FrameViewable(); }));
    EXPECT_TRUE(EmbeddedIcon(panel->Pid())) << "hiding keeps the icon";

    ASSERT_TRUE(OpenMenu(*icon, panel->Pid()));
    Shell("xdotool key o");  // &Open
    EXPECT_TRUE(WaitFor([&] { return FrameViewable(); }));

    ASSERT_TRUE(OpenMenu(*icon, panel->Pid()));
    Shell("xdotool key q");  // &Quit
    EXPECT_EQ(panel->Wait(20s), 0);
    EXPECT_FALSE(EmbeddedIcon(panel->Pid()));
}

TEST_F(TrayE2e, StatusNotifierItemRegistersWithTheWatcherAndOpensOnActivate) {
    for (const char* program : {"dbus-daemon", "dbus-send", "/usr/bin/python3"})
        if (SkipWithout(program)) GTEST_SKIP() << program << " is not installed";
    int code = 0;
    Shell("/usr/bin/python3 -c 'import dbusmock'", &code);
    if (code != 0) GTEST_SKIP() << "python3-dbusmock is not installed (scripts/setup installs it)";

    // A private session bus, and a mock watcher on it that says a tray host is there.
    auto bus = std::make_unique<Process>(
        std::vector<std::string>{"dbus-daemon", "--session", "--nofork", "--print-address=1"},
        LogPath("dbus"));
    std::string address;
    ASSERT_TRUE(WaitFor([&] {
        std::ifstream in(LogPath("dbus"));
        std::getline(in, address);
        return address.rfind("unix:", 0) == 0;
    }));
    setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
    const std::string mockLog = m_dir + "/watcher-calls.log";
    auto watcher = std::make_unique<Process>(
        std::vector<std::string>{"/usr/bin/python3", "-m", "dbusmock", "--session", "-l", mockLog,
                                 "org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                                 "org.kde.StatusNotifierWatcher"},
        LogPath("watcher"));
    const std::string setUp =
        "import dbus\n"
        "o = dbus.SessionBus().get_object('org.kde.StatusNotifierWatcher', "
        "'/StatusNotifierWatcher')\n"
        "m = dbus.Interface(o, 'org.freedesktop.DBus.Mock')\n"
        "i = 'org.kde.StatusNotifierWatcher'\n"
        "m.AddProperty(i, 'IsStatusNotifierHostRegistered', True)\n"
        "m.AddProperty(i, 'ProtocolVersion', dbus.Int32(0))\n"
        "m.AddProperty(i, 'RegisteredStatusNotifierItems', dbus.Array([], signature='s'))\n"
        "m.AddMethod(i, 'RegisterStatusNotifierItem', 's', '', '')\n"
        "m.AddMethod(i, 'RegisterStatusNotifierHost', 's', '', '')\n";
    std::ofstream(m_dir + "/watcher.py") << setUp;
    ASSERT_TRUE(WaitFor([&] {
        int rc = -1;
        Shell("/usr/bin/python3 " + m_dir + "/watcher.py", &rc);
        return rc == 0;
    })) << "the mock watcher did not come up";

    auto panel = StartPanel({"-hide"});
    std::string service;
    ASSERT_TRUE(WaitFor([&] {
        std::ifstream in(mockLog);
        std::stringstream text;
        text << in.rdbuf();
        std::smatch match;
        const std::string calls = text.str();
        if (!std::regex_search(calls, match,
                               std::regex("RegisterStatusNotifierItem \"?([^\" \n]+)\"?")))
            return false;
        service = match[1];
        return true;
    })) << "the panel did not register its item with the watcher";

    // What a tray host does on a left click.
    Shell("dbus-send --session --type=method_call --dest=" + service +
          " /StatusNotifierItem org.kde.StatusNotifierItem.Activate int32:10 int32:10");
    EXPECT_TRUE(WaitFor([&] { return FrameViewable(); }));

    EXPECT_EQ(RunPanel({"-exit"}), 0);
    EXPECT_EQ(panel->Wait(20s), 0);
    watcher.reset();
    bus.reset();
}

}  // namespace
}  // namespace e2e
