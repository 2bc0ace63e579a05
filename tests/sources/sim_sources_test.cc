// halvyn-sim's battery, bluetooth and source objects: what a scenario may say, and bad input
// refused before anything runs.

#include <gtest/gtest.h>

#include <sstream>

#include "sim/runner.h"

namespace halvyn {
namespace {

int run(const std::string& text, std::string& out, std::string& err) {
    std::ostringstream o, e;
    const int code = runScenario(text, o, e);
    out = o.str();
    err = e.str();
    return code;
}

TEST(SimSources, RefusesMalformedBatteryAndBluetoothInput) {
    const std::pair<const char*, const char*> cases[] = {
        {R"({"platform":{"battery":{"voltage":12}}})", "scenario: platform 'battery': unknown battery field 'voltage'\n"},
        {R"({"platform":{"battery":{"present":"yes"}}})", "scenario: platform 'battery': 'present' must be a Boolean\n"},
        {R"({"platform":{"battery":{"percent":[80]}}})",
         "scenario: platform 'battery': 'percent' must be a registry value (a Boolean, number, text or null)\n"},
        {R"({"platform":{"lowPowerMode":1}})", "scenario: platform 'lowPowerMode': must be a Boolean\n"},
        {R"({"platform":{"bluetooth":{"authorization":"always"}}})",
         "scenario: platform 'bluetooth': 'authorization' must be one of 'allowedAlways', 'denied', 'restricted', 'notDetermined'\n"},
        {R"({"platform":{"bluetooth":{"paired":[{"connected":true}]}}})",
         "scenario: platform 'bluetooth': paired 0: missing 'address'\n"},
        {R"({"events":[{"at":1,"do":"battery.change","charge":3}]})", "event 0: unknown battery field 'charge'\n"},
        {R"({"events":[{"at":1,"do":"bluetooth.update","address":"a","left":256}]})",
         "event 0: 'left' must be a whole number from 0 to 255\n"},
        {R"({"events":[{"at":1,"do":"bluetooth.update","address":"a","right":-1}]})",
         "event 0: 'right' must be a whole number from 0 to 255\n"},
        {R"({"events":[{"at":1,"do":"bluetooth.update","address":"a","colorId":1.5}]})",
         "event 0: 'colorId' must be a whole number or null\n"},
        {R"({"events":[{"at":1,"do":"bluetooth.update","left":5}]})",
         "event 0: missing argument 'address' of 'bluetooth.update'\n"},
        {R"({"events":[{"at":1,"do":"bluetooth.authorization","value":"yes"}]})",
         "event 0: argument 'value' of 'bluetooth.authorization' must be one of 'allowedAlways', 'denied', 'restricted', 'notDetermined'\n"},
        {R"({"events":[{"at":1,"do":"lowPowerMode.set"}]})", "event 0: missing argument 'enabled' of 'lowPowerMode.set'\n"},
    };
    for (auto& [text, error] : cases) {
        std::string out, err;
        EXPECT_EQ(run(text, out, err), 2) << text;
        EXPECT_EQ(out, "") << text;
        EXPECT_EQ(err, error) << text;
    }
}

TEST(SimSources, RegistryValuesOfAnyKindRunAndNeverWarn) {
    std::string out, err;
    ASSERT_EQ(run(R"({"platform":{"battery":{"externalConnected":false,"percent":50}},
                      "events":[{"at":0.5,"do":"battery.change","percent":"5"},
                                {"at":1,"do":"battery.change","percent":255,"externalConnected":0}],
                      "until":2,"trace":["BatteryManager"]})",
                  out, err),
              0)
        << err;
    EXPECT_EQ(out.find("isLowBattery"), std::string::npos);
    EXPECT_EQ(out.find("\"effect\":\"sound\""), std::string::npos);
    EXPECT_NE(out.find(R"("t":0.500,"obj":"BatteryManager","prop":"batteryLevel","value":0})"), std::string::npos);
}

}  // namespace
}  // namespace halvyn
