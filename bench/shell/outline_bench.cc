// One frame of an animating notch outline: the springs stepped to the frame's time and the
// outline painted into a cleared window-sized surface, as the notch window does 60 times a second.

#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include "shell/outline_painter.h"

namespace halvyn {
namespace {

DrawnOutline compact(bool lifted) {
    DrawnOutline m{185, 24, 5, lifted ? 11.0 : 10.0, 0, 0, 0, 0};
    if (lifted) {
        m.shadowOpacity = 0.5;
        m.shadowRadius = 16;
        m.shadowY = 2;
    }
    return m;
}

DrawnOutline expanded(bool lifted) {
    DrawnOutline m{345, 174, 17, lifted ? 35.0 : 34.0, 0, 0, 0, 0};
    if (lifted) {
        m.shadowOpacity = 0.6;
        m.shadowRadius = 20;
        m.shadowY = 6;
    }
    return m;
}

void retarget(AnimatedOutline& o, const DrawnOutline& m, const Animation& anim, double t) {
    using M = AnimatedOutline::Metric;
    o.setTarget(M::width, m.width, &anim, t);
    o.setTarget(M::height, m.height, &anim, t);
    o.setTarget(M::topRadius, m.topRadius, &anim, t);
    o.setTarget(M::bottomRadius, m.bottomRadius, &anim, t);
    o.setTarget(M::shadowOpacity, m.shadowOpacity, &anim, t);
    o.setTarget(M::shadowRadius, m.shadowRadius, &anim, t);
    o.setTarget(M::shadowY, m.shadowY, &anim, t);
}

void animatingFrame(benchmark::State& state, bool lifted) {
    QImage surface(576, 320, QImage::Format_ARGB32_Premultiplied);
    AnimatedOutline outline;
    const Animation expand = Animation::spring(0.45, 0.4);
    double t = 0;
    bool open = false;
    outline.jumpTo(compact(lifted));
    for (auto _ : state) {
        t += 1.0 / 60;
        if (!outline.step(t)) {
            open = !open;
            retarget(outline, open ? expanded(lifted) : compact(lifted), expand, t);
            outline.step(t + 1.0 / 120);
        }
        surface.fill(Qt::transparent);
        QPainter p(&surface);
        paintOutline(p, outline.current(), 576, 320);
        p.end();
        benchmark::DoNotOptimize(surface.constBits());
    }
}

void BM_AnimatingOutlineFrame(benchmark::State& state) { animatingFrame(state, false); }
void BM_AnimatingOutlineFrameWithShadow(benchmark::State& state) { animatingFrame(state, true); }
BENCHMARK(BM_AnimatingOutlineFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AnimatingOutlineFrameWithShadow)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace halvyn
