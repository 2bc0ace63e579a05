// One animating frame of the notch window as the desktop program paints it: the scene stepped,
// the part of the window that changed painted into the window's backing store, and the window's
// shape brought up to date; a turn of the frame clock that would change no pixel paints nothing.
// Runs on the offscreen platform; the X server's share is not in these numbers (it grows with
// the damaged area, reported as `damagedShare` of the window). Goal: under 0.2 ms of processor
// time a frame.

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QThreadPool>

#include <benchmark/benchmark.h>

#include <memory>
#include <optional>
#include <string>

#include "app/context.h"
#include "notch/notch.h"
#include "notch/notch_sources.h"
#include "platform/sim/sim_platform.h"
#include "runtime/owned_access.h"
#include "runtime/virtual_time.h"
#include "settings/defaults.h"
#include "settings/keys.h"
#include "shell/notch_window.h"
#include "shell/now_playing_view.h"

namespace halvyn {
namespace {

struct Allow : NotificationSource, LiveActivitySource {
    bool allowsNotification(Notch::Notification) const override { return true; }
    bool wantsLiveActivity() const override { return true; }
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
        auto platform = std::make_unique<SimPlatform>(*time);
        sim = platform.get();
        ctx = std::make_unique<Context>(std::move(vt), std::move(platform), nullptr);
        ctx->defaults().set(keys::isFirstLaunch, false);
        reg = ctx->notchSources().addNotificationSource(Notch::Notification::didChangeVolume, allow);
        playing = ctx->notchSources().addLiveActivitySource(Notch::LiveActivity::isPlaying, allow);
        ctx->notch().enable();
        time->advance(seconds(1));
        window = std::make_unique<NotchWindow>(*ctx, &levels);
        window->show();
    }
    VirtualTime* time = nullptr;
    SimPlatform* sim = nullptr;
    Allow allow;
    Levels levels;
    std::unique_ptr<Context> ctx;
    Subscription reg, playing;
    std::unique_ptr<NotchWindow> window;
    // The window's backing store on a desktop that draws at one pixel per point.
    QImage surface{576, 320, QImage::Format_ARGB32_Premultiplied};
    double damaged = 0;  // pixels repainted, over all frames
};

double area(const QRegion& r) {
    double a = 0;
    for (const QRect& rect : r) a += static_cast<double>(rect.width()) * rect.height();
    return a;
}

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
            if (hover) setAsOwner(n.isElevated, on, Animation::spring(0.35, on ? 0.45 : 0.05));
            else if (on) n.setNotification(true, Notch::Notification::didChangeVolume, 0.35, 0.3);
        }
        d.time->runUntil(seconds(t));
        QPainter p(&d.surface);
        d.window->paintFrame(p);
        d.damaged += area(d.window->lastDamage());
    }
    state.counters["frames"] = static_cast<double>(d.window->framesPainted());
    state.counters["damagedShare"] = d.damaged / (576.0 * 320 * static_cast<double>(state.iterations()));
    state.counters["shapeUpdates"] = static_cast<double>(d.window->shapeUpdates());
    state.counters["poolThreads"] = QThreadPool::globalInstance()->activeThreadCount();
}

// Only the frames of a volume display that paint something, each with its upload: the damaged
// rectangles copied out of the backing store, as the window system takes them.
void BM_DamagedRegionFrame(benchmark::State& state) {
    Desk d;
    Notch& n = d.ctx->notch();
    QImage server(576, 320, QImage::Format_ARGB32_Premultiplied);
    double t = 1, nextToggle = 1;
    long painted = 0;
    for (auto _ : state) {
        do {
            t += 1.0 / 60;
            if (t >= nextToggle) {
                nextToggle = t + 2.5;
                n.setNotification(true, Notch::Notification::didChangeVolume, 0.35, 1.0);
            }
            d.time->runUntil(seconds(t));
            QPainter p(&d.surface);
            d.window->paintFrame(p);
        } while (d.window->lastDamage().isEmpty());
        QPainter up(&server);
        up.setCompositionMode(QPainter::CompositionMode_Source);
        for (const QRect& r : d.window->lastDamage()) up.drawImage(r.topLeft(), d.surface, r);
        d.damaged += area(d.window->lastDamage());
        ++painted;
    }
    state.counters["damagedShare"] = d.damaged / (576.0 * 320 * static_cast<double>(painted));
}

// One frame of the visualizer while media plays and nothing else moves: the bars stepped at
// their own rate and only their rectangle painted.
void BM_VisualizerTick(benchmark::State& state) {
    Desk d;
    auto& h = d.sim->simHelper();
    h.isPlaying = true;
    h.info = {{"kMRMediaRemoteNowPlayingInfoTitle", std::string("Title")},
              {"kMRMediaRemoteNowPlayingInfoPlaybackRate", 1.0}};
    h.callback("nowPlayingDidChange", false, false, "");
    double t = 1;
    auto step = [&] {
        t += NowPlayingView::kFrameInterval;
        d.time->runUntil(seconds(t));
        QPainter p(&d.surface);
        d.window->paintFrame(p);
    };
    for (int i = 0; i < 24 * 3; ++i) step();  // the activity has opened
    for (auto _ : state) {
        step();
        d.damaged += area(d.window->lastDamage());
    }
    state.counters["damagedShare"] = d.damaged / (576.0 * 320 * static_cast<double>(state.iterations()));
}

void BM_HoverCycleFrame(benchmark::State& state) { frames(state, true); }
void BM_VolumeDisplayFrame(benchmark::State& state) { frames(state, false); }
BENCHMARK(BM_HoverCycleFrame)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();
BENCHMARK(BM_VolumeDisplayFrame)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();
BENCHMARK(BM_DamagedRegionFrame)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();
BENCHMARK(BM_VisualizerTick)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

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
