// Focus, calendar and weather: one Focus log line to the published change, choosing the next
// event among 2,000 in the window, and a busy calendar day in halvyn-sim.

#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>
#include <ostream>
#include <sstream>
#include <streambuf>
#include <string>

#include "app/context.h"
#include "calendar/calendar_manager.h"
#include "platform/sim/sim_platform.h"
#include "runtime/dates.h"
#include "runtime/virtual_time.h"
#include "settings/defaults.h"
#include "sim/runner.h"
#include "sources/focus_manager.h"

namespace {

using namespace halvyn;

struct World {
    World() {
        auto rt = std::make_unique<VirtualTime>(*parseIso8601("2026-03-02T09:00:00Z"));
        time = rt.get();
        auto pf = std::make_unique<SimPlatform>(*time);
        sim = pf.get();
        sim->simProcesses().reset({{311, "identityservicesd"}, {412, "donotdisturbd"}});
        ctx = std::make_unique<Context>(std::move(rt), std::move(pf), nullptr);
    }
    VirtualTime* time;
    SimPlatform* sim;
    std::unique_ptr<Context> ctx;
};

// Alternating modes, so that every line publishes a change and posts the notification.
void BM_FocusLineToPublishedChange(benchmark::State& state) {
    World w;
    FocusManager& focus = w.ctx->focus();
    w.time->runUntil(w.time->uptime());
    focus.startFollowing();
    w.time->runUntil(w.time->uptime());
    const char* lines[] = {
        "Delivering state update: modeIdentifier: com.apple.focus.work; name: Work; symbolImageName: "
        "person.lanyardcard.fill; tintColorName: systemMintColor; userVisible: YES; reason: user action",
        "Delivering state update: modeIdentifier: com.example.focus.study; name: Study; symbolImageName: "
        "graduationcap.fill; tintColorName: systemYellowColor; userVisible: YES; reason: schedule",
    };
    std::size_t i = 0;
    for (auto _ : state) {
        // The daemon's line, read by the simulated system's Focus adapter, to the published mode.
        w.sim->simLogStream().write("identityservicesd", "ServiceProvider", lines[i++ & 1]);
        w.time->runUntil(w.time->uptime());
        benchmark::DoNotOptimize(focus.focusMode.get());
    }
    if (!focus.focusMode.get()) state.SkipWithError("the lines never reached the Focus manager");
}
BENCHMARK(BM_FocusLineToPublishedChange);

void BM_FetchNextEventOf2000(benchmark::State& state) {
    World w;
    auto& store = w.sim->simCalendarStore();
    store.authorization = CalendarAuthorization::fullAccess;
    store.calendarList = {{"work", 1, 2, "#FF9500"}, {"home", 0, 0, "#34C759"}, {"ex", 2, 1, "#5856D6"}};
    const WallTime start = w.ctx->clock().now();
    for (int i = 0; i < 2000; ++i) {
        CalendarEvent e;
        e.id = "ev" + std::to_string(i);
        e.calendarId = i % 3 == 0 ? "ex" : (i % 3 == 1 ? "work" : "home");
        e.title = "Event " + std::to_string(i);
        // Spread over the 17-hour window, the earliest last.
        e.start = start + seconds(60.0 + (2000 - i) * 30.0);
        e.end = e.start + seconds(1800);
        e.notes = "Join https://us02web.zoom.us/j/" + std::to_string(1000000 + i);
        if (i % 7 == 0) e.attendees = {{true, 3}};
        store.eventList.push_back(std::move(e));
    }
    w.sim->simFiles().put(w.sim->simFiles().homeDirectory() + "/Library/Preferences/com.apple.iCal.plist",
                          "{ DisabledCalendars = { MainWindow = ( \"calendar://none\" ); }; }");
    w.ctx->defaults().set(keys::enableCalendar, true);
    CalendarManager& cal = w.ctx->calendar();
    for (auto _ : state) {
        cal.fetchNextEvent();
        w.time->runCurrent();  // the store answers on the next turn
        benchmark::DoNotOptimize(cal.nextEvent.get());
    }
}
BENCHMARK(BM_FetchNextEventOf2000)->Unit(benchmark::kMicrosecond);

class NullBuffer final : public std::streambuf {
protected:
    int overflow(int c) override { return c; }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

void BM_SimBusyCalendarDay(benchmark::State& state) {
    std::ifstream f(std::string(HALVYN_SCENARIO_DIR) + "/calendar_busy_day.json");
    std::stringstream text;
    text << f.rdbuf();
    NullBuffer nb;
    std::ostream out(&nb);
    std::ostringstream err;
    for (auto _ : state)
        if (runScenario(text.str(), out, err) != 0) state.SkipWithError("scenario refused");
}
BENCHMARK(BM_SimBusyCalendarDay)->Unit(benchmark::kMillisecond);

}  // namespace
