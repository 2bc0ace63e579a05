#include "shell/sim_view.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <ostream>

#include "app/context.h"
#include "runtime/virtual_time.h"
#include "shell/context_levels.h"
#include "shell/notch_scene.h"
#include "shell/notch_window.h"
#include "sim/registry.h"
#include "sim/runner.h"

namespace halvyn {

namespace {

// A toolkit application for the length of one run, made only when none exists yet.
class AppScope {
public:
    explicit AppScope(bool headless) {
        if (QCoreApplication::instance()) return;
        if (headless) qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = std::make_unique<QApplication>(argc_, argv_);
    }

private:
    int argc_ = 1;
    char name_[12] = "halvyn-sim";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

class FramesPlayback final : public RunPlayback {
public:
    FramesPlayback(std::filesystem::path dir, std::ostream& err) : dir_(std::move(dir)), err_(err) {}

    void started(SimWorld& world) override {
        levels_ = std::make_unique<ContextLevels>(world.ctx);
        scene_ = std::make_unique<NotchScene>(world.ctx, levels_.get());
    }
    void beforeEvent(SimWorld&, Uptime t) override { write(t, false); }
    void finished(SimWorld& world) override {
        write(world.time.uptime(), true);
        scene_.reset();
        levels_.reset();
    }
    bool failed() const { return failed_; }
    int count() const { return count_; }

private:
    void write(Uptime t, bool end) {
        if (!scene_ || failed_) return;
        const QImage img = scene_->render(toSeconds(t), 2);
        char name[64];
        if (end) std::snprintf(name, sizeof name, "end-%.3f.png", toSeconds(t));
        else std::snprintf(name, sizeof name, "%03d-%.3f.png", count_, toSeconds(t));
        const auto path = dir_ / name;
        if (!img.save(QString::fromStdString(path.string()), "PNG")) {
            err_ << "halvyn-sim: cannot write " << path.string() << '\n';
            failed_ = true;
            return;
        }
        ++count_;
    }

    std::filesystem::path dir_;
    std::ostream& err_;
    std::unique_ptr<ContextLevels> levels_;
    std::unique_ptr<NotchScene> scene_;
    int count_ = 0;
    bool failed_ = false;
};

class WindowPlayback final : public RunPlayback {
public:
    void started(SimWorld& world) override {
        levels_ = std::make_unique<ContextLevels>(world.ctx);
        window_ = std::make_unique<NotchWindow>(world.ctx, levels_.get());
        if (const QScreen* s = QGuiApplication::primaryScreen()) {
            const QRect g = s->geometry();
            window_->move(g.x() + (g.width() - window_->width()) / 2, g.y());
        }
        window_->show();
        wall_.start();
        origin_ = world.time.uptime();
    }

    // Virtual time follows the wall clock; the window paints as it goes.
    void advance(VirtualTime& time, Uptime t, bool inclusive) override {
        for (;;) {
            const Uptime wallNow = origin_ + std::chrono::milliseconds(wall_.elapsed());
            if (wallNow >= t) break;
            if (wallNow > time.uptime()) time.runUntil(wallNow);
            QCoreApplication::processEvents(QEventLoop::AllEvents, 8);
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 8);
            if (!window_->isVisible()) break;  // closed by the user: finish at once
        }
        RunPlayback::advance(time, t, inclusive);
        QCoreApplication::processEvents();
    }

    void finished(SimWorld&) override {
        // Let the last animations settle on screen before the window goes.
        QElapsedTimer settle;
        settle.start();
        while (window_->isVisible() && settle.elapsed() < 1000) QCoreApplication::processEvents(QEventLoop::AllEvents, 16);
        window_.reset();
    }

private:
    std::unique_ptr<ContextLevels> levels_;
    std::unique_ptr<NotchWindow> window_;
    QElapsedTimer wall_;
    Uptime origin_{0};
};

}  // namespace

int runScenarioToFrames(const std::string& dir, std::string_view text, std::ostream& out, std::ostream& err) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        err << "halvyn-sim: cannot create " << dir << ": " << ec.message() << '\n';
        return 2;
    }
    AppScope app(true);
    FramesPlayback frames(dir, err);
    const int status = runScenario(text, out, err, SimRegistry::standard(), &frames);
    if (status != 0) return status;
    if (frames.failed()) return 1;
    err << "halvyn-sim: " << frames.count() << " frames in " << dir << '\n';
    return 0;
}

int runScenarioInWindow(std::string_view text, std::ostream& out, std::ostream& err) {
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
        err << "halvyn-sim: --window needs a display (DISPLAY or WAYLAND_DISPLAY)\n";
        return 2;
    }
    AppScope app(false);
    WindowPlayback window;
    return runScenario(text, out, err, SimRegistry::standard(), &window);
}

}  // namespace halvyn
