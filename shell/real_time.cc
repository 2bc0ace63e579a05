#include "shell/real_time.h"

#include "runtime/timed_task.h"

#include <QMetaObject>
#include <QObject>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace halvyn {

namespace {

// A turn runs at most this many tasks before giving the event loop back for input and painting.
constexpr int kTasksPerTurn = 64;
// A background thread with nothing to do ends after this long.
constexpr int kIdleThreadMs = 2000;

}  // namespace

struct RealTime::Impl {
    class Background final : public BackgroundQueue {
    public:
        explicit Background(QThreadPool& pool) : pool_(pool) {}
        void post(Task task) override {
            pool_.start([task = std::move(task)] { task(); });
        }

    private:
        QThreadPool& pool_;
    };

    explicit Impl(RealTime& owner, int threads) : owner(owner), background(pool) {
        if (threads > 0) pool.setMaxThreadCount(threads);
        // Background work comes in bursts (start-up, a calendar read, an artwork); between them
        // no thread waits around for half a minute.
        pool.setExpiryTimeout(kIdleThreadMs);
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, &pump, [this] { runDue(); });
    }

    bool onMainThread() const { return std::this_thread::get_id() == mainThread; }

    // Returns whether the new entry is now the earliest one.
    bool push(Uptime due, Task task, std::shared_ptr<TaskState> state) {
        std::lock_guard lock(mutex);
        if (closing) return false;
        heap.push_back(TimedTask{due, seq++, std::move(task), std::move(state)});
        std::push_heap(heap.begin(), heap.end(), RunsLater{});
        return heap.front().seq == seq - 1;
    }

    void wake() {
        if (onMainThread()) {
            rearm();
        } else {
            QMetaObject::invokeMethod(&pump, [this] { rearm(); }, Qt::QueuedConnection);
        }
    }

    // Main thread only.
    void rearm() {
        Uptime due;
        {
            std::lock_guard lock(mutex);
            while (!heap.empty() && heap.front().state && heap.front().state->cancelled) {
                std::pop_heap(heap.begin(), heap.end(), RunsLater{});
                heap.pop_back();
            }
            if (heap.empty()) {
                timer.stop();
                return;
            }
            due = heap.front().due;
        }
        const auto wait = due - owner.uptime();
        // Rounded up: the timer counts whole milliseconds and must not fire before the task is due.
        const auto ms = std::max<std::int64_t>(0, (wait.count() + 999) / 1000);
        timer.start(static_cast<int>(std::min<std::int64_t>(ms, 24LL * 3600 * 1000)));
    }

    // Main thread only. Runs the tasks that were due and posted when the turn began; a task
    // posted meanwhile waits for a later turn, even when it is due at once.
    void runDue() {
        const Uptime now = owner.uptime();
        std::uint64_t limit;
        {
            std::lock_guard lock(mutex);
            limit = seq;
        }
        for (int n = 0; n < kTasksPerTurn; ++n) {
            TimedTask e;
            {
                std::lock_guard lock(mutex);
                if (heap.empty() || heap.front().due > now || heap.front().seq >= limit) break;
                std::pop_heap(heap.begin(), heap.end(), RunsLater{});
                e = std::move(heap.back());
                heap.pop_back();
            }
            if (e.state) {
                if (e.state->cancelled) continue;
                e.state->finished = true;
            }
            e.task();
        }
        rearm();
    }

    RealTime& owner;
    const std::chrono::steady_clock::time_point origin = std::chrono::steady_clock::now();
    const std::thread::id mainThread = std::this_thread::get_id();
    mutable std::mutex mutex;
    std::vector<TimedTask> heap;
    std::uint64_t seq = 0;
    bool closing = false;
    QObject pump;
    QTimer timer;
    QThreadPool pool;
    Background background;
};

RealTime::RealTime(int backgroundThreads) : impl_(std::make_unique<Impl>(*this, backgroundThreads)) {}

RealTime::~RealTime() {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->closing = true;
    }
    impl_->timer.stop();
    // Background work may still hand results back; they are dropped once closing is set.
    impl_->pool.waitForDone();
    std::lock_guard lock(impl_->mutex);
    impl_->heap.clear();
}

WallTime RealTime::now() const {
    return std::chrono::time_point_cast<std::chrono::microseconds>(std::chrono::system_clock::now());
}

Uptime RealTime::uptime() const {
    return std::chrono::duration_cast<Uptime>(std::chrono::steady_clock::now() - impl_->origin);
}

void RealTime::post(Task task) {
    if (impl_->push(uptime(), std::move(task), nullptr)) impl_->wake();
}

TaskHandle RealTime::postAfter(Duration delay, Task task) {
    auto state = std::make_shared<TaskState>();
    if (impl_->push(uptime() + std::max(delay, Duration::zero()), std::move(task), state)) impl_->wake();
    return TaskHandle(std::move(state));
}

BackgroundQueue& RealTime::background() { return impl_->background; }

std::size_t RealTime::pendingCount() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->heap.size();
}

bool RealTime::timerArmed() const { return impl_->timer.isActive(); }

}  // namespace halvyn
