// The state document (state file and dump), the state file on disk, the control
// commands and the command line.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "driver/ZivuUsbRecords.h"
#include "fixtures/TempDir.h"
#include "simdriver/core/SimCommands.h"
#include "simdriver/core/StateJson.h"
#include "simdriver/server/CommandLine.h"
#include "simdriver/server/StateFile.h"

namespace {

using nlohmann::json;

TEST(StateJson, RoundTripsEveryFieldAndNamesThatAreNotUtf8) {
    simdriver::SimState state;
    std::string error;
    ASSERT_FALSE(simdriver::PlugDevice(state, {"S1", "Caf\xc3\xa9", 2, 3, 4}, &error).empty());
    ASSERT_FALSE(simdriver::PlugDevice(state, {"S2", "", 1, 1, 1}, &error).empty());
    state.devices[0].name = "bad \xff\xfe byte";
    state.devices[0].inputs[1].name = "\xc3";
    state.devices[1].currentSource = 0;
    state.devices[0].currentSource = 3;
    state.asioBuffer.reserved2 = {1, 2, 3, 4};
    state.rates = {32000};
    state.currentRate = 32000;
    state.streaming = true;
    state.version.driverBuild = 4000000000u;

    json document = simdriver::StateToJson(state);
    EXPECT_EQ(document["devices"][0]["name"]["hex"], "62616420fffe2062797465");
    EXPECT_EQ(document["asio_buffer"]["reserved2"], "01020304");
    simdriver::SimState back;
    ASSERT_TRUE(simdriver::StateFromJson(json::parse(document.dump()), &back, &error)) << error;
    EXPECT_EQ(simdriver::StateToJson(back), document);
    EXPECT_EQ(back.devices[0].name, "bad \xff\xfe byte");
    EXPECT_EQ(back.devices[0].inputs[1].name, "\xc3");
}

TEST(StateJson, RefusesDocumentsThatAreNotAState) {
    simdriver::SimState state;
    std::string error;
    simdriver::PlugDevice(state, {"S1", "", 1, 1, 2}, &error);
    simdriver::PlugDevice(state, {"S2", "", 1, 1, 2}, &error);
    json good = simdriver::StateToJson(state);
    std::vector<std::pair<const char*, std::function<void(json&)>>> breakers{
        {"not an object", [](json& j) { j = json::array(); }},
        {"no devices", [](json& j) { j.erase("devices"); }},
        {"wrong type", [](json& j) { j["rate"] = "fast"; }},
        {"negative", [](json& j) { j["dropouts"] = -1; }},
        {"duplicate id", [](json& j) { j["devices"][1]["id"] = j["devices"][0]["id"]; }},
        {"duplicate serial", [](json& j) { j["devices"][1]["serial"] = "S1"; }},
        {"source index", [](json& j) { j["devices"][0]["current_source"] = 2; }},
        {"reserved size", [](json& j) { j["wdm_buffer"]["reserved1"] = "0102"; }},
        {"format", [](json& j) { j["format"] = 99; }},
    };
    for (auto& [what, breaker] : breakers) {
        json broken = good;
        breaker(broken);
        simdriver::SimState untouched;
        error.clear();
        EXPECT_FALSE(simdriver::StateFromJson(broken, &untouched, &error)) << what;
        EXPECT_FALSE(error.empty()) << what;
        EXPECT_TRUE(untouched.devices.empty()) << what;
    }
}

TEST(StateFile, IsWrittenPrivatelyAndReadBack) {
    zeltest::TempDir dir;
    std::string path = dir.Path() + "/a/b/state.json";
    simdriver::SimState state, loaded;
    std::string error;
    EXPECT_EQ(simdriver::LoadStateFile(path, &loaded, &error), simdriver::LoadResult::Missing);
    simdriver::PlugDevice(state, {"S1", "Name", 1, 1, 1}, &error);
    ASSERT_TRUE(simdriver::SaveStateFile(path, state, &error)) << error;
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat((dir.Path() + "/a/b").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(simdriver::LoadStateFile(path, &loaded, &error), simdriver::LoadResult::Loaded);
    EXPECT_EQ(loaded.devices.at(0).name, "Name");

    std::ofstream(path) << "{ \"format\": 1, ";
    EXPECT_EQ(simdriver::LoadStateFile(path, &loaded, &error), simdriver::LoadResult::Corrupt);
    EXPECT_NE(error.find(path), std::string::npos);
}

TEST(Commands, ReportRefusalsAndRunTheFaultInjection) {
    simdriver::SimDriverCore core;
    bool quit = false;
    auto run = [&](json command) { return simdriver::ExecuteCommand(core, command, &quit); };
    json plugged = run({{"command", "plug"}, {"serial", "X1"}, {"inputs", 2}});
    ASSERT_TRUE(plugged["ok"]) << plugged.dump();
    EXPECT_EQ(plugged["result"]["serial"], "X1");
    EXPECT_FALSE(run({{"command", "plug"}, {"serial", "X1"}})["ok"]);
    EXPECT_FALSE(run({{"command", "unplug"}, {"serial", "none"}})["ok"]);
    EXPECT_FALSE(run({{"command", "fly"}})["ok"]);
    EXPECT_FALSE(run({{"command", "fail"}, {"code", "x"}, {"status", 1}})["ok"]);
    EXPECT_FALSE(run({{"command", "answer"}, {"code", 1}, {"hex", "abc"}})["ok"]);
    EXPECT_FALSE(run({{"command", "version"}, {"major", 256}, {"minor", 0}})["ok"]);
    EXPECT_FALSE(run(json::array())["ok"]);

    ASSERT_TRUE(run({{"command", "stream"}, {"on", true}})["ok"]);
    ASSERT_TRUE(run({{"command", "dropouts"}, {"count", 12}})["ok"]);
    ASSERT_TRUE(run({{"command", "version"}, {"major", 1}, {"minor", 5}})["ok"]);
    json dump = run({{"command", "dump"}})["result"];
    EXPECT_EQ(dump["streaming"], true);
    EXPECT_EQ(dump["dropouts"], 12);
    EXPECT_EQ(dump["version"]["interface_major"], 1);
    EXPECT_EQ(dump["devices"][0]["inputs"].size(), 2u);

    ASSERT_TRUE(
        run({{"command", "fail"}, {"code", IOCTL_GET_DRIVER_VERSION}, {"status", 31}})["ok"]);
    simdriver::ConnectionId connection = core.OpenConnection();
    EXPECT_EQ(core.Handle(connection, IOCTL_GET_DRIVER_VERSION, nullptr, 0, 12).status, 31u);
    json log = run({{"command", "log"}, {"clear", true}})["result"];
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(
        log[0],
        (json{{"connection", connection}, {"code", IOCTL_GET_DRIVER_VERSION}, {"status", 31}}));
    EXPECT_TRUE(run({{"command", "log"}})["result"].empty());

    EXPECT_FALSE(quit);
    EXPECT_TRUE(run({{"command", "quit"}})["ok"]);
    EXPECT_TRUE(quit);
}

TEST(CommandLine, ParsesEverySubcommand) {
    struct Case {
        std::vector<std::string> args;
        json command;  // null: a usage error
    };
    const Case cases[] = {
        {{"plug"}, {{"command", "plug"}}},
        {{"plug", "--serial", "S", "--name", "My Box", "--inputs", "0x10", "--outputs", "2",
          "--sources", "4"},
         {{"command", "plug"},
          {"serial", "S"},
          {"name", "My Box"},
          {"inputs", 16},
          {"outputs", 2},
          {"sources", 4}}},
        {{"plug", "--inputs", "257"}, nullptr},
        {{"plug", "--colour", "red"}, nullptr},
        {{"plug", "--name"}, nullptr},
        {{"unplug", "S"}, {{"command", "unplug"}, {"serial", "S"}}},
        {{"unplug"}, nullptr},
        {{"stream", "on"}, {{"command", "stream"}, {"on", true}}},
        {{"stream", "maybe"}, nullptr},
        {{"notify", "3"}, {{"command", "notify"}, {"code", 3}}},
        {{"notify", "0xFFFFFFFF"}, {{"command", "notify"}, {"code", -1}}},
        {{"fail", "0x80892804", "0xE0000047", "--count", "0"},
         {{"command", "fail"}, {"code", 0x80892804u}, {"status", 0xE0000047u}, {"count", 0}}},
        {{"fail", "--clear"}, {{"command", "fail"}, {"clear", true}}},
        {{"fail", "12"}, nullptr},
        {{"fail", "0x1G", "1"}, nullptr},
        {{"fail", "4294967296", "1"}, nullptr},
        {{"answer", "0x80892860", "41000000"},
         {{"command", "answer"}, {"code", 0x80892860u}, {"hex", "41000000"}}},
        {{"delay", "2156406788", "500", "--count", "2"},
         {{"command", "delay"}, {"code", 2156406788u}, {"ms", 500}, {"count", 2}}},
        {{"version", "1", "0"}, {{"command", "version"}, {"major", 1}, {"minor", 0}}},
        {{"version", "2", "1", "--driver", "3.4.500"},
         {{"command", "version"},
          {"major", 2},
          {"minor", 1},
          {"driver_major", 3},
          {"driver_minor", 4},
          {"driver_build", 500}}},
        {{"version", "2", "1", "--driver", "3.4"}, nullptr},
        {{"version", "300", "0"}, nullptr},
        {{"dropouts", "4294967295"}, {{"command", "dropouts"}, {"count", 4294967295u}}},
        {{"dropouts", "-1"}, nullptr},
        {{"dump"}, {{"command", "dump"}}},
        {{"dump", "extra"}, nullptr},
        {{"log", "--clear"}, {{"command", "log"}, {"clear", true}}},
        {{"quit"}, {{"command", "quit"}}},
        {{"launch"}, nullptr},
        {{}, nullptr},
    };
    for (const Case& c : cases) {
        simdriver::ParsedCommandLine parsed;
        std::string error;
        bool ok = simdriver::ParseCommandLine(c.args, &parsed, &error);
        std::string shown = c.args.empty() ? "(none)" : c.args[0];
        EXPECT_EQ(ok, !c.command.is_null()) << shown << ": " << error;
        if (ok) {
            EXPECT_EQ(parsed.command, c.command) << shown;
        } else {
            EXPECT_FALSE(error.empty()) << shown;
        }
    }
    simdriver::ParsedCommandLine serve;
    std::string error;
    ASSERT_TRUE(simdriver::ParseCommandLine({"serve", "--state", "/x/s.json"}, &serve, &error));
    EXPECT_TRUE(serve.serve);
    EXPECT_EQ(serve.statePath, "/x/s.json");
}

}  // namespace
