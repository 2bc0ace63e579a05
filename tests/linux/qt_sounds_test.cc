// The program's sounds: CAF files turned into WAV, and played into a private PulseAudio daemon.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "linux/services.h"
#include "platform/linux/caf_audio.h"
#include "platform/linux/qt_sounds.h"
#include "runtime/logger.h"

namespace halvyn {
namespace {

using test::spinUntil;

std::string bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::uint32_t le(const std::string& s, std::size_t at, int n) {
    std::uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + i]);
    return v;
}

TEST(CafAudio, ConvertsTheAlertSoundsAndRefusesDamagedFiles) {
    const std::string caf = bytesOf(std::string(HALVYN_SOURCE_DIR) + "/resources/sounds/lock.caf");
    std::string error;
    const auto wav = wavFromCaf(caf, error);
    ASSERT_TRUE(wav.has_value()) << error;
    EXPECT_EQ(wav->substr(0, 4), "RIFF");
    EXPECT_EQ(le(*wav, 22, 2), 1u);       // mono
    EXPECT_EQ(le(*wav, 24, 4), 22050u);   // rate
    EXPECT_EQ(le(*wav, 34, 2), 16u);
    // The samples are the CAF's, big-endian there, little-endian here.
    const std::uint32_t length = le(*wav, 40, 4);
    EXPECT_EQ(wav->size(), 44u + length);
    std::string swapped = wav->substr(44, 64);
    for (std::size_t i = 0; i + 1 < swapped.size(); i += 2) std::swap(swapped[i], swapped[i + 1]);
    EXPECT_NE(caf.find(swapped), std::string::npos);

    EXPECT_FALSE(wavFromCaf(caf.substr(0, 40), error)) << "cut inside the format";
    EXPECT_FALSE(wavFromCaf("RIFF....", error));
    std::string huge = caf;
    huge.replace(12, 8, std::string("\x7f\xff\xff\xff\xff\xff\xff\xff", 8));  // desc size past the end
    EXPECT_FALSE(wavFromCaf(huge, error));
    std::string floats = caf;
    floats[8 + 12 + 15] = 3;  // the float flag
    EXPECT_FALSE(wavFromCaf(floats, error));
    EXPECT_EQ(error, "unsupported sample format");
}

TEST(QtSoundsFiles, NamesStayInsideTheFolders) {
    CaptureLogSink logs;
    QtSounds sounds({std::string(HALVYN_SOURCE_DIR) + "/resources/sounds"}, Logger(&logs, "com.halvyn.app", "Sounds"));
    EXPECT_TRUE(sounds.resourcePath("lock", "caf").has_value());
    EXPECT_FALSE(sounds.resourcePath("../sounds/lock", "caf").has_value());
    EXPECT_FALSE(sounds.resourcePath("missing", "caf").has_value());
    std::string error;
    EXPECT_EQ(sounds.makePlayer(*sounds.resourcePath("pad", "m4a"), error), nullptr);
    EXPECT_FALSE(error.empty());
    // An alert is decoded when it first plays, not when it is registered at start-up: a damaged
    // one is said then, once, and plays nothing.
    const auto damaged = sounds.createSystemSound(*sounds.resourcePath("pad", "m4a"));
    ASSERT_TRUE(damaged.has_value());
    EXPECT_TRUE(logs.lines.empty());
    sounds.playSystemSound(*damaged);
    sounds.playSystemSound(*damaged);
    EXPECT_EQ(logs.lines.size(), 1u);
    EXPECT_FALSE(sounds.createSystemSound("/nonexistent/lock.caf").has_value());
}

TEST(QtSoundsPlayback, AlertAndEffectPlayIntoThePrivateServer) {
    if (!test::PulseServer::available()) HALVYN_SKIP_WITHOUT_SERVICE() << "pulseaudio is needed";
    test::PulseServer pulse;
    ASSERT_TRUE(pulse.start());
    test::ScopedEnv server("PULSE_SERVER", pulse.server());
    CaptureLogSink logs;
    {
        QtSounds sounds(QtSounds::defaultFolders(), Logger(&logs, "com.halvyn.app", "Sounds"));
        const auto path = sounds.resourcePath("chime", "caf");
        ASSERT_TRUE(path.has_value());
        std::string error;
        auto player = sounds.makePlayer(*path, error);
        ASSERT_NE(player, nullptr) << error;
        std::optional<bool> finished;
        player->setFinishHandler([&](bool ok) { finished = ok; });
        player->setVolume(0.6f);
        player->play();
        EXPECT_TRUE(spinUntil([&] { return pulse.pactl("list short sink-inputs").find("\t") != std::string::npos; }, 10000))
            << "no stream reached the server";
        ASSERT_TRUE(spinUntil([&] { return finished.has_value(); }, 10000));
        EXPECT_EQ(finished, true);

        // An alert, and a player stopped early: not a success.
        const auto alert = sounds.createSystemSound(*sounds.resourcePath("lock", "caf"));
        ASSERT_TRUE(alert.has_value());
        sounds.playSystemSound(*alert);
        auto stopped = sounds.makePlayer(*path, error);
        std::optional<bool> stoppedResult;
        stopped->setFinishHandler([&](bool ok) { stoppedResult = ok; });
        stopped->play();
        ASSERT_TRUE(spinUntil([&] { return pulse.pactl("list short sink-inputs").find("\t") != std::string::npos; }, 10000));
        stopped->stop();
        ASSERT_TRUE(spinUntil([&] { return stoppedResult.has_value(); }, 10000));
        EXPECT_EQ(stoppedResult, false);
    }
    EXPECT_TRUE(logs.lines.empty());
}

}  // namespace
}  // namespace halvyn
