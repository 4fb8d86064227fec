#include "simdriver/server/Tool.h"

#include <signal.h>
#include <unistd.h>

#include <cstdint>
#include <iostream>

#include "platform/RunDir.h"
#include "simdriver/server/CommandLine.h"
#include "simdriver/server/ControlClient.h"
#include "simdriver/server/SimServer.h"

namespace simdriver {
namespace {

int g_stopFd = -1;

extern "C" void OnStopSignal(int) {
    std::uint64_t one = 1;
    if (g_stopFd >= 0) [[maybe_unused]]
        ssize_t n = ::write(g_stopFd, &one, sizeof one);
}

// The server watches its stop flag and its wake descriptor; a signal may only write.
int Serve(const std::string& statePath) {
    SimServer server({"", statePath});
    std::string error;
    StartResult result = server.Start(&error);
    if (result != StartResult::Started) {
        std::cerr << "zel-usb-simdriver: " << error << "\n";
        return 1;
    }
    g_stopFd = server.WakeFd();
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    std::cerr << "zel-usb-simdriver: serving " << server.SocketPath() << "\n";
    server.Run();
    g_stopFd = -1;
    return 0;
}

int Control(const nlohmann::json& command) {
    std::string error;
    std::string runDir = platform::RuntimeDir(&error);
    if (runDir.empty()) {
        std::cerr << "zel-usb-simdriver: " << error << "\n";
        return 1;
    }
    nlohmann::json answer;
    if (!SendControlCommand(runDir, command, &answer, &error)) {
        std::cerr << "zel-usb-simdriver: " << error << "\n";
        return 1;
    }
    if (!answer.value("ok", false)) {
        std::cerr << "zel-usb-simdriver: " << answer.value("error", std::string("refused")) << "\n";
        return 1;
    }
    const nlohmann::json& result = answer["result"];
    if (!result.is_null())
        std::cout << result.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    return 0;
}

}  // namespace

int RunTool(const std::vector<std::string>& args) {
    ParsedCommandLine parsed;
    std::string error;
    if (!ParseCommandLine(args, &parsed, &error)) {
        std::cerr << "zel-usb-simdriver: " << error << "\n" << kUsage;
        return 2;
    }
    if (parsed.help) {
        std::cout << kUsage;
        return 0;
    }
    if (parsed.serve) return Serve(parsed.statePath);
    return Control(parsed.command);
}

}  // namespace simdriver
