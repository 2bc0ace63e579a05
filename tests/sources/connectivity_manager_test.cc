#include "sources/connectivity_manager.h"

#include "sources/show_rule.h"
#include "sources_fixture.h"

namespace halvyn::sources_testing {
namespace {

using K = VirtualDevice::Kind;
using S = AirPodsState;

AudioDevice device(AudioDeviceID id, std::optional<std::string> uid, std::optional<std::string> model,
                   std::optional<std::string> transport) {
    return AudioDevice{id, std::move(uid), std::move(model), std::move(transport)};
}

PairedDevice paired(std::string address, int l, int r, int s = 0, std::optional<int> color = std::nullopt) {
    PairedDevice d;
    d.addressString = std::move(address);
    d.isConnected = true;
    d.colorID = color;
    d.batteryPercentLeft = static_cast<std::uint8_t>(l);
    d.batteryPercentRight = static_cast<std::uint8_t>(r);
    d.batteryPercentSingle = static_cast<std::uint8_t>(s);
    return d;
}

TEST(AccessoryBattery, BudsInUseAndLowestValidLevel) {
    struct Case {
        int l, r, s;
        std::optional<S> state;
        std::optional<double> level;
    } cases[] = {
        {0, 45, 0, S::rightOnly, 0.45},  {45, 0, 0, S::leftOnly, 0.45},     {101, 0, 0, std::nullopt, std::nullopt},
        {0, 101, 0, std::nullopt, std::nullopt}, {50, 60, 0, S::both, 0.5}, {50, 200, 0, S::leftOnly, 0.5},
        {255, 60, 0, S::rightOnly, 0.6}, {255, 255, 255, std::nullopt, std::nullopt},
        {0, 0, 80, std::nullopt, 0.8},   {0, 0, 0, std::nullopt, std::nullopt}, {100, 1, 90, S::both, 0.01},
        {70, 80, 20, S::both, 0.2},
    };
    for (auto& c : cases) {
        const auto got = readAccessoryBattery(paired("x", c.l, c.r, c.s));
        EXPECT_EQ(got.state, c.state) << c.l << " " << c.r << " " << c.s;
        EXPECT_EQ(got.level, c.level) << c.l << " " << c.r << " " << c.s;
    }
}

TEST(AccessoryBattery, AddressMatchesWithoutCaseOrSurroundingSpaces) {
    std::vector<PairedDevice> list{paired("11-22-33-44-55-66", 1, 1), paired(" a1-b2-c3-d4-e5-f6 ", 2, 2)};
    EXPECT_EQ(findAccessory(list, std::string("A1-B2-C3-D4-E5-F6:output")), &list[1]);
    EXPECT_EQ(findAccessory(list, std::string("  a1-B2-c3-D4-e5-F6 \t:x:y")), &list[1]);
    EXPECT_EQ(findAccessory(list, std::string("11-22-33-44-55-66")), &list[0]) << "no colon: the whole identifier";
    EXPECT_EQ(findAccessory(list, std::string("a1 b2 c3 d4 e5 f6:output")), nullptr) << "inner spaces differ";
    EXPECT_EQ(findAccessory(list, std::string(":output")), nullptr);
    EXPECT_EQ(findAccessory(list, std::nullopt), nullptr);
    list[1].isConnected = false;
    EXPECT_EQ(findAccessory(list, std::string("A1-B2-C3-D4-E5-F6:output")), nullptr) << "only connected devices";
}

TEST(DeviceRecognition, EveryProductAndTransport) {
    const std::pair<const char*, K> products[] = {
        {"2002", K::airPods},     {"200f", K::airPods2},    {"2013", K::airPods3},    {"2019", K::airPods4},
        {"201b", K::airPods4},    {"200e", K::airPodsPro},  {"2014", K::airPodsPro2}, {"2024", K::airPodsPro2},
        {"2027", K::airPodsPro3}, {"200a", K::airPodsMax},  {"201f", K::airPodsMax2}, {"2099", K::headphones},
        {"", K::headphones},
    };
    for (auto [product, kind] : products) {
        for (const char* transport : {"Bluetooth", "Bluetooth LE"}) {
            const auto v = recognizeDevice(device(2, "aa:x", std::string(product) + " 4c", transport), S::both,
                                           AirPodsMaxColor::midnight);
            EXPECT_EQ(v.kind, kind) << product << " " << transport;
            const bool carriesState = kind <= K::airPodsPro3;
            EXPECT_EQ(v.state, carriesState ? std::optional<S>(S::both) : std::nullopt) << product;
            EXPECT_EQ(v.color, v.isAirPodsMax() ? AirPodsMaxColor::midnight : AirPodsMaxColor::spaceGray);
        }
    }
    EXPECT_EQ(recognizeDevice(device(2, "aa", std::nullopt, "Bluetooth"), std::nullopt, {}).kind, K::headphones);
    EXPECT_EQ(recognizeDevice(device(2, "aa", "  2014   4c", "Bluetooth"), std::nullopt, {}).kind, K::airPodsPro2);
    EXPECT_EQ(recognizeDevice(device(2, "aa", "200E", "Bluetooth"), std::nullopt, {}).kind, K::airPodsPro);

    auto usb = [](std::optional<std::string> model) { return recognizeDevice(device(3, "u", model, "USB"), {}, {}).kind; };
    EXPECT_EQ(usb("EarPods"), K::earPods);
    EXPECT_EQ(usb("EarPods:05ac:110b"), K::earPods);
    EXPECT_EQ(usb("Studio Display Audio Control:05ac:1114"), K::studioDisplay);
    EXPECT_EQ(usb("Pro Display XDR Audio Control:05ac:9243"), K::proDisplayXdr);
    EXPECT_EQ(usb("Scarlett 2i2"), K::speakers);
    EXPECT_EQ(usb(std::nullopt), K::speakers);

    auto local = [](std::optional<std::string> uid, std::optional<std::string> transport) {
        return recognizeDevice(device(1, uid, "x", transport), {}, {}).kind;
    };
    EXPECT_EQ(local("BuiltInHeadphoneOutputDevice", "Built-In"), K::headphones);
    EXPECT_EQ(local("BuiltInSpeakerDevice", "Built-In"), K::macBook);
    EXPECT_EQ(local("BuiltInSpeakerDevice", std::nullopt), K::macBook);
    EXPECT_EQ(local("DisplayPort-1", "HDMI"), K::speakers);
    EXPECT_EQ(local(std::nullopt, std::nullopt), K::speakers);
}

TEST(DeviceRecognition, SymbolsAndNames) {
    EXPECT_EQ((VirtualDevice{K::airPodsPro2, S::leftOnly}).budsSymbol(), "airpods.pro.left");
    EXPECT_EQ((VirtualDevice{K::airPods, S::rightOnly}).budsSymbol(), "airpods.gen4.right");
    EXPECT_EQ((VirtualDevice{K::airPods3, S::both}).budsSymbol(), "airpods.gen4");
    EXPECT_EQ((VirtualDevice{K::airPodsPro3, std::nullopt}).budsSymbol(), "airpods.pro");

    for (auto [id, name] : std::vector<std::pair<std::optional<int>, const char*>>{
             {86, "AirPods Max Purple"}, {4, "AirPods Max Space Gray"}, {std::nullopt, "AirPods Max Space Gray"}})
        EXPECT_EQ((VirtualDevice{K::airPodsMax2, std::nullopt, airPodsMaxColor(id)}).displayName(), name);
    EXPECT_EQ(VirtualDevice{K::macBook}.symbol(true), "macbook");
    EXPECT_EQ(VirtualDevice{K::macBook}.symbol(false), "laptopcomputer");
}

class ConnectivityTest : public SourcesTest {
protected:
    static constexpr const char* kAddress = "a1-b2-c3-d4-e5-f6";

