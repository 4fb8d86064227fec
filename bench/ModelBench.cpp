// The device model at its largest (64 devices, 256 input and 256 output channels, 16
// clock sources each) loaded from the substitute driver daemon, beside the same mix of
// request and reply sizes as bare SOCK_SEQPACKET round trips between two processes. Both
// run in rounds (A B A B ...) and the summary quotes the median of the per-round ratios,
// since absolute times drift on shared machines. Then the time from the driver signalling
// its event to the notificator's message arriving on another thread.
#include <benchmark/benchmark.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "PeerProcesses.h"
#include "driver/Drv.h"
#include "driver/ZivuUsbNotificator.h"
#include "fixtures/SimDriverInProcess.h"
#include "fixtures/SimDriverProcess.h"
#include "platform/posix/DeviceSocketProtocol.h"

namespace {

namespace wire = platform::wire;
using Clock = std::chrono::steady_clock;

constexpr int kDevices = 64;
constexpr int kChannelsPerDevice = 4;  // 256 per direction in all
constexpr int kSources = 16;
constexpr int kRounds = 5;

// The requests of one full load (devices, clock sources, both channel lists), by size.
struct Shape {
    std::uint32_t inSize;
    std::uint32_t outSize;
    int count;
};
constexpr Shape kLoadMix[] = {
    {0, sizeof(_DEVICE_LIST), 2},
    {4, sizeof(_ZEL_USB_DEVICE_PROPERTIES), kDevices},
    {4, sizeof(_DEVICE_SYNC_MODE_INFO), kDevices},
    {0, sizeof(_CHANNEL_LISTS), 2},
    {4, sizeof(_ZEL_USB_CHANNEL_PROPERTIES), 2 * kDevices* kChannelsPerDevice},
};

constexpr int RequestsPerLoad() {
    int n = 0;
    for (const Shape& shape : kLoadMix) n += shape.count;
    return n;
}

RawPeer g_raw;
CDrv g_drv;

void RawMix(benchmark::State& state) {
    std::vector<char> request(sizeof(wire::RequestHeader) + 4, 0);
    std::vector<char> reply(sizeof(wire::ReplyHeader) + wire::kMaxPayload + 64);
    for (auto _ : state) {
        for (const Shape& shape : kLoadMix) {
            // The peer answers with as many bytes as the first word asks for.
            const std::uint32_t replySize = sizeof(wire::ReplyHeader) + shape.outSize;
            std::memcpy(request.data(), &replySize, sizeof replySize);
            const std::size_t requestSize = sizeof(wire::RequestHeader) + shape.inSize;
            for (int i = 0; i < shape.count; ++i) {
                if (send(g_raw.fd, request.data(), requestSize, MSG_NOSIGNAL) < 0 ||
                    recv(g_raw.fd, reply.data(), reply.size(), 0) !=
                        static_cast<ssize_t>(replySize)) {
                    state.SkipWithError("raw peer failed");
                    return;
                }
            }
        }
    }
    state.counters["requests"] = RequestsPerLoad();
}

void ModelLoad(benchmark::State& state) {
    for (auto _ : state) {
        if (g_drv.LoadDevices() || g_drv.LoadSyncModes() ||
            g_drv.LoadChannels(g_drv.m_InputChannels, false) ||
            g_drv.LoadChannels(g_drv.m_OutputChannels, true)) {
            state.SkipWithError("a load failed");
            return;
        }
    }
    if (g_drv.m_Devices.GetSize() != kDevices || g_drv.m_SyncModes.GetSize() != kDevices ||
        g_drv.m_InputChannels.GetSize() != kDevices * kChannelsPerDevice ||
        g_drv.m_OutputChannels.GetSize() != kDevices * kChannelsPerDevice)
        state.SkipWithError("the model is not at its largest");
    state.counters["requests"] = RequestsPerLoad();
}

// The same requests as ModelLoad, straight through the connection into reused buffers:
// what the model itself adds over its requests is the difference to ModelLoad.
void RequestsOnly(benchmark::State& state) {
    _DEVICE_LIST devices{};
    _CHANNEL_LISTS channels{};
    if (g_drv.GetDeviceList(devices) || g_drv.GetChannelLists(channels)) {
        state.SkipWithError("the lists failed");
        return;
    }
    _ZEL_USB_DEVICE_PROPERTIES device;
    _DEVICE_SYNC_MODE_INFO syncMode;
    _ZEL_USB_CHANNEL_PROPERTIES channel;
    std::uint32_t failures = 0;
    for (auto _ : state) {
        failures |= g_drv.GetDeviceList(devices);
        for (std::uint32_t i = 0; i < devices.DeviceCount; ++i)
            failures |= g_drv.GetDeviceProperties(std::uint32_t{devices.DeviceIds[i]}, device);
        failures |= g_drv.GetDeviceList(devices);
        for (std::uint32_t i = 0; i < devices.DeviceCount; ++i)
            failures |= g_drv.GetSyncModeInfo(std::uint32_t{devices.DeviceIds[i]}, syncMode);
        failures |= g_drv.GetChannelLists(channels);
        for (std::uint32_t i = 0; i < channels.InputCount; ++i)
            failures |= g_drv.GetChannelProperties(std::uint32_t{channels.InputIds[i]}, channel);
        failures |= g_drv.GetChannelLists(channels);
        for (std::uint32_t i = 0; i < channels.OutputCount; ++i)
            failures |= g_drv.GetChannelProperties(std::uint32_t{channels.OutputIds[i]}, channel);
    }
    if (failures) state.SkipWithError("a request failed");
    state.counters["requests"] = RequestsPerLoad();
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

double Percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const std::size_t index = static_cast<std::size_t>(p * (values.size() - 1) + 0.5);
    return values[index];
}

void PrintLoadSummary(const std::map<std::string, double>& times) {
    std::vector<double> raw, requestsOnly, ours, ratios, modelShare;
    for (int round = 0; round < kRounds; ++round) {
        const std::string suffix = "/round:" + std::to_string(round);
        const auto r = times.find("RawMix" + suffix);
        const auto q = times.find("RequestsOnly" + suffix);
        const auto m = times.find("ModelLoad" + suffix);
        if (r == times.end() || q == times.end() || m == times.end()) continue;
        raw.push_back(r->second);
        requestsOnly.push_back(q->second);
        ours.push_back(m->second);
        ratios.push_back(m->second / r->second);
        modelShare.push_back(m->second / q->second);
    }
    if (ratios.empty()) return;
    const int requests = RequestsPerLoad();
    std::printf("\nfull model load: %d requests\n", requests);
    std::printf("  raw round trips of the same sizes: %10.1f us (%.2f us each)\n", Median(raw),
                Median(raw) / requests);
    std::printf("  the same requests, no model:      %10.1f us (%.2f us each)\n",
                Median(requestsOnly), Median(requestsOnly) / requests);
    std::printf("  LoadDevices+LoadSyncModes+2xLoadChannels: %10.1f us (%.2f us each)\n",
                Median(ours), Median(ours) / requests);
    std::printf("  model load / same requests without the model: %.3f\n", Median(modelShare));
    std::printf("  ratio (median of %zu rounds): %.3f (target <= 1.5)\n", ratios.size(),
                Median(ratios));
}

// Plays the view: the notificator's thread posts, and a thread of its own (the user
// interface thread) takes the message and notes when it arrived.
class ArrivalClock final : public IMessageTarget {
public:
    void PostMessage(std::uint32_t, std::uint32_t, std::uint32_t) override {
        {
            std::lock_guard lock(m_mutex);
            ++m_posted;
        }
        m_changed.notify_all();
    }

