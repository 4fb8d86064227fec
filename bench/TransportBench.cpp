// One synchronous request/reply through CZivuUsbDriver beside a bare SOCK_SEQPACKET
// ping-pong of the same message sizes between two processes, which is the physical limit.
// Both run in rounds (A B A B ...) and the summary quotes the median of each and the
// median of the per-round ratios, since absolute times drift on shared machines.
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
FramedEchoDriver g_driverProcess;
CZivuUsbDriver g_driver;
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

void Client(benchmark::State& state, Shape shape) {
    std::vector<char> out(shape.outSize);
    for (auto _ : state) {
        const std::uint32_t status =
            g_driver.IoControl(shape.code, shape.inSize ? &g_deviceId : nullptr, shape.inSize,
                               out.data(), shape.outSize);
        if (status != 0) {
            state.SkipWithError("request failed");
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
}

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
    std::printf("\n%-22s %12s %12s %8s\n", "request (in->out)", "raw us", "ours us", "ratio");
    for (const Shape& shape : kShapes) {
        std::vector<double> raw, ours, ratios;
        for (int round = 0; round < kRounds; ++round) {
            const std::string suffix = std::string(shape.name) + "/round:" + std::to_string(round);
            const auto r = times.find("Raw/" + suffix);
            const auto c = times.find("Client/" + suffix);
            if (r == times.end() || c == times.end()) continue;
            raw.push_back(r->second);
            ours.push_back(c->second);
            ratios.push_back(c->second / r->second);
        }
        if (ratios.empty()) continue;
        std::printf("%-22s %12.2f %12.2f %8.3f\n", shape.name, Median(raw), Median(ours),
                    Median(ratios));
    }
}

}  // namespace

int main(int argc, char** argv) {
    // The peers are forked before any thread exists.
    if (!g_raw.Start() || !g_driverProcess.Start(ZIVU_DRIVER_NAME)) {
        std::fprintf(stderr, "cannot start the peer processes\n");
        return 1;
    }
    if (const std::uint32_t status = g_driver.Open(ZIVU_DRIVER_NAME)) {
        std::fprintf(stderr, "cannot open the driver: 0x%08X\n", status);
        return 1;
    }

    for (int round = 0; round < kRounds; ++round) {
        for (const Shape& shape : kShapes) {
            const std::string suffix = std::string(shape.name) + "/round:" + std::to_string(round);
            for (auto [kind, function] : {std::pair{"Raw/", &Raw}, std::pair{"Client/", &Client}})
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

    g_driver.Close();
    g_driverProcess.Stop();
    g_raw.Stop();
    return 0;
}
