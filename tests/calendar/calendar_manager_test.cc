#include "calendar/calendar_manager.h"

#include "app/context_fixture.h"
#include "lockscreen/lock_manager.h"
#include "notch/notch_sources.h"
#include "platform/locale.h"
#include "weather/weather_manager.h"

namespace halvyn::context_testing {
namespace {

using std::chrono::minutes;
using std::chrono::seconds;

TEST(CalendarClock, TicksLandOnWholeUnits) {
    auto tick = [](double remaining) { return toSeconds(calendar::tickDelay(halvyn::seconds(remaining))); };
    EXPECT_EQ(tick(1000), 40);
    EXPECT_EQ(tick(960), 60);
    EXPECT_EQ(tick(300.5), 0.5);
    EXPECT_EQ(tick(300), 10);
    EXPECT_EQ(tick(250), 10);
    EXPECT_EQ(tick(255.25), 5.25);
    EXPECT_EQ(tick(60.5), 0.5);
    EXPECT_EQ(tick(60), 1);
    EXPECT_EQ(tick(0.25), 0.25);
}

// A zone that leaves daylight saving at 2026-10-25T01:00Z (+02:00 → +01:00). A half-hour zone's
// chimes and midnights are in the hourly chime scenario's trace.
struct ZoneLocale final : Locale {
    std::optional<std::string> region() const override { return "DE"; }
    MeasurementSystem measurementSystem() const override { return MeasurementSystem::metric; }
    int utcOffsetSeconds(WallTime t) const override {
        return t < *parseIso8601("2026-10-25T01:00:00Z") ? 7200 : 3600;
    }
};

TEST(CalendarClock, ChimesAndMidnightsInLocalTime) {
    const ZoneLocale zone;
    // Through the change: every UTC hour is one local full hour, none skipped, none twice.
    WallTime t = *parseIso8601("2026-10-24T23:10:00Z");
    std::vector<std::string> chimes;
    for (int i = 0; i < 4; ++i) {
        t = calendar::nextFullHour(t, &zone);
        chimes.push_back(formatIso8601(t));
    }
    EXPECT_EQ(chimes, (std::vector<std::string>{"2026-10-25T00:00:00Z", "2026-10-25T01:00:00Z", "2026-10-25T02:00:00Z",
                                                "2026-10-25T03:00:00Z"}));
    EXPECT_EQ(formatIso8601(calendar::nextMidnight(*parseIso8601("2026-10-24T21:59:59Z"), &zone)), "2026-10-24T22:00:00Z");
    EXPECT_EQ(formatIso8601(calendar::nextMidnight(*parseIso8601("2026-10-24T22:00:00Z"), &zone)), "2026-10-25T23:00:00Z")
        << "the next day is 25 hours long";
}

class CalendarTest : public ContextTest {
protected:
    CalendarTest() {
        auto& store = sim->simCalendarStore();
        store.authorization = CalendarAuthorization::fullAccess;
        store.calendarList = {{"home", 0, 0, "#34C759"}, {"work", 1, 2, "#FF9500"}, {"ex", 2, 1, "#5856D6"},
                              {"subs", 3, 4, "#AAAAAA"}, {"bday", 4, 5, "#FF2D55"}};
        // Stored before start-up: the first refresh comes 2.5 s after it.
        sim->simPreferences().userSet(keys::enableCalendar.name, Value(true));
        startNotch();
    }
    // An event `in` minutes from the start of the test, lasting `length` minutes.
    CalendarEvent& add(const std::string& id, double in, double length, const std::string& cal = "work") {
        CalendarEvent e;
        e.id = id;
        e.calendarId = cal;
        e.title = id;
        e.start = start_ + halvyn::seconds(in * 60);
        e.end = e.start + halvyn::seconds(length * 60);
        sim->simCalendarStore().eventList.push_back(e);
        return sim->simCalendarStore().eventList.back();
    }
    CalendarManager& cal() { return ctx->calendar(); }
    std::string next() {
        cal();
        time->runUntil(time->uptime());
        const auto& e = cal().nextEvent.get();
        return e ? e->id : "none";
    }
    void storeChanged() {
        sim->simCalendarStore().postChange();
        time->runUntil(time->uptime());
    }
    // Time to leave notifies, from a place the program may know, with `travel` seconds of travel.
    void allowTimeToLeave(std::optional<double> travel) {
        defaults().set(keys::notifyWhenTimeToLeave, true);
        sim->simLocation().authorization = LocationAuthorization::authorizedAlways;
        sim->simLocation().postAuthorizationChange();
        sim->simTravelTime().seconds = travel;
    }
    void writePrefs(const std::string& text) {
        sim->simFiles().put(sim->simFiles().homeDirectory() + "/Library/Preferences/com.apple.iCal.plist", text);
    }
    WallTime start_ = *parseIso8601("2026-03-02T09:00:00Z");
};

TEST_F(CalendarTest, TheNextEventPassesTheFiltersAndTheEarliestWins) {
    add("declined", 5, 30).attendees = {{false, 3}, {true, 3}};
    add("allday", 6, 60).isAllDay = true;
    add("birthday", 7, 30, "bday");
    add("exchange", 8, 30, "ex");
    add("subscribed", 9, 30, "subs");
    add("late", 17 * 60 + 1, 30);
    add("backwards", 10, -20);  // ends before it starts (and before now)
    add("second", 20, 30).attendees = {{true, 2}, {false, 3}};
    add("first", 20, 30, "home");
    at(2.5);
    EXPECT_EQ(next(), "second") << "equal starts: the store's order";

    defaults().set(keys::excludeSubscribedCalendars, false);
    at(3);
    EXPECT_EQ(next(), "exchange");

    sim->simCalendarStore().eventList.clear();
    add("running", -10, 30);
    add("later", 60, 30);
    storeChanged();
    EXPECT_EQ(next(), "running");
    defaults().set(keys::disableActivityDuringEvents, true);
    at(4);
    EXPECT_EQ(next(), "later") << "only upcoming events while activities are off during events";

    sim->simCalendarStore().authorization = CalendarAuthorization::denied;
    cal().applicationDidBecomeActive();
    EXPECT_EQ(cal().authorizationStatus.get(), CalendarAuthorization::denied);
    sim->simCalendarStore().eventList.clear();
    storeChanged();
    EXPECT_EQ(next(), "later") << "without access nothing is read again";
}

// The countdown's start, switch and end, the refresh before the leave time, the hourly chime and
// the event's URLs are in the calendar scenarios' traces. Here: what those do not show.
TEST_F(CalendarTest, ThePeekBeforeAnEventWaitsForTheNotchToTakeTheActivity) {
    defaults().set(keys::beforeEventStarts, true);
    defaults().set(keys::notifyWhenTimeToLeave, true);  // allows the notification below
    at(1);
    add("talk", 10, 10);  // found by the first refresh, at 2.5 s
    at(2);
    notch().setNotification(true, N::timeToLeave, 0.35, 5);
    at(2.5);
    EXPECT_TRUE(cal().hasCountdown);
    EXPECT_TRUE(calls.of("setQuickPeek").empty()) << "the notification still holds the notch";
    at(3);
    EXPECT_EQ(calls.of("setQuickPeek"), std::vector<std::string>{"2.850 setQuickPeek [true,\"isCalendar\",false,0.35,-0.3,4]"});
}

TEST_F(CalendarTest, AZeroLengthEventEndsTheActivityAtItsStart) {
    add("instant", 5, 0);
    at(2.5);
    EXPECT_TRUE(cal().hasCountdown) << "5 minutes away: the countdown starts at once";
    at(5 * 60 + 0.1);
    EXPECT_FALSE(cal().hasCountdown);
    EXPECT_EQ(next(), "none");
}

TEST_F(CalendarTest, DismissedEventsStayAwayUntilTheyEnd) {
    struct Wants final : LiveActivitySource {
        bool wantsLiveActivity() const override { return true; }
    } playing;
    auto reg = ctx->notchSources().addLiveActivitySource(L::isPlaying, playing);
    add("a", 5, 10);
    add("b", 30, 10);
    at(3);
    EXPECT_EQ(notch().liveActivity.get(), L::isCalendar);
    calls.lines.clear();
    cal().dismissEvent();
    EXPECT_EQ(next(), "b");
    EXPECT_EQ(calls.of("setLiveActivity").front(), "3.000 setLiveActivity [true,\"isPlaying\",true,null,0.35]");
    storeChanged();
    EXPECT_EQ(next(), "b");
    EXPECT_EQ(cal().dismissedEventIds().count("a"), 1u);
    at(16 * 60);
    storeChanged();
    EXPECT_EQ(cal().dismissedEventIds().count("a"), 0u) << "pruned after it ended";
}

TEST_F(CalendarTest, AnAnswerToAnEarlierReadingNeverReplacesALaterOne) {
    auto& store = sim->simCalendarStore();
    add("a", 30, 10);
    store.answerDelay = 1;  // the start-up reading is slow
    at(2.5);
    EXPECT_EQ(next(), "none");
    store.answerDelay = 0;
    store.eventList.clear();
    add("b", 40, 10);
    storeChanged();
    EXPECT_EQ(next(), "b");
    at(4);
    EXPECT_EQ(next(), "b") << "the slow answer came after a newer reading was asked for";
}

TEST_F(CalendarTest, HiddenCalendarsFileOfAnyShapeHidesNothingUnlessWellFormed) {
    add("w", 30, 10);
    add("h", 20, 10, "home");
    at(2.5);
    EXPECT_EQ(next(), "h");
    writePrefs("{ DisabledCalendars = { MainWindow = ( \"calendar://home\" ); }; }");
    at(2.6);
    EXPECT_EQ(next(), "w") << "refreshed within the same second";

    for (const char* broken : {"not a plist {", "( a )", "{ DisabledCalendars = x; }",
                               "{ DisabledCalendars = { MainWindow = x; }; }",
                               "{ DisabledCalendars = { MainWindow = ( (home) ); }; }", "bplist00"}) {
        writePrefs("{ DisabledCalendars = { MainWindow = ( \"calendar://home\" ); }; }");
        at(now() + 0.1);
        writePrefs(broken);
        at(now() + 0.1);
        EXPECT_EQ(next(), "h") << broken;
    }
    writePrefs("<plist><dict><key>DisabledCalendars</key><dict><key>MainWindow</key><array/></dict></dict></plist>");
    at(now() + 0.1);
    EXPECT_EQ(next(), "h") << "an empty list hides nothing";

    const auto queries = sim->simCalendarStore().queries;
    sim->simFiles().put(sim->simFiles().homeDirectory() + "/Library/Preferences/com.other.plist", "{}");
    writePrefs("<plist><dict><key>Other</key><true/></dict></plist>");  // same visible set
    at(now() + 1);
    EXPECT_EQ(sim->simCalendarStore().queries, queries) << "no refresh when nothing visible changed";
}

TEST_F(CalendarTest, TimeToLeaveSlackRuleOncePerEvent) {
    // Turning the notification on refreshes at once (t = 0.5); the estimate follows 2 s later.
    allowTimeToLeave(3000);  // the leave time is long past
    add("near", 1, 5).geo = GeoCoordinate{52.5, 13.4};
    at(2.5);
    ASSERT_EQ(next(), "near");
    // 57.5 s before the start: slack = 57.5 - 10 → shown for the whole 8 s.
    EXPECT_EQ(calls.of("setNotification"), std::vector<std::string>{"2.500 setNotification [true,\"timeToLeave\",0.35,8]"});
    EXPECT_EQ(cal().travelTime.get(), 3000.0);
    EXPECT_EQ(sim->simTravelTime().requests.front().mode, TravelMode::automobile);
    EXPECT_EQ(effects("sound", "name"), (std::vector<std::string>{"event", "directions"}))
        << "a refresh while the countdown runs does not sound it again";

    storeChanged();
    at(10);
    EXPECT_EQ(sim->simTravelTime().requests.size(), 1u) << "computed once per event";
}

TEST_F(CalendarTest, TimeToLeaveBoundariesAndFailures) {
    defaults().set(keys::defaultTransportType, TransportType::transit);
    allowTimeToLeave(600);
    add("slack2", 14.5 / 60, 5).geo = GeoCoordinate{1, 1};  // 12 s away at the estimate: slack 2
    at(5);
    EXPECT_EQ(calls.of("setNotification"), std::vector<std::string>{"2.500 setNotification [true,\"timeToLeave\",0.35,4]"});
    EXPECT_EQ(sim->simTravelTime().requests.front().mode, TravelMode::transit);

    calls.lines.clear();
    sim->simCalendarStore().eventList.clear();
    add("slack1", 18.0 / 60, 5).geo = GeoCoordinate{1, 1};  // estimated at 7 s, 11 s away: slack 1
    storeChanged();
    at(10);
    auto leaves = [this] {
        std::size_t n = 0;
        for (auto& c : calls.of("setNotification")) n += c.find("[true,\"timeToLeave\"") != std::string::npos;
        return n;
    };
    EXPECT_EQ(leaves(), 0u);

    sim->simCalendarStore().eventList.clear();
    sim->simTravelTime().seconds = 10800;
    add("far", 300, 5).geo = GeoCoordinate{1, 1};
    storeChanged();
    at(300 * 60 - 60);
    EXPECT_EQ(cal().travelTime.get(), 10800.0);
    EXPECT_EQ(leaves(), 0u) << "3 hours of travel never notify";

    sim->simCalendarStore().eventList.clear();
    sim->simTravelTime().seconds.reset();
    add("nowhere", 400, 5).geo = GeoCoordinate{1, 1};
    storeChanged();
    at(now() + 5);
    EXPECT_EQ(cal().travelTime.get(), std::nullopt);
    sim->simCalendarStore().eventList.clear();
    add("nan", 500, 5).geo = GeoCoordinate{std::nan(""), 1};
    storeChanged();
    at(now() + 5);
    EXPECT_EQ(sim->simTravelTime().requests.size(), 4u) << "no estimate for a place without a coordinate";
    EXPECT_FALSE(cal().nextEvent.get()->location);
}

TEST_F(CalendarTest, AnEventWithoutAValidIdentifierOrLinkOpensNothing) {
    add("bad id", 40, 10);
    at(2.5);
    ASSERT_EQ(next(), "bad id");
    cal().openInCalendar();
    cal().openMeetingLink();
    EXPECT_TRUE(effects("openURL", "url").empty());
}

class CalendarAccessTest : public ContextTest {};

TEST_F(CalendarAccessTest, RequestAccessAsksOnlyWhenUndecided) {
    sim->simCalendarStore().authorization = CalendarAuthorization::notDetermined;
    CalendarManager& cal = ctx->calendar();
    std::vector<bool> answers;
    cal.requestAccess([&](bool granted) { answers.push_back(granted); });
    EXPECT_TRUE(defaults().get(keys::hasPromptedCalendarPermission));
    EXPECT_TRUE(answers.empty()) << "the answer comes later";
    time->runUntil(time->uptime());
    EXPECT_EQ(answers, std::vector<bool>{true});
    EXPECT_EQ(cal.authorizationStatus.get(), CalendarAuthorization::fullAccess);

    sim->simCalendarStore().authorization = CalendarAuthorization::writeOnly;
    cal.requestAccess([&](bool granted) { answers.push_back(granted); });
    EXPECT_EQ(answers, (std::vector<bool>{true, false}));
    EXPECT_EQ(cal.authorizationStatus.get(), CalendarAuthorization::writeOnly) << "write-only reads nothing";
}

}  // namespace
}  // namespace halvyn::context_testing
