// The audio devices port against a private PulseAudio daemon driven by pactl.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "linux/services.h"
#include "platform/linux/pulse_audio_devices.h"
#include "runtime/logger.h"
#include "shell/real_time.h"

namespace halvyn {
namespace {

using test::spinUntil;

TEST(PulseTransport, NamesTheBusOrThePort) {
    EXPECT_EQ(pulseTransport("bluetooth", "headset-output", ""), "Bluetooth");
    EXPECT_EQ(pulseTransport("usb", "analog-output", ""), "USB");
    EXPECT_EQ(pulseTransport("pci", "hdmi-output-0", ""), "HDMI");
    EXPECT_EQ(pulseTransport("pci", "[Out] DisplayPort", ""), "DisplayPort");
    EXPECT_EQ(pulseTransport("pci", "analog-output-speaker", ""), "Built-In");
    EXPECT_EQ(pulseTransport("", "", "internal"), "Built-In");
    EXPECT_EQ(pulseTransport("", "", ""), std::nullopt);
}

TEST(PulseTransport, BluetoothModelFromTheProductAndVendor) {
    EXPECT_EQ(pulseBluetoothModel("0x2014", "bluetooth:004c"), "2014 4c");
    EXPECT_EQ(pulseBluetoothModel("0x200E", "usb:004C"), "200e 4c");
    EXPECT_EQ(pulseBluetoothModel("0x1f", "bluetooth:0000"), "001f 0");
    EXPECT_EQ(pulseBluetoothModel("", "bluetooth:004c"), std::nullopt);
    EXPECT_EQ(pulseBluetoothModel("0x20zz", "bluetooth:004c"), std::nullopt);
}

TEST(PulseVolume, AverageOfTheChannelsAndNoneWithoutChannels) {
    EXPECT_EQ(pulseAverageVolume({}), std::nullopt);
    EXPECT_EQ(pulseAverageVolume({0x10000, 0x10000}), 1.0f);
    EXPECT_NEAR(*pulseAverageVolume({0x10000 / 5, 0x10000 * 3 / 5}), 0.4f, 1e-4f);
    EXPECT_EQ(pulseAverageVolume({0x18000}), 1.5f);
    EXPECT_EQ(pulseAverageVolume({0xFFFFFFFF, 0xFFFFFFFF}), kMaxDeviceVolume);
    EXPECT_EQ(pulseAverageVolume({0}), 0.0f);
}

class PulseAudio : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::PulseServer::available()) HALVYN_SKIP_WITHOUT_SERVICE() << "pulseaudio and pactl are needed (scripts/test installs them)";
        time = std::make_unique<RealTime>(1);
        if (!startsLate) {
            ASSERT_TRUE(server.start()) << "the private PulseAudio daemon did not start";
            make();
            ASSERT_TRUE(spinUntil([&] { return connectedCount == 1; }));
        }
    }
    // Returns at once, whatever the server does.
    void make() {
        subs.clear();
        port = std::make_unique<PulseAudioDevices>(time->main(), Logger(&logs, "com.halvyn.app", "AudioDevices"));
        subs.push_back(port->onVolumeChanged([this](AudioDeviceID id) { lastVolume = id; ++volumeCount; }));
        subs.push_back(port->onMuteChanged([this](AudioDeviceID id) { lastMute = id; ++muteCount; }));
        subs.push_back(port->onDefaultOutputDeviceChanged([this](std::optional<AudioDevice> d) {
            lastDefault = d;
            ++defaultCount;
        }));
        subs.push_back(port->onConnected([this] { ++connectedCount; }));
    }
    void TearDown() override {
        subs.clear();
        port.reset();
        time.reset();
    }

    AudioDeviceID idOf(const std::string& uid) {
        for (const auto& d : port->devices())
            if (d.uid == uid) return d.id;
        ADD_FAILURE() << "no device " << uid;
        return 0;
    }

    test::PulseServer server;
    test::ScopedEnv serverVariable{"PULSE_SERVER", server.server()};
    CaptureLogSink logs;
    std::unique_ptr<RealTime> time;
    std::unique_ptr<PulseAudioDevices> port;
    std::vector<Subscription> subs;
    std::optional<AudioDeviceID> lastVolume, lastMute;
    std::optional<AudioDevice> lastDefault;
    int volumeCount = 0, muteCount = 0, defaultCount = 0, connectedCount = 0;
    bool startsLate = false;  // the test starts the server itself
};

// The server comes after the port: its first reading is where the levels stand.
class LatePulseAudio : public PulseAudio {
protected:
    LatePulseAudio() { startsLate = true; }
};

