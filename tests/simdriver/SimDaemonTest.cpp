// The zel-usb-simdriver program as users and scripts run it: subcommands, the state
// file across restarts and crashes, permissions, one daemon per run directory.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "driver/ZivuUsbRecords.h"
#include "fixtures/SimDriverProcess.h"
#include "simdriver/RawClient.h"

namespace {

namespace fs = std::filesystem;
using zeltest::SimDriverProcess;

std::string Entry(const SimDriverProcess& sim, const std::string& serial) {
    return sim.DeviceDir() + "/usb#vid_0000&pid_0000#" + serial +
           "#{9c16e615-a7ac-458f-819f-718a8a11ef08}";
}

unsigned Mode(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

std::string ReadFile(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

TEST(SimDaemon, SubcommandsChangeWhatClientsSee) {
    SimDriverProcess sim;
    nlohmann::json plugged = sim.RunJson({"plug", "--serial", "AB12", "--name", "Desk", "--inputs",
                                          "2", "--outputs", "4", "--sources", "2"});
    EXPECT_EQ(plugged["serial"], "AB12");
    EXPECT_EQ(sim.RunJson({"plug"})["serial"], "SIM000002");
    EXPECT_TRUE(fs::exists(Entry(sim, "AB12")));

    nlohmann::json dump = sim.RunJson({"dump"});
    ASSERT_EQ(dump["devices"].size(), 2u);
    const nlohmann::json& desk = dump["devices"][0];
    EXPECT_EQ(desk["name"], "Desk");
    EXPECT_EQ(desk["ranking"], 0);
    EXPECT_EQ(desk["inputs"][1], (nlohmann::json{{"hardware_name", "Line In 2"},
                                                 {"name", "In 2"},
                                                 {"id", desk["inputs"][1]["id"]}}));
    EXPECT_EQ(desk["outputs"].size(), 4u);
    EXPECT_EQ(desk["sources"][1]["name"], "S/PDIF");
    EXPECT_EQ(desk["current_source"], 0);
    EXPECT_EQ(dump["devices"][1]["name"], "USB Audio 2");
    for (const char* key :
         {"rate", "rates", "mode", "clock_master", "streaming", "stream_buffer", "asio_buffer",
          "wdm_buffer", "include_device_name", "dropouts", "version"})
        EXPECT_TRUE(dump.contains(key)) << key;
    EXPECT_EQ(dump["asio_buffer"]["reserved1"], "a1a2a3a4");

    sim.RunOk({"stream", "on"});
    sim.RunOk({"dropouts", "17"});
    sim.RunOk({"version", "1", "9", "--driver", "5.6.7"});
    dump = sim.RunJson({"dump"});
    EXPECT_EQ(dump["streaming"], true);
    EXPECT_EQ(dump["dropouts"], 17);
    EXPECT_EQ(dump["version"]["interface_major"], 1);
    EXPECT_EQ(dump["version"]["driver_build"], 7);

    RawClient client(sim.SocketPath());
    _DRIVER_VERSION_INFO version{};
    ASSERT_EQ(client.Get(IOCTL_GET_DRIVER_VERSION, version), 0u);
    EXPECT_EQ(version.InterfaceMajor, 1);
    EXPECT_EQ(
        client.Request(IOCTL_SET_SAMPLE_RATE, std::vector<std::uint32_t>{0, 44100}.data(), 8, 0)
            .status,
        ZIVU_STATUS_STREAMING);
    sim.RunOk({"fail", "0x80892AC8", "0xE0000047", "--count", "2"});
    _STREAM_STATISTICS statistics{};
    EXPECT_EQ(client.Get(IOCTL_GET_STREAM_STATISTICS, statistics), ZIVU_STATUS_STREAMING);
    EXPECT_EQ(client.Get(IOCTL_GET_STREAM_STATISTICS, statistics), ZIVU_STATUS_STREAMING);
    EXPECT_EQ(client.Get(IOCTL_GET_STREAM_STATISTICS, statistics), 0u);
    EXPECT_EQ(statistics.DropOutCount, 17u);
    sim.RunOk({"answer", "0x80892860", "41000000"});
    _DEVICE_LIST list{};
    ASSERT_EQ(client.Get(IOCTL_GET_DEVICE_LIST, list), 0u);
    EXPECT_EQ(list.DeviceCount, 65u);

    nlohmann::json log = sim.RunJson({"log", "--clear"});
    ASSERT_GE(log.size(), 6u);
    EXPECT_EQ(log[1], (nlohmann::json{{"connection", log[0]["connection"]},
                                      {"code", IOCTL_SET_SAMPLE_RATE},
                                      {"status", ZIVU_STATUS_STREAMING}}));
    EXPECT_TRUE(sim.RunJson({"log"}).empty());

    sim.RunOk({"unplug", "AB12"});
    EXPECT_FALSE(fs::exists(Entry(sim, "AB12")));
    EXPECT_EQ(sim.RunJson({"dump"})["devices"].size(), 1u);
}

TEST(SimDaemon, BadArgumentsAndRefusalsGiveClearErrors) {
    SimDriverProcess sim;
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        const char* message;
    };
    const Case cases[] = {
        {{"unplug", "NOPE"}, 1, "no device with serial NOPE"},
        {{"plug", "--serial", "a/b"}, 1, "serial"},
        {{"plug", "--inputs", "many"}, 2, "--inputs"},
        {{"fail", "0x80892804"}, 2, "usage"},
        {{"answer", "0x80892804", "xyz"}, 1, "hex"},
        {{"teleport"}, 2, "unknown command"},
        {{}, 2, "usage"},
    };
    for (const Case& c : cases) {
        SimDriverProcess::Result result = sim.Run(c.args);
        std::string shown = c.args.empty() ? "(none)" : c.args[0];
        EXPECT_EQ(result.exitCode, c.exitCode) << shown << ": " << result.err;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << shown << ": " << result.err;
    }
    EXPECT_EQ(sim.Quit(), 0);
    SimDriverProcess::Result none = sim.Run({"dump"});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_NE(none.err.find("no zel-usb-simdriver is running"), std::string::npos) << none.err;
}

TEST(SimDaemon, StateSurvivesACrashAndARestart) {
    SimDriverProcess sim;
    std::string serial = sim.RunJson({"plug", "--name", "Before"})["serial"];
    RawClient client(sim.SocketPath());
    _DEVICE_LIST list{};
    ASSERT_EQ(client.Get(IOCTL_GET_DEVICE_LIST, list), 0u);
    _ZEL_USB_DEVICE_PROPERTIES device{};
    ASSERT_EQ(client.Get(IOCTL_GET_DEVICE_PROPERTIES, device, &list.DeviceIds[0], 4), 0u);
    std::strcpy(device.DeviceName, "After");
    ASSERT_EQ(client.Request(IOCTL_SET_DEVICE_PROPERTIES, &device, sizeof device, 0).status, 0u);
    _AUDIO_BUFFER_INFO asio{};
    ASSERT_EQ(client.Get(IOCTL_GET_ASIO_BUFFER, asio), 0u);
    asio.CurrentUs = 7000;
    ASSERT_EQ(client.Request(IOCTL_SET_ASIO_BUFFER, &asio, sizeof asio, 0).status, 0u);

    sim.Kill();  // no clean-up: sockets, lock and entries stay behind
    EXPECT_TRUE(fs::exists(sim.SocketPath()));
    EXPECT_TRUE(fs::exists(Entry(sim, serial)));
    sim.Start();  // takes the stale socket over
    nlohmann::json dump = sim.RunJson({"dump"});
    EXPECT_EQ(dump["devices"][0]["name"], "After");
    EXPECT_EQ(dump["devices"][0]["id"], list.DeviceIds[0]) << "ids survive a restart";
    EXPECT_EQ(dump["asio_buffer"]["current_us"], 7000);
    RawClient again(sim.SocketPath());
    EXPECT_EQ(again.Get(IOCTL_GET_ASIO_BUFFER, asio), 0u);

    EXPECT_EQ(sim.Terminate(), 0);
    EXPECT_FALSE(fs::exists(sim.SocketPath()));
    EXPECT_FALSE(fs::exists(sim.ControlPath()));
    EXPECT_FALSE(fs::exists(Entry(sim, serial)));
    sim.Start();
    EXPECT_TRUE(fs::exists(Entry(sim, serial))) << "persisted devices get their entries at start";
    EXPECT_EQ(sim.RunJson({"dump"})["devices"][0]["name"], "After");
}

TEST(SimDaemon, EverythingItCreatesIsPrivate) {
    SimDriverProcess sim;
    sim.RunOk({"plug", "--serial", "P1"});
    EXPECT_EQ(Mode(sim.SocketPath()) & 0777, 0600u);
    EXPECT_EQ(Mode(sim.ControlPath()) & 0777, 0600u);
    EXPECT_EQ(Mode(sim.DeviceDir()), 0700u);
    EXPECT_EQ(Mode(Entry(sim, "P1")), 0600u);
    EXPECT_EQ(Mode(sim.StatePath()), 0600u);
    EXPECT_EQ(Mode(fs::path(sim.StatePath()).parent_path()), 0700u);
    EXPECT_EQ(Mode(sim.RunDir() + "/zel-usb-simdriver.lock"), 0600u);
}

TEST(SimDaemon, ASecondServeIsRefusedAndLeavesTheFirstAlone) {
    SimDriverProcess sim;
    sim.RunOk({"plug", "--serial", "ONE"});
    SimDriverProcess::Result second = sim.Run({"serve", "--state", sim.StatePath()});
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_NE(second.err.find("already serving"), std::string::npos) << second.err;
    EXPECT_TRUE(fs::exists(sim.SocketPath()));
    EXPECT_TRUE(fs::exists(Entry(sim, "ONE")));
    EXPECT_EQ(sim.RunJson({"dump"})["devices"].size(), 1u);
}

TEST(SimDaemon, ACorruptStateFileStopsTheStartAndIsKept) {
    SimDriverProcess sim(false);
    fs::create_directories(fs::path(sim.StatePath()).parent_path());
    std::ofstream(sim.StatePath()) << "{\"format\": 1, \"devices\": [";
    std::string before = ReadFile(sim.StatePath());
    SimDriverProcess::Result result = sim.Run({"serve", "--state", sim.StatePath()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find(sim.StatePath()), std::string::npos) << result.err;
    EXPECT_EQ(ReadFile(sim.StatePath()), before);
    EXPECT_FALSE(fs::exists(sim.SocketPath()));
}

TEST(SimDaemon, UsesTheDefaultStateFileUnderXdgDataHome) {
    SimDriverProcess sim(false);
    std::string dataHome;
    for (const std::string& entry : sim.Environment())
        if (entry.rfind("XDG_DATA_HOME=", 0) == 0) dataHome = entry.substr(14);
    ASSERT_FALSE(dataHome.empty());
    // Started by hand without --state; quit through the control socket.
    std::vector<std::string> env = sim.Environment();
    std::thread serve([&] { sim.Run({"serve"}, 30000); });
    for (int i = 0; i < 500 && !fs::exists(sim.ControlPath()); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    sim.RunOk({"plug", "--serial", "DEF"});
    sim.RunOk({"quit"});
    serve.join();
    std::string state = ReadFile(dataHome + "/zel-usb-simdriver/state.json");
    EXPECT_NE(state.find("\"DEF\""), std::string::npos);
    EXPECT_FALSE(fs::exists(sim.ControlPath()));
}

}  // namespace