    void Run() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [&] { return m_quit || m_posted > m_taken; });
            if (m_quit) return;
            ++m_taken;
            m_arrivals.push_back(Clock::now());
            m_changed.notify_all();
        }
    }

    // Waits for the n-th arrival (1-based) and returns its time.
    Clock::time_point WaitForArrival(std::size_t n) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_arrivals.size() >= n; });
        return m_arrivals[n - 1];
    }

    void Quit() {
        {
            std::lock_guard lock(m_mutex);
            m_quit = true;
        }
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::size_t m_posted = 0;
    std::size_t m_taken = 0;
    bool m_quit = false;
    std::vector<Clock::time_point> m_arrivals;
};

// The driver runs in this process here, so the moment it signals can be timed; the
// records it queues are drained as the view does after every message.
void MeasureNotificationLatency() {
    constexpr int kWarmUp = 100;
    constexpr int kSamples = 2000;
    zeltest::SimDriverInProcess sim;
    ArrivalClock target;
    std::thread userInterface([&] { target.Run(); });
    CZivuUsbNotificator notificator;
    notificator.SetTarget(&target, WM_APP_DRIVER_EVENT, 0, 0);
    if (const std::uint32_t status = notificator.Start(ZIVU_DRIVER_NAME)) {
        std::fprintf(stderr, "cannot start the notificator: 0x%08X\n", status);
    } else {
        std::vector<double> latencies;
        for (int i = 1; i <= kWarmUp + kSamples; ++i) {
            const auto signalled = Clock::now();
            sim.Notify(2);
            const auto arrived = target.WaitForArrival(i);
            if (i > kWarmUp)
                latencies.push_back(
                    std::chrono::duration<double, std::micro>(arrived - signalled).count());
            _DRIVER_NOTIFICATION record;
            while (notificator.GetNotification(record) == 0) {
            }
        }
        std::printf("\ndriver event to message on another thread, %d samples:\n", kSamples);
        std::printf("  median %.1f us, p99 %.1f us\n", Median(latencies),
                    Percentile(latencies, 0.99));
        notificator.Stop();
    }
    target.Quit();
    userInterface.join();
}

}  // namespace

int main(int argc, char** argv) {
    // The raw peer is forked before any thread exists.
    if (!g_raw.Start()) {
        std::fprintf(stderr, "cannot start the raw peer\n");
        return 1;
    }
    {
        zeltest::SimDriverProcess daemon;
        for (int i = 0; i < kDevices; ++i)
            daemon.RunOk({"plug", "--inputs", std::to_string(kChannelsPerDevice), "--outputs",
                          std::to_string(kChannelsPerDevice), "--sources",
                          std::to_string(kSources)});
        daemon.UseRunDirInThisProcess();
        if (const std::uint32_t status = g_drv.Open(ZIVU_DRIVER_NAME)) {
            std::fprintf(stderr, "cannot open the driver: 0x%08X\n", status);
            return 1;
        }
        // The daemon's first answers pay for its start; keep them out of the rounds.
        for (int i = 0; i < 3; ++i) g_drv.LoadDevices();

        for (int round = 0; round < kRounds; ++round) {
            const std::string suffix = "/round:" + std::to_string(round);
            for (auto [name, function] :
                 {std::pair{"RawMix", &RawMix}, std::pair{"RequestsOnly", &RequestsOnly},
                  std::pair{"ModelLoad", &ModelLoad}})
                benchmark::RegisterBenchmark((name + suffix).c_str(), function)
                    ->Unit(benchmark::kMicrosecond)
                    ->MinTime(0.3)
                    ->UseRealTime();
        }
        benchmark::Initialize(&argc, argv);
        CollectingReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        PrintLoadSummary(reporter.times);
        benchmark::Shutdown();
        g_drv.Close();
    }
    g_raw.Stop();

    MeasureNotificationLatency();
    return 0;
}
