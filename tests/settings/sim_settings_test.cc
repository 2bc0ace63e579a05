#include <gtest/gtest.h>

#include <sstream>

#include "sim/runner.h"

namespace halvyn {
namespace {

struct SimRun {
    int status;
    std::string out, err;
};

SimRun run(const std::string& scenario) {
    std::ostringstream out, err;
    const int status = runScenario(scenario, out, err);
    return {status, out.str(), err.str()};
}

TEST(SimSettings, UnknownSettingsAreRefusedBeforeAnythingRuns) {
    for (const char* s : {R"({"events":[{"at":0,"do":"settings.set","key":"hudSped","value":"fast"}]})",
                          R"({"events":[{"at":0,"do":"settings.reset","key":"hudSped"}]})",
                          R"({"events":[{"at":0,"do":"cloud.change","key":"hudSped","value":1,"time":0}]})"}) {
        SimRun r = run(s);
        EXPECT_EQ(r.status, 2) << s;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "event 0: unknown setting 'hudSped'\n");
    }
    SimRun r = run(R"({"settings":{"hudSpeed":"fast","nope":true}})");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "scenario: unknown setting 'nope'\n");
    r = run(R"({"events":[{"at":0,"do":"cloud.change","key":"hudSpeed","value":1,"time":"soon"}]})");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "event 0: argument 'time' of 'cloud.change' must be a number\n");
    r = run(R"({"events":[{"at":0,"do":"settings.set","key":"hudSpeed"}]})");
    EXPECT_EQ(r.status, 2);
}

TEST(SimSettings, StartUpStoresFirstLaunchAsFalseUnlessGiven) {
    SimRun r = run(R"({"until":0,"trace":["Settings"]})");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(R"("isFirstLaunch":false)"), std::string::npos);
    r = run(R"({"until":0,"settings":{"isFirstLaunch":true},"trace":["Settings"]})");
    EXPECT_NE(r.out.find(R"("isFirstLaunch":true)"), std::string::npos);
    // Only the system's own writes are effects: neither the scenario's settings nor the user's.
    r = run(R"({"settings":{"hudSpeed":"smooth"},"events":[{"at":1,"do":"settings.set","key":"hudSpeed","value":"instant"}],"trace":[]})");
    EXPECT_EQ(r.out.find(R"("effect":"settings")"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace halvyn
