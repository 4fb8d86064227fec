// The inotify watcher against a private run directory in which the test plays the
// driver: it creates and removes the device entries itself.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/DeviceInterfaceWatcher.h"

namespace platform {
void PrintTo(const DeviceInterfaceEvent& e, std::ostream* os) {
    *os << std::hex << "{0x" << e.type << ", " << e.name << "}";
}
}  // namespace platform

namespace fs = std::filesystem;
using platform::DeviceInterfaceEvent;
using platform::DeviceInterfaceWatcher;
using platform::kDeviceArrival;
using platform::kDeviceRemoveComplete;

namespace {

constexpr const char* kClass = "9C16E615-A7AC-458F-819F-718A8A11EF08";

std::string EntryName(const std::string& serial) {
    return "usb#vid_0000&pid_0000#" + serial + "#{9c16e615-a7ac-458f-819f-718a8a11ef08}";
}

class DeviceInterfaceWatcherTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/zel-watcher-XXXXXX";
        runDir = mkdtemp(pattern);
        savedXdg = std::getenv("XDG_RUNTIME_DIR") ? std::getenv("XDG_RUNTIME_DIR") : "";
        setenv("XDG_RUNTIME_DIR", runDir.c_str(), 1);
        classDir = runDir / kClass;
    }
    void TearDown() override {
        watcher.Unregister();
        if (savedXdg.empty())
            unsetenv("XDG_RUNTIME_DIR");
        else
            setenv("XDG_RUNTIME_DIR", savedXdg.c_str(), 1);
        fs::remove_all(runDir);
    }

    void Plug(const std::string& serial) { std::ofstream(classDir / EntryName(serial)); }
    void Unplug(const std::string& serial) { fs::remove(classDir / EntryName(serial)); }

    // Collects events until `count` have arrived or nothing more comes for a while.
    std::vector<DeviceInterfaceEvent> Collect(std::size_t count) {
        std::vector<DeviceInterfaceEvent> events;
        while (events.size() < count) {
            pollfd fd{static_cast<int>(watcher.WaitHandle()), POLLIN, 0};
            if (poll(&fd, 1, 5000) <= 0) break;
            for (auto& event : watcher.ReadEvents()) events.push_back(event);
        }
        return events;
    }

    fs::path runDir;
    fs::path classDir;
    std::string savedXdg;
    DeviceInterfaceWatcher watcher;
};

TEST_F(DeviceInterfaceWatcherTest, CreatesTheMissingClassDirectoryPrivateToTheUser) {
    ASSERT_TRUE(watcher.Register(kClass));
    struct stat st {};
    ASSERT_EQ(stat(classDir.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(DeviceInterfaceWatcherTest, PlugAndUnplugGiveArrivalAndRemovalInOrder) {
    fs::create_directory(classDir);
    Plug("present");  // plugged before registering: no event, as with the system
    ASSERT_TRUE(watcher.Register(kClass));
    EXPECT_TRUE(watcher.ReadEvents().empty());

    Plug("A1");
    Plug("B2");
    Unplug("A1");
    Unplug("present");
    const std::vector<DeviceInterfaceEvent> expected = {
        {kDeviceArrival, EntryName("A1")},
        {kDeviceArrival, EntryName("B2")},
        {kDeviceRemoveComplete, EntryName("A1")},
        {kDeviceRemoveComplete, EntryName("present")},
    };
    EXPECT_EQ(Collect(expected.size()), expected);
}

TEST_F(DeviceInterfaceWatcherTest, SurvivesTheDirectoryBeingRemovedAndRecreated) {
    ASSERT_TRUE(watcher.Register(kClass));
    Plug("A1");
    ASSERT_EQ(Collect(1).size(), 1u);

    fs::remove_all(classDir);  // the driver cleans up when it ends
    const std::vector<DeviceInterfaceEvent> removal = {{kDeviceRemoveComplete, EntryName("A1")}};
    EXPECT_EQ(Collect(1), removal);
    // Made again at once, so that a driver starting now finds it and is watched.
    EXPECT_TRUE(fs::is_directory(classDir));

    Plug("B2");
    const std::vector<DeviceInterfaceEvent> arrival = {{kDeviceArrival, EntryName("B2")}};
    EXPECT_EQ(Collect(1), arrival);
}

TEST_F(DeviceInterfaceWatcherTest, DirectoryMovedAwayReportsItsDevicesAsRemoved) {
    ASSERT_TRUE(watcher.Register(kClass));
    Plug("A1");
    ASSERT_EQ(Collect(1).size(), 1u);

    fs::rename(classDir, runDir / "old");  // no delete event for the entry inside
    const std::vector<DeviceInterfaceEvent> removal = {{kDeviceRemoveComplete, EntryName("A1")}};
    EXPECT_EQ(Collect(1), removal);

    Plug("B2");
    fs::remove(runDir / "old" / EntryName("A1"));  // the old directory is no longer watched
    Plug("C3");
    const std::vector<DeviceInterfaceEvent> arrivals = {{kDeviceArrival, EntryName("B2")},
                                                        {kDeviceArrival, EntryName("C3")}};
    EXPECT_EQ(Collect(2), arrivals);
}

TEST_F(DeviceInterfaceWatcherTest, UnregisteredWatcherHasNoHandleAndNoEvents) {
    EXPECT_FALSE(watcher.IsRegistered());
    EXPECT_EQ(watcher.WaitHandle(), -1);
    EXPECT_TRUE(watcher.ReadEvents().empty());
    ASSERT_TRUE(watcher.Register(kClass));
    watcher.Unregister();
    EXPECT_EQ(watcher.WaitHandle(), -1);
}

}  // namespace