TEST_F(PulseAudio, ReadsTheDefaultSinkFollowsPactlAndWritesKeepingTheBalance) {
    // The first reading is announced as the connection, with no change of its own.
    ASSERT_TRUE(port->isConnected());
    EXPECT_EQ(volumeCount + muteCount + defaultCount, 0);
    const auto first = port->defaultOutputDevice();
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->uid, "one");
    EXPECT_EQ(first->modelUID, "One");
    EXPECT_EQ(port->devices().size(), 2u);
    const AudioDeviceID one = first->id, two = idOf("two");
    EXPECT_TRUE(port->hasProperty(one, AudioProperty::volume));

    server.pactl("set-sink-volume one 40%");
    ASSERT_TRUE(spinUntil([&] { return lastVolume == one; }));
    EXPECT_NEAR(*port->volume(one), 0.40f, 0.005f);

    server.pactl("set-sink-mute one 1");
    ASSERT_TRUE(spinUntil([&] { return lastMute == one; }));
    EXPECT_EQ(port->isMuted(one), true);

    // The channels' average is the level; past 100 % the amplification is read too.
    server.pactl("set-sink-volume two 20% 60%");
    ASSERT_TRUE(spinUntil([&] { return lastVolume == two; }));
    EXPECT_NEAR(*port->volume(two), 0.40f, 0.005f);
    for (const char* level : {"120%", "150%"}) {
        const int before = volumeCount;
        const float wanted = std::stof(level) / 100;
        server.pactl(std::string("set-sink-volume two ") + level);
        EXPECT_TRUE(spinUntil([&] {
            return volumeCount > before && std::fabs(port->volume(two).value_or(0) - wanted) < 0.005f;
        })) << level;
    }

    server.pactl("set-default-sink two");
    ASSERT_TRUE(spinUntil([&] { return lastDefault && lastDefault->uid == "two"; }));
    EXPECT_EQ(port->defaultOutputDevice()->id, two);

    // A level written keeps the balance of the channels.
    server.pactl("set-sink-volume one 30% 90%");
    ASSERT_TRUE(spinUntil([&] { return lastVolume == one; }));
    ASSERT_TRUE(port->setVolume(one, 0.2f));
    ASSERT_TRUE(spinUntil([&] { return std::fabs(port->volume(one).value_or(0) - 0.2f) < 0.005f; }));
    const std::string text = server.pactl("get-sink-volume one");
    EXPECT_NE(text.find("10%"), std::string::npos) << text;
    EXPECT_NE(text.find("30%"), std::string::npos) << text;
    ASSERT_TRUE(port->setMuted(one, false));
    ASSERT_TRUE(spinUntil([&] { return port->isMuted(one) == false; }));
    EXPECT_FALSE(port->setVolume(9999, 0.5f));
    EXPECT_FALSE(port->hasProperty(9999, AudioProperty::mute));
}

// The default moves on when its sink goes; a Bluetooth sink carries its accessory's address and model.
TEST_F(PulseAudio, DefaultMovesWhenItsSinkGoesAndABluetoothSinkCarriesItsAccessory) {
    const std::string index = test::output("env PULSE_SERVER=" + server.server() +
                                           " pactl list short modules | awk '/sink_name=one/ {print $1}'");
    server.pactl("unload-module " + index);
    ASSERT_TRUE(spinUntil([&] { return lastDefault && lastDefault->uid == "two"; }));
    EXPECT_EQ(port->devices().size(), 1u);

    server.pactl("load-module module-null-sink sink_name=buds 'sink_properties=\"device.bus=bluetooth "
                 "device.string=AA:BB:CC:DD:EE:FF device.product.id=0x2014 device.vendor.id=bluetooth:004c\"'");
    server.pactl("set-default-sink buds");
    ASSERT_TRUE(spinUntil([&] { return lastDefault && lastDefault->transportType == "Bluetooth"; }));
    EXPECT_EQ(lastDefault->uid, "aa-bb-cc-dd-ee-ff:buds");
    EXPECT_EQ(lastDefault->modelUID, "2014 4c");
}

