// One synchronous request/reply through CZivuUsbDriver to the substitute driver daemon,
// beside a bare SOCK_SEQPACKET ping-pong of the same message sizes between two processes
// (the physical limit) and beside the same client against a minimal echo driver (what
// the client costs without the daemon's work). They run in rounds (A B C A B C ...) and
// the summary quotes the median of each and the median of the per-round ratios, since
// absolute times drift on shared machines.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "driver/ZivuUsbDriver.h"
#include "fixtures/SimDriverProcess.h"

namespace {

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
    const bench::RoundTrip trip{shape.inSize, shape.outSize};
    bench::RawRoundTrips(state, g_raw, {&trip, 1});
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

void PrintSummary(const std::map<std::string, double>& times) {
    std::printf("\n%-22s %9s %9s %9s %12s %12s\n", "request (in->out)", "raw us", "daemon us",
                "echo us", "daemon/raw", "echo/raw");
    for (const Shape& shape : kShapes) {
        const std::string suffix = std::string("/") + shape.name;
        const bench::RoundTimes rounds(times, {"Raw" + suffix, "Daemon" + suffix, "Echo" + suffix},
                                       kRounds);
        if (rounds.Empty()) continue;
        std::printf("%-22s %9.2f %9.2f %9.2f %12.3f %12.3f\n", shape.name, rounds.Median(0),
                    rounds.Median(1), rounds.Median(2), rounds.MedianRatio(1, 0),
                    rounds.MedianRatio(2, 0));
    }
}

// Opens `driver` in the run directory XDG_RUNTIME_DIR names now.
bool OpenDriver(CZivuUsbDriver& driver, const char* what) {
    if (const std::uint32_t status = driver.Open(ZIVU_DRIVER_NAME)) {
        std::fprintf(stderr, "cannot open the %s: 0x%08X\n", what, status);
        return false;
    }
    return true;
}

}  // namespace

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

    std::vector<bench::NamedBenchmark> benchmarks;
    for (const Shape& shape : kShapes) {
        const std::string suffix = std::string("/") + shape.name;
        benchmarks.push_back({"Raw" + suffix, [shape](benchmark::State& s) { Raw(s, shape); }});
        benchmarks.push_back(
            {"Daemon" + suffix, [shape](benchmark::State& s) { Client(s, g_daemon, shape); }});
        benchmarks.push_back(
            {"Echo" + suffix, [shape](benchmark::State& s) { Client(s, g_echo, shape); }});
    }
    bench::RegisterRounds(benchmarks, kRounds, 0.2);
    PrintSummary(bench::RunAndCollect(&argc, argv));

    g_daemon.Close();
    g_echo.Close();
    g_echoProcess.Stop();
    g_raw.Stop();
    return 0;
}
