// The devices page and both channels pages reloading through their real widgets with the
// driver at its largest (64 devices, 256 input and 256 output channels), as the view's
// full reload makes them do, beside the same requests through the model alone and beside
// bare SOCK_SEQPACKET round trips of the same sizes. Run in rounds (A B C A B C ...); the
// summary quotes medians of the per-round ratios, since absolute times drift here.
#include <benchmark/benchmark.h>
#include <sys/socket.h>

#include <QApplication>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "PeerProcesses.h"
#include "driver/Drv.h"
#include "fixtures/SimDriverProcess.h"
#include "panel/DlgPgChannels.h"
#include "panel/DlgPgDevices.h"
#include "panel/FrameAccess.h"
#include "panel/ListCtrlEx.h"
#include "platform/posix/DeviceSocketProtocol.h"

namespace {

namespace wire = platform::wire;

constexpr int kDevices = 64;
constexpr int kChannelsPerDevice = 4;  // 256 per direction in all
constexpr int kChannels = kDevices * kChannelsPerDevice;
constexpr int kRounds = 5;

struct Shape {
    std::uint32_t inSize;
    std::uint32_t outSize;
    int count;
};
// Devices page: the list and every device; each channels page: the lists, every channel
// of its direction and the device of every channel.
constexpr Shape kReloadMix[] = {
    {0, sizeof(_DEVICE_LIST), 1},
    {4, sizeof(_ZEL_USB_DEVICE_PROPERTIES), kDevices + 2 * kChannels},
    {0, sizeof(_CHANNEL_LISTS), 2},
    {4, sizeof(_ZEL_USB_CHANNEL_PROPERTIES), 2 * kChannels},
};

constexpr int RequestsPerReload() {
    int n = 0;
    for (const Shape& shape : kReloadMix) n += shape.count;
    return n;
}

// The main frame's part: takes the device count, has no view.
class NullFrame : public CFrameAccess {
public:
    CZEL_USB_CPLView* GetActiveView() const override { return nullptr; }
    void SetStatusText(const QString&) override {}
    void SetPaneText(int, const QString&) override {}
};

RawPeer g_raw;
std::unique_ptr<CDlgPgDevices> g_devices;
std::unique_ptr<CDlgPgChannels> g_inputs;
std::unique_ptr<CDlgPgChannels> g_outputs;

void RawMix(benchmark::State& state) {
    std::vector<char> request(sizeof(wire::RequestHeader) + 4, 0);
    std::vector<char> reply(sizeof(wire::ReplyHeader) + wire::kMaxPayload + 64);
    for (auto _ : state) {
        for (const Shape& shape : kReloadMix) {
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
    state.counters["requests"] = RequestsPerReload();
}

// The same requests through the model, without any widget.
void ModelOnly(benchmark::State& state) {
    for (auto _ : state) {
        bool failed = theDrv.LoadDevices() != 0;
        for (bool outputs : {false, true}) {
            CChannelArray& channels = outputs ? theDrv.m_OutputChannels : theDrv.m_InputChannels;
            failed |= theDrv.LoadChannels(channels, outputs) != 0;
            for (std::size_t i = 0; i < channels.GetSize(); ++i) {
                _ZEL_USB_DEVICE_PROPERTIES device;
                failed |= theDrv.GetDeviceProperties(channels.GetAt(i)->DeviceId, device) != 0;
            }
        }
        if (failed) {
            state.SkipWithError("a request failed");
            return;
        }
    }
    state.counters["requests"] = RequestsPerReload();
}

void PagesReload(benchmark::State& state) {
    for (auto _ : state) {
        g_devices->Reload();
        g_inputs->Reload();
        g_outputs->Reload();
    }
    if (g_devices->m_List->GetItemCount() != kDevices ||
        g_inputs->m_List->GetItemCount() != kChannels ||
        g_outputs->m_List->GetItemCount() != kChannels)
        state.SkipWithError("the pages are not at their largest");
    state.counters["requests"] = RequestsPerReload();
}

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
    std::vector<double> raw, model, pages, pagesToRaw, pagesToModel;
    for (int round = 0; round < kRounds; ++round) {
        const std::string suffix = "/round:" + std::to_string(round);
        const auto r = times.find("RawMix" + suffix);
        const auto m = times.find("ModelOnly" + suffix);
        const auto p = times.find("PagesReload" + suffix);
        if (r == times.end() || m == times.end() || p == times.end()) continue;
        raw.push_back(r->second);
        model.push_back(m->second);
        pages.push_back(p->second);
        pagesToRaw.push_back(p->second / r->second);
        pagesToModel.push_back(p->second / m->second);
    }
    if (raw.empty()) return;
    const int requests = RequestsPerReload();
    std::printf(
        "\ndevices page + input and output channels pages, %d devices, %d+%d channels: "
        "%d requests\n",
        kDevices, kChannels, kChannels, requests);
    std::printf("  raw round trips of the same sizes: %10.1f us (%.2f us each)\n", Median(raw),
                Median(raw) / requests);
    std::printf("  the same requests through the model: %10.1f us\n", Median(model));
    std::printf("  the three pages' Reload():          %10.1f us\n", Median(pages));
    std::printf("  ratio pages / raw (median of %zu rounds): %.2f\n", pagesToRaw.size(),
                Median(pagesToRaw));
    std::printf("  ratio pages / model: %.2f\n", Median(pagesToModel));
}

}  // namespace

int main(int argc, char** argv) {
    // The raw peer is forked before any thread exists.
    if (!g_raw.Start()) {
        std::fprintf(stderr, "cannot start the raw peer\n");
        return 1;
    }
    int status = 0;
    {
        zeltest::SimDriverProcess daemon;
        for (int i = 0; i < kDevices; ++i)
            daemon.RunOk({"plug", "--inputs", std::to_string(kChannelsPerDevice), "--outputs",
                          std::to_string(kChannelsPerDevice)});
        daemon.UseRunDirInThisProcess();
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        NullFrame frame;
        AfxSetMainWnd(&frame);
        if (const std::uint32_t open = theDrv.Open(ZIVU_DRIVER_NAME)) {
            std::fprintf(stderr, "cannot open the driver: 0x%08X\n", open);
            status = 1;
        } else {
            g_devices = std::make_unique<CDlgPgDevices>();
            g_inputs = std::make_unique<CDlgPgChannels>(false);
            g_outputs = std::make_unique<CDlgPgChannels>(true);
            for (CDialogPage* page : {static_cast<CDialogPage*>(g_devices.get()),
                                      static_cast<CDialogPage*>(g_inputs.get()),
                                      static_cast<CDialogPage*>(g_outputs.get())}) {
                page->CreatePage(nullptr);
                page->show();  // shown pages pay for their layout as on screen
            }
            for (int round = 0; round < kRounds; ++round) {
                const std::string suffix = "/round:" + std::to_string(round);
                for (auto [name, function] :
                     {std::pair{"RawMix", &RawMix}, std::pair{"ModelOnly", &ModelOnly},
                      std::pair{"PagesReload", &PagesReload}})
                    benchmark::RegisterBenchmark((name + suffix).c_str(), function)
                        ->Unit(benchmark::kMicrosecond)
                        ->MinTime(0.5)
                        ->UseRealTime();
            }
            benchmark::Initialize(&argc, argv);
            CollectingReporter reporter;
            benchmark::RunSpecifiedBenchmarks(&reporter);
            PrintSummary(reporter.times);
            benchmark::Shutdown();
            g_outputs.reset();
            g_inputs.reset();
            g_devices.reset();
            theDrv.Close();
        }
        AfxSetMainWnd(nullptr);
    }
    g_raw.Stop();
    return status;
}
