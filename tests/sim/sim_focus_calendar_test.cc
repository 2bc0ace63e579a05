// halvyn-sim's focus, calendar and weather groups: malformed state and actions are refused before
// anything runs.

#include <gtest/gtest.h>

#include <sstream>

#include "sim/runner.h"

namespace halvyn {
namespace {

TEST(SimFocusCalendar, RefusesMalformedInput) {
    const std::pair<const char*, const char*> cases[] = {
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
        {R"({"events":[{"at":1,"do":"log.message","process":"donotdisturbd","message":"x"}]})",
         "event 0: missing argument 'category' of 'log.message'\n"},
        {R"({"events":[{"at":1,"do":"calendar.prefsChanged","hidden":[1]}]})",
         "event 0: 'hidden' must be a list of \"calendar://ID\" texts, or the file's text\n"},
        {R"({"events":[{"at":1,"do":"weather.update","wind":3}]})", "event 0: unknown weather field 'wind'\n"},
        {R"({"events":[{"at":1,"do":"location.update","delay":-2}]})", "event 0: 'delay' must be seconds, not negative\n"},
    };
    for (auto& [text, error] : cases) {
        std::ostringstream out, err;
        EXPECT_EQ(runScenario(text, out, err), 2) << text;
        EXPECT_EQ(out.str(), "") << text;
        EXPECT_EQ(err.str(), error) << text;
    }
}

}  // namespace
}  // namespace halvyn
