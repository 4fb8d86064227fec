// One synchronous request/reply through CZivuUsbDriver to the substitute driver daemon,
// beside a bare SOCK_SEQPACKET ping-pong of the same message sizes between two processes
// (the physical limit) and beside the same client against a minimal echo driver (what
// the client costs without the daemon's work). They run in rounds (A B C A B C ...) and
// the summary quotes the median of each and the median of the per-round ratios, since
// absolute times drift on shared machines.
#include <benchmark/benchmark.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "PeerProcesses.h"
#include "driver/ZivuUsbDriver.h"
#include "fixtures/SimDriverProcess.h"
#include "platform/posix/DeviceSocketProtocol.h"

namespace {

namespace wire = platform::wire;

// The largest answer of all (the channel lists, which take no input), the largest answer
// to a request with a 4-byte id (a device's clock sources), and a small one.
struct Shape {
    const char* name;
    std::uint32_t code;
    std::uint32_t inSize;
    std::uint32_t outSize;
};
constexpr Shape kShapes[] = {
    {"ChannelLists_0to2056", IOCTL_GET_CHANNEL_LISTS, 0, 2056},
    {"SyncModeInfo_4to824", IOCTL_GET_SYNC_MODE_INFO, 4, 824},
    {"DriverVersion_0to12", IOCTL_GET_DRIVER_VERSION, 0, 12},
};
constexpr int kRounds = 5;

RawPeer g_raw;
FramedEchoDriver g_echoProcess;
CZivuUsbDriver g_echo;
CZivuUsbDriver g_daemon;
std::uint32_t g_deviceId = 0;

void Raw(benchmark::State& state, Shape shape) {
    // The same bytes on the wire as a framed request and its reply.
    std::vector<char> request(sizeof(wire::RequestHeader) + shape.inSize, 0);
    const std::uint32_t replySize = sizeof(wire::ReplyHeader) + shape.outSize;
    std::memcpy(request.data(), &replySize, sizeof replySize);
    std::vector<char> reply(replySize + 64);
    for (auto _ : state) {
        if (send(g_raw.fd, request.data(), request.size(), MSG_NOSIGNAL) < 0 ||
            recv(g_raw.fd, reply.data(), reply.size(), 0) != static_cast<ssize_t>(replySize)) {
            state.SkipWithError("raw peer failed");
            break;
        }
    }
}

void Client(benchmark::State& state, CZivuUsbDriver& driver, Shape shape) {
    std::vector<char> out(shape.outSize);
    for (auto _ : state) {
        const std::uint32_t status =
            driver.IoControl(shape.code, shape.inSize ? &g_deviceId : nullptr, shape.inSize,
                             out.data(), shape.outSize);
        if (status != 0) {
            state.SkipWithError("request failed");
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
}

void Daemon(benchmark::State& state, Shape shape) { Client(state, g_daemon, shape); }
void Echo(benchmark::State& state, Shape shape) { Client(state, g_echo, shape); }

// Keeps the time per iteration of every run, by name, for the summary.
class CollectingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (!run.error_occurred) times[run.run_name.function_name] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void PrintSummary(const std::map<std::string, double>& times) {
    std::printf("\n%-22s %9s %9s %9s %12s %12s\n", "request (in->out)", "raw us", "daemon us",
                "echo us", "daemon/raw", "echo/raw");
    for (const Shape& shape : kShapes) {
        std::vector<double> raw, daemon, echo, daemonRatios, echoRatios;
        for (int round = 0; round < kRounds; ++round) {
            const std::string suffix = std::string(shape.name) + "/round:" + std::to_string(round);
            const auto r = times.find("Raw/" + suffix);
            const auto d = times.find("Daemon/" + suffix);
            const auto e = times.find("Echo/" + suffix);
            if (r == times.end() || d == times.end() || e == times.end()) continue;
            raw.push_back(r->second);
            daemon.push_back(d->second);
            echo.push_back(e->second);
            daemonRatios.push_back(d->second / r->second);
            echoRatios.push_back(e->second / r->second);
        }
        if (raw.empty()) continue;
        std::printf("%-22s %9.2f %9.2f %9.2f %12.3f %12.3f\n", shape.name, Median(raw),
                    Median(daemon), Median(echo), Median(daemonRatios), Median(echoRatios));
    }
}

}  // namespace

// Opens `driver` in the run directory XDG_RUNTIME_DIR names now.
bool OpenDriver(CZivuUsbDriver& driver, const char* what) {
    if (const std::uint32_t status = driver.Open(ZIVU_DRIVER_NAME)) {
        std::fprintf(stderr, "cannot open the %s: 0x%08X\n", what, status);
        return false;
    }
    return true;
}

int main(int argc, char** argv) {
    // The peers are forked before any thread exists.
    if (!g_raw.Start() || !g_echoProcess.Start(ZIVU_DRIVER_NAME)) {
        std::fprintf(stderr, "cannot start the peer processes\n");
        return 1;
    }
    if (!OpenDriver(g_echo, "echo driver")) return 1;

    zeltest::SimDriverProcess sim(false);
    try {
        sim.Start();
        sim.RunOk({"plug", "--name", "Bench", "--inputs", "32", "--outputs", "32"});
    } catch (const std::exception& e) {
        std::fprintf(stderr, "cannot run the substitute driver: %s\n", e.what());
        return 1;
    }
    sim.UseRunDirInThisProcess();
    if (!OpenDriver(g_daemon, "substitute driver")) return 1;
    _DEVICE_LIST list{};
    if (g_daemon.GetDeviceList(list) != 0 || list.DeviceCount == 0) return 1;
    g_deviceId = list.DeviceIds[0];

    for (int round = 0; round < kRounds; ++round) {
        for (const Shape& shape : kShapes) {
            const std::string suffix = std::string(shape.name) + "/round:" + std::to_string(round);
            for (auto [kind, function] : {std::pair{"Raw/", &Raw}, std::pair{"Daemon/", &Daemon},
                                          std::pair{"Echo/", &Echo}})
                benchmark::RegisterBenchmark((kind + suffix).c_str(), function, shape)
                    ->Unit(benchmark::kMicrosecond)
                    ->MinTime(0.2)
                    ->UseRealTime();
        }
    }
    benchmark::Initialize(&argc, argv);
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintSummary(reporter.times);
    benchmark::Shutdown();

    g_daemon.Close();
    g_echo.Close();
    g_echoProcess.Stop();
    g_raw.Stop();
    return 0;
}
