#include "BenchSupport.h"

#include <sys/socket.h>

#include <algorithm>
#include <cstring>

#include "fixtures/SimDriverInProcess.h"
#include "fixtures/SimDriverProcess.h"
#include "platform/posix/DeviceSocketProtocol.h"

namespace bench {
namespace {

namespace wire = platform::wire;

// Keeps the time per iteration of every run, by name, for the summaries.
class CollectingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (!run.error_occurred) times[run.run_name.function_name] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

}  // namespace

void PlugLargest(const zeltest::SimDriverProcess& daemon) {
    for (int i = 0; i < kDevices; ++i)
        daemon.RunOk({"plug", "--inputs", std::to_string(kChannelsPerDevice), "--outputs",
                      std::to_string(kChannelsPerDevice), "--sources", std::to_string(kSources)});
}

void SetUpLargest(zeltest::SimDriverInProcess& sim) {
    for (int i = 0; i < kDevices; ++i) {
        zeltest::PlugOptions options;
        options.inputs = kChannelsPerDevice;
        options.outputs = kChannelsPerDevice;
        options.sources = kSources;
        sim.Plug(options);
    }
    sim.Mutate([](simdriver::SimState& s) {
        s.rates = {32000, 44100, 48000, 64000, 88200, 96000, 176400, 192000};
    });
}

void RawRoundTrips(benchmark::State& state, const RawPeer& peer, std::span<const RoundTrip> mix) {
    std::vector<char> request(sizeof(wire::RequestHeader) + wire::kMaxPayload, 0);
    std::vector<char> reply(sizeof(wire::ReplyHeader) + wire::kMaxPayload + 64);
    for (auto _ : state) {
        for (const RoundTrip& trip : mix) {
            // The peer answers with as many bytes as the first word asks for.
            const std::uint32_t replySize = sizeof(wire::ReplyHeader) + trip.outSize;
            std::memcpy(request.data(), &replySize, sizeof replySize);
            const std::size_t requestSize = sizeof(wire::RequestHeader) + trip.inSize;
            for (int i = 0; i < trip.count; ++i) {
                if (send(peer.fd, request.data(), requestSize, MSG_NOSIGNAL) < 0 ||
                    recv(peer.fd, reply.data(), reply.size(), 0) !=
                        static_cast<ssize_t>(replySize)) {
                    state.SkipWithError("raw peer failed");
                    return;
                }
            }
        }
    }
}

void RegisterRounds(const std::vector<NamedBenchmark>& benchmarks, int rounds, double minTime) {
    for (int round = 0; round < rounds; ++round) {
        for (const NamedBenchmark& entry : benchmarks)
            benchmark::RegisterBenchmark(
                (entry.name + "/round:" + std::to_string(round)).c_str(),
                [function = entry.function](benchmark::State& state) { function(state); })
                ->Unit(benchmark::kMicrosecond)
                ->MinTime(minTime)
                ->UseRealTime();
    }
}

std::map<std::string, double> RunAndCollect(int* argc, char** argv) {
    benchmark::Initialize(argc, argv);
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return reporter.times;
}

RoundTimes::RoundTimes(const std::map<std::string, double>& times,
                       const std::vector<std::string>& names, int rounds) {
    for (int round = 0; round < rounds; ++round) {
        const std::string suffix = "/round:" + std::to_string(round);
        std::vector<double> row;
        for (const std::string& name : names) {
            const auto it = times.find(name + suffix);
            if (it == times.end()) break;
            row.push_back(it->second);
        }
        if (row.size() == names.size()) m_rounds.push_back(std::move(row));
    }
}

double RoundTimes::Median(std::size_t column) const {
    std::vector<double> values;
    for (const auto& round : m_rounds) values.push_back(round[column]);
    return bench::Median(std::move(values));
}

double RoundTimes::MedianRatio(std::size_t numerator, std::size_t denominator) const {
    std::vector<double> ratios;
    for (const auto& round : m_rounds) ratios.push_back(round[numerator] / round[denominator]);
    return bench::Median(std::move(ratios));
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[index];
}

}  // namespace bench
