// One Reload of the buffer settings page and of the synchronisation page against the
// substitute driver at the largest records (64 devices of 16 clock sources, 8 rates),
// and one statistics tick of the buffer page. Counts the requests each makes.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTimerEvent>
#include <QWidget>
#include <memory>

#include "driver/Drv.h"
#include "fixtures/SimDriverInProcess.h"
#include "panel/DlgPgASIOSettings.h"
#include "panel/DlgPgSync.h"

namespace {

struct Setup {
    Setup() {
        for (std::size_t i = 0; i < simdriver::kMaxDevices; ++i) {
            zeltest::PlugOptions options;
            options.inputs = 4;  // 64 devices x 4 channels fill both channel lists
            options.outputs = 4;
            options.sources = 16;
            sim.Plug(options);
        }
        sim.Mutate([](simdriver::SimState& s) {
            s.rates = {32000, 44100, 48000, 64000, 88200, 96000, 176400, 192000};
        });
        if (theDrv.Open(ZIVU_DRIVER_NAME) != 0) throw std::runtime_error("no driver");
        sync.CreatePage(&host);
        settings.CreatePage(&host);
        host.show();
        settings.show();  // the statistics timer runs while the page is shown
    }
    ~Setup() { theDrv.Close(); }

    zeltest::SimDriverInProcess sim;
    QWidget host;
    DlgPgSync sync;
    CDlgPgASIOSettings settings;
};

// Made on first use and gone before the application object.
std::unique_ptr<Setup> g_setup;

Setup& TheSetup() {
    if (!g_setup) g_setup = std::make_unique<Setup>();
    return *g_setup;
}

template <typename Action>
void MeasureRequests(benchmark::State& state, Action action) {
    Setup& s = TheSetup();
    s.sim.ClearLog();
    action(s);
    state.counters["requests"] = static_cast<double>(s.sim.Log().size());
    for (auto _ : state) action(s);
}

void BM_SyncPageReload(benchmark::State& state) {
    MeasureRequests(state, [](Setup& s) { s.sync.Reload(); });
}
BENCHMARK(BM_SyncPageReload)->Unit(benchmark::kMicrosecond);

void BM_BufferPageReload(benchmark::State& state) {
    MeasureRequests(state, [](Setup& s) { s.settings.Reload(); });
}
BENCHMARK(BM_BufferPageReload)->Unit(benchmark::kMicrosecond);

void BM_BufferPageStatisticsTick(benchmark::State& state) {
    MeasureRequests(state, [](Setup& s) {
        QTimerEvent tick(s.settings.StatisticsTimerId());
        QCoreApplication::sendEvent(&s.settings, &tick);
    });
}
BENCHMARK(BM_BufferPageStatisticsTick)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_setup.reset();
    return 0;
}
