// What the benchmarks share: the driver at its largest, bare round trips of given sizes
// against the raw peer, registration in interleaved rounds, and the medians the summaries
// quote (absolute times drift on shared machines, so every figure is a median of rounds).
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "PeerProcesses.h"

namespace zeltest {
class SimDriverInProcess;
class SimDriverProcess;
}  // namespace zeltest

namespace bench {

// The driver at its largest: 64 devices of 4 input and 4 output channels (256 a
// direction, the capacity of the channel lists) and 16 clock sources each.
constexpr int kDevices = 64;
constexpr int kChannelsPerDevice = 4;
constexpr int kChannels = kDevices * kChannelsPerDevice;
constexpr int kSources = 16;

// Plugs the largest set of devices into the daemon.
void PlugLargest(const zeltest::SimDriverProcess& daemon);
// The same in-process, with the largest sampling-rate list (8 rates) as well.
void SetUpLargest(zeltest::SimDriverInProcess& sim);

// `count` requests in a row with `inSize` bytes of input and `outSize` of output.
struct RoundTrip {
    std::uint32_t inSize;
    std::uint32_t outSize;
    int count = 1;
};

constexpr int CountRequests(std::span<const RoundTrip> mix) {
    int n = 0;
    for (const RoundTrip& trip : mix) n += trip.count;
    return n;
}

// Each iteration sends the mix's requests to the raw peer as bare SOCK_SEQPACKET messages
// of the framed sizes and waits for each reply: the physical limit of the transport.
void RawRoundTrips(benchmark::State& state, const RawPeer& peer, std::span<const RoundTrip> mix);

struct NamedBenchmark {
    std::string name;
    std::function<void(benchmark::State&)> function;
};

// Registers every benchmark once a round as "<name>/round:<n>", in the given order within
// each round (A B C A B C ...), timed in real time and shown in microseconds.
void RegisterRounds(const std::vector<NamedBenchmark>& benchmarks, int rounds, double minTime);

// Runs the registered benchmarks (honouring the command line's --benchmark_* options)
// with the console report, and returns the real time per iteration of every run that did
// not fail, by run name.
std::map<std::string, double> RunAndCollect(int* argc, char** argv);

// The times of some benchmarks in each round in which all of them ran, and the medians
// the summaries quote.
class RoundTimes {
public:
    RoundTimes(const std::map<std::string, double>& times, const std::vector<std::string>& names,
               int rounds);
    std::size_t Count() const { return m_rounds.size(); }
    bool Empty() const { return m_rounds.empty(); }
    // The median time of names[column].
    double Median(std::size_t column) const;
    // The median of the per-round ratios names[numerator] / names[denominator].
    double MedianRatio(std::size_t numerator, std::size_t denominator) const;

private:
    std::vector<std::vector<double>> m_rounds;  // a row a round, in the order of the names
};

double Median(std::vector<double> values);
double Percentile(std::vector<double> values, double p);  // p in [0, 1], nearest rank

}  // namespace bench
