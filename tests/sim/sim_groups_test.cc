// halvyn-sim's groups (the notch's, focus and calendar's, the settings'): malformed state and
// actions are refused before anything runs; what is well formed runs.

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "sim/runner.h"

namespace halvyn {
namespace {

struct Result {
    int code;
    std::string out, err;
};

Result run(const std::string& text) {
    std::ostringstream out, err;
    const int code = runScenario(text, out, err);
    return {code, out.str(), err.str()};
}

// The arguments' presence and types are checked for every action alike (the scenario runner's
// tests); these are the groups' own checks of state and values.
TEST(SimGroups, MalformedInputIsRefusedBeforeAnythingRuns) {
    // An error ending in a line end is the whole of standard error; any other is a part of it.
    const std::pair<const char*, const char*> cases[] = {
        {R"({"platform":{"screens":[{"id":1,"frame":[0,0,-1,10]}]}})", "negative size"},
        {R"({"platform":{"screens":[{"id":1}]}})", "'frame' is missing"},
        {R"({"platform":{"screens":[{"id":1,"frame":[0,0,1,1],"notch":true}]}})", "unknown field 'notch'"},
        {R"({"platform":{"screens":[{"id":-1,"frame":[0,0,1,1]}]}})", "display number"},
        {R"({"platform":{"screens":{"id":1}}})", "must be a list"},
        {R"({"platform":{"system":{"version":15}}})", "'version' must be a text"},
        {R"({"platform":{"space":{"fullscreen":"yes"}}})", "'fullscreen' must be a Boolean"},
        {R"({"events":[{"at":1,"do":"screens.set","screens":[{"frame":[0,0,1]}]}]})", "event 0"},
        {R"({"events":[{"at":1,"do":"screens.set","screens":[{"frame":[0,0,1,1],"safeAreaTop":-3}]}]})", "not negative"},
        {R"({"events":[{"at":1,"do":"adjust.start","axis":"diagonal"}]})", "event 0"},
        {R"({"events":[{"at":1,"do":"test.notify","kind":"none"}]})", "event 0"},
        {R"({"events":[{"at":1,"do":"test.notify","kind":"isCharging","dismissAfter":-1}]})", "not negative"},
        {R"({"events":[{"at":1,"do":"test.activity","kind":"none","wants":true}]})", "event 0"},
        {R"({"platform":{"calendar":{"events":[{"calendar":"w","start":"2026-03-02T09:00:00Z","end":"2026-03-02T10:00:00Z"}]}}})",
         "scenario: platform 'calendar': event 0: missing 'id'\n"},
        {R"({"platform":{"calendar":{"events":[{"id":"a","calendar":"w","start":"tomorrow","end":"2026-03-02T10:00:00Z"}]}}})",
         "scenario: platform 'calendar': event 0: 'start' must be an ISO 8601 date\n"},
        {R"({"platform":{"calendar":{"events":[{"id":"a","calendar":"w","start":"2026-03-02T09:00:00Z","end":"2026-03-02T10:00:00Z","geo":[1]}]}}})",
         "scenario: platform 'calendar': event 0: 'geo' must be [latitude, longitude] or null\n"},
        {R"({"platform":{"calendar":{"authorization":5}}})", "scenario: platform 'calendar': 'authorization' must be 0 to 4\n"},
        {R"({"platform":{"calendar":{"calendars":[{"id":"a","type":9}]}}})",
         "scenario: platform 'calendar': calendar 0: 'type' must be 0 to 4\n"},
        {R"({"platform":{"location":{"fix":[1,2]}}})",
         "scenario: platform 'location': 'fix' must be [latitude, longitude, altitude] or null\n"},
        {R"({"platform":{"weather":{"hourly":[{"date":"2026-03-02T09:00:00Z"}]}}})",
         "scenario: platform 'weather': an hourly entry must be {\"date\", \"chance\"}\n"},
        {R"({"platform":{"locale":{"measurement":"imperial"}}})",
         "scenario: platform 'locale': 'measurement' must be 'us' or 'metric'\n"},
        {R"({"platform":{"travel":{"seconds":-1}}})", "scenario: platform 'travel': 'seconds' must be a number of seconds\n"},
        {R"({"events":[{"at":1,"do":"calendar.prefsChanged","hidden":[1]}]})",
         "event 0: 'hidden' must be a list of \"calendar://ID\" texts, or the file's text\n"},
        {R"({"events":[{"at":1,"do":"weather.update","wind":3}]})", "event 0: unknown weather field 'wind'\n"},
        {R"({"events":[{"at":1,"do":"location.update","delay":-2}]})", "event 0: 'delay' must be seconds, not negative\n"},
        {R"({"events":[{"at":0,"do":"settings.set","key":"hudSped","value":"fast"}]})", "event 0: unknown setting 'hudSped'\n"},
        {R"({"events":[{"at":0,"do":"settings.reset","key":"hudSped"}]})", "event 0: unknown setting 'hudSped'\n"},
        {R"({"events":[{"at":0,"do":"cloud.change","key":"hudSped","value":1,"time":0}]})",
         "event 0: unknown setting 'hudSped'\n"},
        {R"({"settings":{"hudSpeed":"fast","nope":true}})", "scenario: unknown setting 'nope'\n"},
    };
    for (auto& [text, error] : cases) {
        SCOPED_TRACE(text);
        const Result r = run(text);
        EXPECT_EQ(r.code, 2);
        EXPECT_EQ(r.out, "");
        if (std::string(error).ends_with('\n')) {
            EXPECT_EQ(r.err, error);
        } else {
            EXPECT_NE(r.err.find(error), std::string::npos) << r.err;
        }
    }
}

TEST(SimGroups, AScreenWithoutNumberOrFlagsIsAcceptedAndHostsNothing) {
    const Result r = run(R"({"platform":{"screens":[{"frame":[0,0,800,600]}]},"until":1,"trace":["Notch"]})");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find(R"({"t":0.000,"call":"Notch.enable","args":[]})"), std::string::npos);
    EXPECT_EQ(r.out.find(R"("prop":"isEnabled")"), std::string::npos);  // no main display: not enabled
}

}  // namespace
}  // namespace halvyn
