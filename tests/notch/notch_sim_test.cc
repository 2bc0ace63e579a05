// The notch's groups in halvyn-sim refuse malformed input before anything runs.

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

TEST(NotchSimGroups, RefuseMalformedScreensAxesAndKinds) {
    const struct {
        const char* scenario;
        const char* error;
    } cases[] = {
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
        {R"({"events":[{"at":1,"do":"adjust.end"}]})", "event 0"},
        {R"({"events":[{"at":1,"do":"output.set","show":1}]})", "event 0"},
        {R"({"events":[{"at":1,"do":"test.notify","kind":"none"}]})", "event 0"},
        {R"({"events":[{"at":1,"do":"test.notify","kind":"isCharging","dismissAfter":-1}]})", "not negative"},
        {R"({"events":[{"at":1,"do":"test.activity","kind":"none","wants":true}]})", "event 0"},
    };
    for (auto& c : cases) {
        const Result r = run(c.scenario);
        EXPECT_EQ(r.code, 2) << c.scenario;
        EXPECT_EQ(r.out, "") << c.scenario;
        EXPECT_NE(r.err.find(c.error), std::string::npos) << c.scenario << " -> " << r.err;
    }
}

TEST(NotchSimGroups, AScreenWithoutNumberOrFlagsIsAcceptedAndHostsNothing) {
    const Result r = run(R"({"platform":{"screens":[{"frame":[0,0,800,600]}]},"until":1,"trace":["Notch"]})");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find(R"({"t":0.000,"call":"Notch.enable","args":[]})"), std::string::npos);
    EXPECT_EQ(r.out.find(R"("prop":"isEnabled")"), std::string::npos);  // no main display: not enabled
}

}  // namespace
}  // namespace halvyn
