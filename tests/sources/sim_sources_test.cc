// halvyn-sim's battery, bluetooth, audio, brightness and process objects: what a scenario may say,
// and bad input refused before anything runs.

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

// Each scenario is refused with exit status 2, nothing on standard output and `error` as the one
// line of standard error.
void expectRefused(std::initializer_list<std::pair<const char*, const char*>> cases) {
    for (auto& [text, error] : cases) {
        SCOPED_TRACE(text);
        const SimRun r = run(text);
        EXPECT_EQ(r.code, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, std::string(error) + "\n");
    }
}

TEST(SimSources, RefusesMalformedBatteryAndBluetoothInput) {
    expectRefused({
        {R"({"platform":{"battery":{"voltage":12}}})", "scenario: platform 'battery': unknown battery field 'voltage'"},
        {R"({"platform":{"battery":{"present":"yes"}}})", "scenario: platform 'battery': 'present' must be a Boolean"},
        {R"({"platform":{"battery":{"percent":[80]}}})",
         "scenario: platform 'battery': 'percent' must be a registry value (a Boolean, number, text or null)"},
        {R"({"platform":{"lowPowerMode":1}})", "scenario: platform 'lowPowerMode': must be a Boolean"},
        {R"({"platform":{"bluetooth":{"authorization":"always"}}})",
         "scenario: platform 'bluetooth': 'authorization' must be one of 'allowedAlways', 'denied', 'restricted', 'notDetermined'"},
        {R"({"platform":{"bluetooth":{"paired":[{"connected":true}]}}})",
         "scenario: platform 'bluetooth': paired 0: missing 'address'"},
        {R"({"events":[{"at":1,"do":"battery.change","charge":3}]})", "event 0: unknown battery field 'charge'"},
        {R"({"events":[{"at":1,"do":"bluetooth.update","address":"a","left":256}]})",
         "event 0: 'left' must be a whole number from 0 to 255"},
        {R"({"events":[{"at":1,"do":"bluetooth.update","address":"a","right":-1}]})",
         "event 0: 'right' must be a whole number from 0 to 255"},
        {R"({"events":[{"at":1,"do":"bluetooth.update","address":"a","colorId":1.5}]})",
         "event 0: 'colorId' must be a whole number or null"},
        {R"({"events":[{"at":1,"do":"bluetooth.update","left":5}]})",
         "event 0: missing argument 'address' of 'bluetooth.update'"},
        {R"({"events":[{"at":1,"do":"bluetooth.authorization","value":"yes"}]})",
         "event 0: argument 'value' of 'bluetooth.authorization' must be one of 'allowedAlways', 'denied', 'restricted', 'notDetermined'"},
        {R"({"events":[{"at":1,"do":"lowPowerMode.set"}]})", "event 0: missing argument 'enabled' of 'lowPowerMode.set'"},
    });
}

TEST(HudScenarioInput, MalformedArgumentsAndStateAreRefused) {
    expectRefused({
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
    });
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
