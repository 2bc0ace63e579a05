// One animating frame of the notch window as the desktop program paints it: the scene stepped,
// the outline with its shadow and the display's content painted into the window's backing
// store, and the window's shape brought up to date. Runs on the offscreen platform; the X
// server's share is not in these numbers. Goal: under 0.2 ms of processor time a frame.

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QThreadPool>

#include <benchmark/benchmark.h>

#include <memory>
#include <optional>

#include "app/context.h"
#include "notch/notch.h"
#include "notch/notch_sources.h"
#include "platform/sim/sim_platform.h"
#include "runtime/virtual_time.h"
#include "shell/notch_window.h"

namespace halvyn {
namespace {

struct Allow : NotificationSource {
    bool allowsNotification(Notch::Notification) const override { return true; }
};

struct Levels : DisplayLevels {
    std::optional<float> volume() const override { return 0.5f; }
    std::optional<float> brightness() const override { return 0.5f; }
    std::optional<double> batteryLevel() const override { return 0.8; }
};

struct Desk {
    Desk() {
        auto vt = std::make_unique<VirtualTime>();
        time = vt.get();
        ctx = std::make_unique<Context>(std::move(vt), std::make_unique<SimPlatform>(*time), nullptr);
        reg = ctx->notchSources().addNotificationSource(Notch::Notification::didChangeVolume, allow);
        ctx->notch().enable();
        time->advance(seconds(1));
        window = std::make_unique<NotchWindow>(*ctx, &levels);
        window->show();
    }
    VirtualTime* time = nullptr;
    Allow allow;
    Levels levels;
    std::unique_ptr<Context> ctx;
    Subscription reg;
    std::unique_ptr<NotchWindow> window;
    // The window's backing store on a desktop that draws at one pixel per point.
    QImage surface{576, 320, QImage::Format_ARGB32_Premultiplied};
};

// Frames at 60 a second through repeated hover cycles (lift and shadow in, out again), or
// through a volume display that opens and closes.
void frames(benchmark::State& state, bool hover) {
    Desk d;
    Notch& n = d.ctx->notch();
    const double frame = 1.0 / 60;
    double t = 1, nextToggle = 1;
    bool on = false;
    for (auto _ : state) {
        t += frame;
        if (t >= nextToggle) {
            on = !on;
            nextToggle = t + 0.6;
            if (hover) n.isElevated.set(on, Animation::spring(0.35, on ? 0.45 : 0.05));
            else if (on) n.setNotification(true, Notch::Notification::didChangeVolume, 0.35, 0.3);
        }
        d.time->runUntil(seconds(t));
        QPainter p(&d.surface);
        d.window->paintFrame(p);
    }
    state.counters["frames"] = static_cast<double>(d.window->framesPainted());
    state.counters["shapeUpdates"] = static_cast<double>(d.window->shapeUpdates());
    state.counters["poolThreads"] = QThreadPool::globalInstance()->activeThreadCount();
}

void BM_HoverCycleFrame(benchmark::State& state) { frames(state, true); }
void BM_VolumeDisplayFrame(benchmark::State& state) { frames(state, false); }
BENCHMARK(BM_HoverCycleFrame)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();
BENCHMARK(BM_VolumeDisplayFrame)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

}  // namespace
}  // namespace halvyn

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
