#include "shell/sim_view.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <chrono>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <ostream>

#include "app/context.h"
#include "runtime/virtual_time.h"
#include "shell/context_levels.h"
#include "shell/lock_screen_view.h"
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
        lockScreen_ = std::make_unique<LockScreenView>(world.ctx, levels_.get());
    }
    void beforeEvent(SimWorld&, Uptime t) override {
        write(t, Kind::event);
        // From here on, the first moment the notch has moved and stopped again gets a frame too.
        awaitingRest_ = true;
        movedSinceEvent_ = false;
    }
    void finished(SimWorld& world) override {
        write(world.time.uptime(), Kind::end);
        lockScreen_.reset();
        scene_.reset();
        levels_.reset();
    }
    // Steps a frame's time at a time while a rest is awaited; the tasks run are the same, in the
    // same order, as in one step.
    void advance(VirtualTime& time, Uptime t, bool inclusive) override {
        constexpr Duration frame = std::chrono::microseconds(16667);
        while (awaitingRest_ && scene_ && time.uptime() + frame < t) {
            time.runUntil(time.uptime() + frame);
            const double now = toSeconds(time.uptime());
            if (scene_->step(now)) {
                movedSinceEvent_ = true;
            } else if (movedSinceEvent_) {
                awaitingRest_ = false;
                write(time.uptime(), Kind::rest);
            }
        }
        RunPlayback::advance(time, t, inclusive);
    }
    bool failed() const { return failed_; }
    int count() const { return count_; }

private:
    enum class Kind { event, rest, end };
    void write(Uptime t, Kind kind) {
        if (!scene_ || failed_) return;
        const QImage img = scene_->render(toSeconds(t), 2);
        char name[64];
        // "007-3.000.png" at event 7, "007r-3.512.png" where it came to rest: sorts right after.
        if (kind == Kind::end) std::snprintf(name, sizeof name, "end-%.3f.png", toSeconds(t));
        else if (kind == Kind::rest) std::snprintf(name, sizeof name, "%03dr-%.3f.png", events_ - 1, toSeconds(t));
        else std::snprintf(name, sizeof name, "%03d-%.3f.png", events_++, toSeconds(t));
        save(img, dir_ / name);
        // While the lock-screen panel is open, its frame goes beside the notch's: "007-3.000-lock.png".
        if (lockScreen_ && lockScreen_->showsPanel() && !failed_) {
            std::string lockName = name;
            lockName.replace(lockName.size() - 4, 4, "-lock.png");
            save(lockScreen_->render(toSeconds(t), 1), dir_ / lockName);
        }
    }
    void save(const QImage& img, const std::filesystem::path& path) {
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
    std::unique_ptr<LockScreenView> lockScreen_;
    int count_ = 0;
    int events_ = 0;
    bool awaitingRest_ = false;
    bool movedSinceEvent_ = false;
    bool failed_ = false;
};

class WindowPlayback final : public RunPlayback {
public:
    WindowPlayback() {
        wake_.setSingleShot(true);
        wake_.setTimerType(Qt::PreciseTimer);
    }
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

    // Virtual time follows the wall clock; the window paints as it goes. Between the due tasks
    // the program sleeps in the event loop: a timer for the next task (or the event) wakes it,
    // and so do the window's frames and input.
    void advance(VirtualTime& time, Uptime t, bool inclusive) override {
        for (;;) {
            Uptime wallNow = origin_ + std::chrono::milliseconds(wall_.elapsed());
            if (wallNow >= t) break;
            if (wallNow > time.uptime()) time.runUntil(wallNow);
            QCoreApplication::processEvents();
            if (!window_->isVisible()) break;  // closed by the user: finish at once
            wallNow = origin_ + std::chrono::milliseconds(wall_.elapsed());
            Uptime wake = t;
            if (const Uptime next = time.nextDue(); next >= Uptime(0) && next < wake) wake = next;
            if (wake <= wallNow) continue;
            const auto ms = std::chrono::ceil<std::chrono::milliseconds>(wake - wallNow).count();
            wake_.start(static_cast<int>(std::min<long long>(ms, 60'000)));
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        wake_.stop();
        RunPlayback::advance(time, t, inclusive);
        QCoreApplication::processEvents();
    }

    void finished(SimWorld&) override {
        // Let the last animations settle on screen before the window goes.
        if (window_->isVisible()) {
            QEventLoop settle;
            QTimer::singleShot(1000, &settle, &QEventLoop::quit);
            settle.exec();
        }
        window_.reset();
    }

private:
    std::unique_ptr<ContextLevels> levels_;
    std::unique_ptr<NotchWindow> window_;
    QElapsedTimer wall_;
    QTimer wake_;
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