// Recording streams: parecord on a null source is a recording under its client name; one on a
// sink's monitor is a level meter; a recorder running before the connection is in its first
// reading, not a start.
TEST_F(PulseAudio, FollowsRecordingStreamsAndTellsMetersApart) {
    server.pactl("load-module module-null-source source_name=mic");
    const auto dir = test::privateFolder("halvyn-parecord");
    std::vector<std::pair<bool, std::vector<CaptureUse>>> heard;
    auto sub = port->onMicrophoneChanged([&](bool first) { heard.emplace_back(first, port->microphoneUses()); });
    auto record = [&](const std::string& source, const std::string& name) {
        return test::spawnWith({"parecord", "-d", source, "--client-name=" + name, (dir / (name + ".wav")).string()},
                               server.env());
    };
    pid_t recorder = record("mic", "Voice\tMemo");
    ASSERT_TRUE(spinUntil([&] { return !heard.empty() && heard.back().second.size() == 1; }));
    CaptureUse use = port->microphoneUses()[0];
    EXPECT_EQ(use.application, "Voice Memo");
    EXPECT_EQ(use.pid, recorder);
    EXPECT_FALSE(use.isOwn || use.isLevelMeter);
    EXPECT_FALSE(heard.back().first);

    pid_t meter = record("one.monitor", "Meter");
    ASSERT_TRUE(spinUntil([&] { return port->microphoneUses().size() == 2; }));
    for (const auto& u : port->microphoneUses()) EXPECT_EQ(u.isLevelMeter, u.application == "Meter") << u.application;

    // A new connection reads both as where things stand.
    sub.reset();
    port.reset();
    connectedCount = 0;
    make();
    heard.clear();
    sub = port->onMicrophoneChanged([&](bool first) { heard.emplace_back(first, port->microphoneUses()); });
    ASSERT_TRUE(spinUntil([&] { return !heard.empty(); }));
    EXPECT_TRUE(heard[0].first);
    EXPECT_EQ(heard[0].second.size(), 2u);

    test::stop(recorder);
    test::stop(meter);
    ASSERT_TRUE(spinUntil([&] { return heard.size() > 1 && heard.back().second.empty(); }));
    EXPECT_FALSE(heard.back().first);
    std::filesystem::remove_all(dir);
}

TEST_F(PulseAudio, ServerThatDiesGoesAbsentAndComesBackReread) {
    server.kill();
    ASSERT_TRUE(spinUntil([&] { return defaultCount == 1; }));
    EXPECT_EQ(lastDefault, std::nullopt);
    EXPECT_FALSE(port->isConnected());
    EXPECT_EQ(port->defaultOutputDevice(), std::nullopt);
    EXPECT_EQ(port->volume(0), std::nullopt);
    EXPECT_FALSE(port->setVolume(0, 0.5f));

    ASSERT_TRUE(server.start());
    server.pactl("set-sink-volume one 30%");
    // Back within the reconnection delay; read again as a starting point, not as a change.
    ASSERT_TRUE(spinUntil([&] { return connectedCount == 2; }, 20000));
    ASSERT_TRUE(port->defaultOutputDevice());
    EXPECT_EQ(port->defaultOutputDevice()->uid, "one");
    EXPECT_NEAR(*port->volume(port->defaultOutputDevice()->id), 0.3f, 0.005f);
    EXPECT_EQ(volumeCount, 0);
    EXPECT_EQ(test::errorsIn(logs), 1) << "the loss is told once";
}

// No server: no devices, and one line however often the port tries again; a server started later
// gives a first reading that is where the levels stand, not a change.
TEST_F(LatePulseAudio, NoServerIsOneLineAndOneStartedLaterIsABaseline) {
    make();
    EXPECT_FALSE(port->isConnected());
    EXPECT_EQ(port->defaultOutputDevice(), std::nullopt);
    EXPECT_TRUE(port->devices().empty());
    EXPECT_TRUE(spinUntil([&] { return !logs.lines.empty(); }));
    spinUntil([] { return false; }, 1500);
    EXPECT_EQ(logs.lines.size(), 1u);

    ASSERT_TRUE(server.start());
    ASSERT_TRUE(spinUntil([&] { return connectedCount == 1; }, 20000));
    const AudioDeviceID one = port->defaultOutputDevice().value().id;
    spinUntil([] { return false; }, 300);
    EXPECT_EQ(volumeCount + muteCount, 0) << "the first reading is no change";
    server.pactl("set-sink-volume one 56%");
    ASSERT_TRUE(spinUntil([&] { return volumeCount == 1; }));
    EXPECT_NEAR(*port->volume(one), 0.56f, 0.005f);
}

TEST_F(LatePulseAudio, StalledServerHoldsNothingUp) {
    ASSERT_TRUE(server.start());
    server.pause();
    EXPECT_LT(test::millisecondsOf([&] { make(); }), 1000) << "the port waits for nobody";
    spinUntil([] { return false; }, 3000);
    EXPECT_FALSE(port->isConnected());
    server.resume();
    ASSERT_TRUE(spinUntil([&] { return connectedCount == 1; }));
    EXPECT_EQ(port->defaultOutputDevice().value().uid, "one");
    EXPECT_EQ(test::errorsIn(logs), 0);
}

}  // namespace
}  // namespace halvyn