    ConnectivityTest() {
        sim->audio.reset({{device(1, "BuiltInSpeakerDevice", "Speakers", "Built-In"), 0.5f, false}}, 1);
        sim->audio.addDevice({device(2, "A1-B2-C3-D4-E5-F6:output", "2014 4c", "Bluetooth"), 0.5f, false});
        sim->audio.addDevice({device(3, "SD-1", "Studio Display Audio Control:05ac", "USB"), 0.5f, false});
    }
    ConnectivityManager& connectivity() { return ctx->connectivity(); }
    PairedDevice& buds() { return sim->bt.device(kAddress); }
    void setBuds(int l, int r) {
        buds().isConnected = true;
        buds().batteryPercentLeft = static_cast<std::uint8_t>(l);
        buds().batteryPercentRight = static_cast<std::uint8_t>(r);
    }
    void switchTo(AudioDeviceID id) { sim->audio.setDefaultOutput(id); }
};

TEST_F(ConnectivityTest, ShowsByItsOwnSwitches) {
    FocusSwitch focus;
    ctx->assemble({.focusState = &focus});
    expectOwnShowSwitches(defaults(), connectivity(),
                          {keys::enableConnectivity, keys::allowConnectivityWhenFocused, keys::allowConnectivityWhenLocked},
                          situation(focus));
}

// A connection, its bud and level and a display's silent speakers are played in airpods_pro2_left_bud
// and airpods_max_color.
TEST_F(ConnectivityTest, DisabledConnectivityRecordsOnlyForTheLockScreen) {
    startNotch();
    EXPECT_EQ(connectivity().deviceSymbol(), "macbook") << "the default built-in screen has a camera housing";
    defaults().set(keys::enableConnectivity, false);
    switchTo(2);
    at(0.501);
    EXPECT_TRUE(connectivity().hasRecentlyChangedOutputDevice.get()) << "the flag is set regardless";
    at(1);
    EXPECT_EQ(connectivity().virtualDevice.get()->kind, K::airPodsPro2) << "kept for the lock-screen widget";
    EXPECT_TRUE(calls.requests().empty());

    defaults().set(keys::allowConnectivityWhenLocked, false);
    switchTo(1);
    at(2);
    EXPECT_EQ(connectivity().virtualDevice.get()->kind, K::airPodsPro2) << "not even recorded";
    EXPECT_EQ(connectivity().audioDevice.get()->id, 2u);
}

TEST_F(ConnectivityTest, OnlyAThresholdOfExactlyTenPollsEverySecondAndWarnsSilently) {
    sim->audio.reset({{device(2, "A1-B2-C3-D4-E5-F6:output", "2014 4c", "Bluetooth"), 0.5f, false}}, 2);
    defaults().set(keys::playSoundOnLowConnectBattery, true);
    startNotch();
    for (double threshold : {9.0, 11.0}) {
        defaults().set(keys::warnOnLowConnectBattery, false);
        defaults().set(keys::lowConnectBatteryThreshold, threshold);
        setBuds(50, 50);
        const double start = now() + 0.25;
        at(start);
        defaults().set(keys::warnOnLowConnectBattery, true);  // fires at once, then every 2 s
        at(start + 0.5);
        setBuds(5, 5);
        calls.calls.clear();
        const std::size_t soundsBefore = sounds().size();
        at(start + 1.99);
        EXPECT_TRUE(calls.requests().empty()) << threshold;
        at(start + 2);
        EXPECT_EQ(calls.requests().size(), 1u) << threshold;
        EXPECT_EQ(sounds().size(), soundsBefore + 1) << threshold;
        at(now() + 6);
    }
}

TEST_F(ConnectivityTest, ConnectingWhileLowStandsInForTheWarning) {
    defaults().set(keys::warnOnLowConnectBattery, true);
    startNotch();
    connectivity();
    setBuds(30, 30);
    switchTo(2);
    at(1);
    EXPECT_TRUE(connectivity().hasPassedThreshold.get()) << "starts true";
    at(2.5);  // the first firing with the AirPods as output
    EXPECT_FALSE(connectivity().hasPassedThreshold.get());
    at(7);  // the connection notification has closed
    calls.calls.clear();

    switchTo(1);
    setBuds(10, 10);
    at(8);
    switchTo(2);
    at(8.1);
    EXPECT_TRUE(connectivity().hasPassedThreshold.get());
    EXPECT_EQ(connectivity().batteryIndicatorColor(), "RoseColor") << "0.10 is at or below 20 %";
    at(20);
    EXPECT_EQ(calls.requests(),
              std::vector<std::string>{"8.000 setNotification [true,\"didConnectAirPods\",0.35,5]"});
}

TEST_F(ConnectivityTest, NoWarningOverTheConnectionNotification) {
    startNotch();
    defaults().set(keys::warnOnLowConnectBattery, true);  // fires at once (0.5), then every 2 s
    setBuds(30, 30);
    switchTo(2);
    at(2.5);
    EXPECT_FALSE(connectivity().hasPassedThreshold.get());
    setBuds(10, 10);  // the next firing (4.5) finds the connection notification up
    at(4.6);
    EXPECT_EQ(calls.requests().size(), 1u);
    EXPECT_FALSE(connectivity().hasPassedThreshold.get());
    at(8);  // it closed at 0.5 + 5 + ...; the next firing warns
    EXPECT_EQ(calls.requests().back(), "6.500 setNotification [true,\"isLowAirPodsBattery\",0.35,5]");
}

TEST_F(ConnectivityTest, TimerFiringsNeedAuthorisationAndAnAirPodsOutput) {
    defaults().set(keys::warnOnLowConnectBattery, true);
    sim->bt.setAuthorization(BluetoothAuthorization::denied);
    startNotch();
    connectivity();
    switchTo(2);
    setBuds(30, 0);
    at(1);
    setBuds(0, 30);
    at(10);
    EXPECT_EQ(connectivity().virtualDevice.get(), (VirtualDevice{K::airPodsPro2, S::leftOnly})) << "not polled";

    sim->bt.setAuthorization(BluetoothAuthorization::allowedAlways);
    at(12.5);
    EXPECT_EQ(connectivity().virtualDevice.get(), (VirtualDevice{K::airPodsPro2, S::rightOnly}));

    // A reading that loses the buds keeps the last known state.
    setBuds(0, 0);
    at(15);
    EXPECT_EQ(connectivity().virtualDevice.get(), (VirtualDevice{K::airPodsPro2, S::rightOnly}));
    EXPECT_EQ(connectivity().batteryLevel.get(), std::nullopt);
    EXPECT_EQ(connectivity().batteryIndicatorColor(), std::nullopt);

    defaults().set(keys::warnOnLowConnectBattery, false);
    at(15.1);
    EXPECT_FALSE(connectivity().isTimerRunning());
}

// A late audio service and a wake each recognise the output again without announcing it.
TEST_F(ConnectivityTest, LateServiceOrWakeRecognisesTheOutputWithoutAnnouncingIt) {
    startNotch();
    sim->audio.reset({}, std::nullopt);
    connectivity();
    setBuds(40, 40);
    sim->audio.connectService({{device(2, "A1-B2-C3-D4-E5-F6:output", "2014 4c", "Bluetooth"), 0.5f, false}}, 2);
    at(1);
    EXPECT_EQ(connectivity().virtualDevice.get(), (VirtualDevice{K::airPodsPro2, S::both}));
    EXPECT_EQ(connectivity().batteryIndicatorColor(), "GreenColor") << "0.40 is above 20 %";
    EXPECT_FALSE(connectivity().hasRecentlyChangedOutputDevice.get());
    EXPECT_TRUE(calls.calls.empty());

    setBuds(40, 0);
    sim->simWorkspace.post(WorkspaceEvent::screensDidWake);
    EXPECT_EQ(connectivity().virtualDevice.get(), (VirtualDevice{K::airPodsPro2, S::leftOnly}));
    at(2);
    EXPECT_TRUE(calls.calls.empty());
}

}  // namespace
}  // namespace halvyn::sources_testing
