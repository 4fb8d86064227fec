// The devices page and both channels pages reloading through their real widgets with the
// driver at its largest (64 devices, 256 input and 256 output channels), as the view's
// full reload makes them do, beside the same requests through the model alone and beside
// bare SOCK_SEQPACKET round trips of the same sizes. Run in rounds (A B C A B C ...); the
// summary quotes medians of the per-round ratios, since absolute times drift here.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "driver/Drv.h"
#include "fixtures/SimDriverProcess.h"
#include "panel/DlgPgChannels.h"
#include "panel/DlgPgDevices.h"
#include "panel/FrameAccess.h"
#include "panel/ListCtrlEx.h"

namespace {

using bench::kChannels;
using bench::kDevices;

constexpr int kRounds = 5;

// Devices page: the list and every device; each channels page: the lists, every channel
// of its direction and the device of every channel.
constexpr bench::RoundTrip kReloadMix[] = {
    {0, sizeof(_DEVICE_LIST), 1},
    {4, sizeof(_ZEL_USB_DEVICE_PROPERTIES), kDevices + 2 * kChannels},
    {0, sizeof(_CHANNEL_LISTS), 2},
    {4, sizeof(_ZEL_USB_CHANNEL_PROPERTIES), 2 * kChannels},
};
constexpr int kRequestsPerReload = bench::CountRequests(kReloadMix);

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
    bench::RawRoundTrips(state, g_raw, kReloadMix);
    state.counters["requests"] = kRequestsPerReload;
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
    state.counters["requests"] = kRequestsPerReload;
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
    state.counters["requests"] = kRequestsPerReload;
}

void PrintSummary(const std::map<std::string, double>& times) {
    enum { kRaw, kModel, kPages };
    const bench::RoundTimes rounds(times, {"RawMix", "ModelOnly", "PagesReload"}, kRounds);
    if (rounds.Empty()) return;
    const int requests = kRequestsPerReload;
    std::printf(
        "\ndevices page + input and output channels pages, %d devices, %d+%d channels: "
        "%d requests\n",
        kDevices, kChannels, kChannels, requests);
    std::printf("  raw round trips of the same sizes: %10.1f us (%.2f us each)\n",
                rounds.Median(kRaw), rounds.Median(kRaw) / requests);
    std::printf("  the same requests through the model: %10.1f us\n", rounds.Median(kModel));
    std::printf("  the three pages' Reload():          %10.1f us\n", rounds.Median(kPages));
    std::printf("  ratio pages / raw (median of %zu rounds): %.2f\n", rounds.Count(),
                rounds.MedianRatio(kPages, kRaw));
    std::printf("  ratio pages / model: %.2f\n", rounds.MedianRatio(kPages, kModel));
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
        bench::PlugLargest(daemon);
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
            bench::RegisterRounds(
                {{"RawMix", RawMix}, {"ModelOnly", ModelOnly}, {"PagesReload", PagesReload}},
                kRounds, 0.5);
            PrintSummary(bench::RunAndCollect(&argc, argv));
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
