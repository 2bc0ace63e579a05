// The display groups of halvyn-sim refuse malformed arguments and platform state before anything
// runs, and take malformed user information the way the system does.

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "sim/runner.h"

namespace halvyn {
namespace {

struct SimRun {
    int code;
    std::string out;
    std::string err;
};

SimRun run(const std::string& text) {
    std::ostringstream out, err;
    const int code = runScenario(text, out, err);
    return {code, out.str(), err.str()};
}

TEST(HudScenarioInput, MalformedArgumentsAndStateAreRefused) {
    const std::pair<const char*, const char*> cases[] = {
        {R"({"events":[{"at":1,"do":"audio.volume"}]})", "event 0: missing argument 'value' of 'audio.volume'"},
        {R"({"events":[{"at":1,"do":"audio.volume","value":0.5,"device":-1}]})",
         "event 0: argument 'device' must be a device id"},
        {R"({"events":[{"at":1,"do":"audio.mute","muted":1}]})",
         "event 0: argument 'muted' of 'audio.mute' must be a Boolean"},
        {R"({"events":[{"at":1,"do":"audio.addDevice","device":{"uid":"x"}}]})",
         "event 0: argument 'device': missing 'id'"},
        {R"({"events":[{"at":1,"do":"app.launch","pid":0,"name":"x"}]})",
         "event 0: argument 'pid' must be a positive whole number"},
        {R"({"platform":{"audio":{"devices":[{"id":1},{"id":1}]}}})", "scenario: platform 'audio': device 1: repeated 'id'"},
        {R"({"platform":{"audio":{"devices":[{"id":1,"volume":"loud"}]}}})",
         "scenario: platform 'audio': device 0: 'volume' must be a number"},
        {R"({"platform":{"brightness":{"display":1}}})", "scenario: platform 'brightness': must be a list of displays"},
        {R"({"platform":{"processes":[{"pid":5}]}})", "scenario: platform 'processes': process 0: missing 'name'"},
        {R"({"platform":{"sounds":["lock.caf",3]}})",
         "scenario: platform 'sounds': must be a list of \"name.type\" resources"},
    };
    for (auto& [text, message] : cases) {
        const SimRun r = run(text);
        EXPECT_EQ(r.code, 2) << text;
        EXPECT_EQ(r.out, "") << text;
        EXPECT_EQ(r.err, std::string(message) + "\n") << text;
    }
}

TEST(HudScenarioInput, UserInformationOfAnyShapeIsTakenAndIgnoredWhenNotANumber) {
    const SimRun r = run(R"({"events":[{"at":1,"do":"brightness.callback","userInfo":7},
                                     {"at":2,"do":"brightness.callback","userInfo":{"value":null}},
                                     {"at":3,"do":"brightness.callback","userInfo":{"value":0.4}}],
                          "until":4, "trace":["BrightnessManager"]})");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.find("\"t\":1.000,\"obj\""), std::string::npos);
    EXPECT_EQ(r.out.find("\"t\":2.000,\"obj\""), std::string::npos);
    EXPECT_NE(r.out.find(R"({"t":3.000,"obj":"BrightnessManager","prop":"currentBrightness","value":0.4})"),
              std::string::npos);
}

TEST(HudScenarioInput, VolumeOfADeviceWithoutTheProperty) {
    // The first notification gives the device its volume property; before that it has none.
    const SimRun r = run(R"({"platform":{"audio":{"devices":[{"id":4,"uid":"u","transport":"USB"}],"defaultOutput":4}},
                          "events":[{"at":1,"do":"volume.slider","value":0.3},
                                    {"at":2,"do":"audio.mute","muted":true}],
                          "until":3, "trace":["VolumeManager"]})");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find(R"("value":{"volume":1,"actualVolume":1,"isMuted":false)"), std::string::npos);
    EXPECT_NE(r.out.find(R"({"t":1.010,"obj":"VolumeManager","prop":"actualVolume","value":0.3})"), std::string::npos);
    EXPECT_NE(r.out.find(R"({"t":2.000,"obj":"VolumeManager","prop":"isMuted","value":true})"), std::string::npos);
}

}  // namespace
}  // namespace halvyn
