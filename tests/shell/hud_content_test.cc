#include "shell/hud_content.h"

#include <gtest/gtest.h>

#include "shell/colors.h"

namespace halvyn {
namespace {

const QColor kAccent(0x0A, 0x84, 0xFF);

DisplayLook look(HUDProgressStyle style = HUDProgressStyle::white, SymbolScaling scaling = SymbolScaling::scale) {
    DisplayLook l;
    l.progressStyle = style;
    l.symbolScaling = scaling;
    return l;
}

double opacityOf(const LevelDisplayContent& c, const std::string& name) {
    for (auto& l : c.symbol)
        if (l.name == name) return l.opacity;
    return -1;
}

TEST(VolumeDisplay, WavesFollowTheLevelWhenScaling) {
    struct Case {
        float volume;
        double wave1, wave2;
    };
    for (Case c : {Case{0.01f, 0, 0}, Case{0.25f, 0, 0}, Case{0.2501f, 1, 0}, Case{0.7499f, 1, 0}, Case{0.75f, 1, 1},
                   Case{1.0f, 1, 1}, Case{1.5f, 1, 1}}) {
        auto content = volumeContent(c.volume, look(), OutputDevice::speaker, std::nullopt, kAccent);
        EXPECT_EQ(opacityOf(content, "speaker.fill"), 1) << c.volume;
        EXPECT_EQ(opacityOf(content, "speaker.wave.1.fill"), c.wave1) << c.volume;
        EXPECT_EQ(opacityOf(content, "speaker.wave.2.fill"), c.wave2) << c.volume;
    }
    // Hidden waves are also drawn at half size; "retain" always shows both at full size.
    auto quiet = volumeContent(0.1f, look(), OutputDevice::speaker, std::nullopt, kAccent);
    EXPECT_EQ(quiet.symbol[2].scale, 0.5);
    auto retained = volumeContent(0.01f, look(HUDProgressStyle::white, SymbolScaling::retain), OutputDevice::speaker,
                                  std::nullopt, kAccent);
    EXPECT_EQ(opacityOf(retained, "speaker.wave.2.fill"), 1);
    EXPECT_EQ(retained.symbol[2].scale, 1);
}

TEST(VolumeDisplay, MutedOrSilentShowsTheSlashedSpeakerWhateverTheDevice) {
    for (auto [device, symbol] : {std::pair{OutputDevice::speaker, std::optional<std::string>()},
                                  std::pair{OutputDevice::dynamic, std::optional<std::string>("headphones")}}) {
        auto muted = volumeContent(0.0f, look(), device, symbol, kAccent);
        ASSERT_EQ(muted.symbol.size(), 1u);
        EXPECT_EQ(muted.symbol[0].name, "speaker.slash.fill");
        EXPECT_EQ(muted.bar->level, 0);
    }
}

TEST(VolumeDisplay, DeviceSymbolOnlyWhenDynamicAndKnown) {
    auto symbol = [](OutputDevice device, std::optional<std::string> known) {
        return volumeContent(0.5f, look(), device, known, kAccent).symbol[0].name;
    };
    EXPECT_EQ(symbol(OutputDevice::dynamic, "headphones"), "headphones");
    EXPECT_EQ(symbol(OutputDevice::speaker, "headphones"), "speaker.fill");
    EXPECT_EQ(symbol(OutputDevice::dynamic, std::nullopt), "speaker.fill");
}

TEST(VolumeDisplay, StylizedBarColourBoundsAreInclusiveInOrder) {
    auto fillAt = [](float v) {
        return volumeContent(v, look(HUDProgressStyle::stylized), OutputDevice::speaker, std::nullopt, kAccent).bar->fill;
    };
    // Amplified past full counts as full.
    for (auto [level, colour] : {std::pair{1.5f, roseColor()}, {1.0f, roseColor()}, {0.9f, roseColor()},
                                 {0.89f, reddishOrangeColor()}, {0.75f, reddishOrangeColor()}, {0.74f, emeraldColor()},
                                 {0.0f, emeraldColor()}})
        EXPECT_EQ(fillAt(level), colour) << level;
    auto bar = *volumeContent(0.8f, look(HUDProgressStyle::stylized), OutputDevice::speaker, std::nullopt, kAccent).bar;
    EXPECT_EQ(bar.track.rgb(), reddishOrangeColor().rgb());
    EXPECT_NEAR(bar.track.alphaF(), 0.25, 0.01);
    EXPECT_FALSE(bar.fillEnd.has_value());
}

TEST(LevelDisplays, BarStylesLabelsAndPercentages) {
    DisplayLook l = look(HUDProgressStyle::accent);
    l.showPercentage = true;
    auto v = volumeContent(0.56f, l, OutputDevice::speaker, std::nullopt, kAccent);
    EXPECT_EQ(v.label, "Sound");
    EXPECT_EQ(v.percentage, "56%");
    EXPECT_EQ(v.bar->fill, kAccent);
    EXPECT_NEAR(v.bar->track.alphaF(), 0.3, 0.01);
    const auto loud = volumeContent(1.2f, l, OutputDevice::speaker, std::nullopt, kAccent);
    EXPECT_EQ(loud.percentage, "120%");
    EXPECT_FLOAT_EQ(loud.bar->level, 1.2f) << "the bar carries the amplification it marks";

    l.hideLabel = true;
    l.showPercentage = false;
    l.progressStyle = HUDProgressStyle::stylized;
    auto b = brightnessContent(0.5625f, l, kAccent);
    EXPECT_EQ(b.label, "");
    EXPECT_EQ(b.percentage, "");
    ASSERT_TRUE(b.bar->fillEnd.has_value()) << "the stylized brightness bar is a gradient";
    EXPECT_EQ(*b.bar->fillEnd, QColor(Qt::white));
    EXPECT_NEAR(b.bar->track.alphaF(), 0.25, 0.01);

    auto white = brightnessContent(0.3f, look(), kAccent);
    EXPECT_EQ(white.label, "Display");
    EXPECT_EQ(white.bar->fill, QColor(Qt::white));
    EXPECT_NEAR(white.bar->track.alphaF(), 0.4, 0.01);

    auto retained = brightnessContent(0.3f, look(HUDProgressStyle::white, SymbolScaling::retain), kAccent);
    ASSERT_EQ(retained.symbol.size(), 1u);
    EXPECT_EQ(retained.symbol[0].name, "sun.max.fill");
    EXPECT_EQ(brightnessContent(0.3f, look(), kAccent).symbol.size(), 2u);
    // The keyboard's display is the brightness display's, with the lit keyboard: small below half.
    const auto keyboard = keyboardBrightnessContent(0.3f, look(), kAccent);
    EXPECT_EQ(keyboard.label, "Keyboard");
    ASSERT_EQ(keyboard.symbol.size(), 2u);
    EXPECT_EQ(keyboard.symbol[0].name, "light.min");
    EXPECT_EQ(keyboard.symbol[0].opacity, 1.0);
    EXPECT_EQ(keyboardBrightnessContent(0.5f, look(), kAccent).symbol[1].opacity, 1.0);

    // "%.0f" rounds to the nearest whole percent.
    EXPECT_EQ(percentText(0.005), "0%");
    EXPECT_EQ(percentText(0.996), "100%");
}

TEST(BatteryDisplay, LabelsAndPercentage) {
    EXPECT_EQ(batteryContent(BatteryDisplay::charging, 0.8, false, false).label, "Charging");
    EXPECT_EQ(batteryContent(BatteryDisplay::lowBattery, 0.1, false, false).label, "Low Battery");
    EXPECT_EQ(batteryContent(BatteryDisplay::lowPowerMode, 0.42, false, false).percentage, "42%");
    auto hidden = batteryContent(BatteryDisplay::charging, 0.8, true, true);
    EXPECT_EQ(hidden.label + hidden.percentage, "");
}

}  // namespace
}  // namespace halvyn
