#include "platform/linux/qt_sounds.h"

#include <QSoundEffect>
#include <QUrl>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/linux/caf_audio.h"
#include "platform/linux/sound_files.h"

namespace halvyn {

namespace {
// Sound files are small; anything larger is not one of ours.
constexpr std::uintmax_t kLargestSound = 16 * 1024 * 1024;

class QtEffectPlayer final : public EffectPlayer {
public:
    explicit QtEffectPlayer(const std::string& wav) {
        effect_.setSource(QUrl::fromLocalFile(QString::fromStdString(wav)));
        QObject::connect(&effect_, &QSoundEffect::playingChanged, &effect_, [this] {
            if (effect_.isPlaying()) started_ = true;
            else if (started_) finish(!stopped_);
        });
        QObject::connect(&effect_, &QSoundEffect::statusChanged, &effect_, [this] {
            if (effect_.status() == QSoundEffect::Error) finish(false);
        });
    }
    void setFinishHandler(std::function<void(bool)> handler) override { handler_ = std::move(handler); }
    void prepare() override {}
    void setVolume(float volume) override { effect_.setVolume(volume); }
    void play() override { effect_.play(); }
    void stop() override {
        stopped_ = true;
        effect_.stop();
    }

private:
    void finish(bool successfully) {
        if (done_) return;
        done_ = true;
        if (handler_) handler_(successfully);
    }
    QSoundEffect effect_;
    std::function<void(bool)> handler_;
    bool started_ = false, stopped_ = false, done_ = false;
};
}  // namespace

QtSounds::QtSounds(std::vector<std::string> resourceFolders, Logger logger)
    : folders_(std::move(resourceFolders)), logger_(std::move(logger)) {}

QtSounds::~QtSounds() = default;

std::vector<std::string> QtSounds::defaultFolders() { return soundFolders(); }

std::optional<std::string> QtSounds::resourcePath(const std::string& name, const std::string& type) const {
    return findSoundFile(folders_, name, type);
}

std::string QtSounds::playable(const std::string& path, std::string& error) {
    if (auto it = decoded_.find(path); it != decoded_.end()) return it->second;
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec || size > kLargestSound) {
        error = ec ? ec.message() : "file too large";
        return {};
    }
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    const std::string data = bytes.str();
    std::string wav;
    if (data.rfind("RIFF", 0) == 0) {
        wav = data;
    } else if (auto converted = wavFromCaf(data, error)) {
        wav = std::move(*converted);
    } else {
        return {};
    }
    if (!cache_.isValid()) {
        error = "no folder for decoded sounds";
        return {};
    }
    const std::string out = cache_.filePath(QString::number(decoded_.size()) + QStringLiteral(".wav")).toStdString();
    std::ofstream(out, std::ios::binary) << wav;
    decoded_[path] = out;
    return out;
}

std::optional<SystemSoundID> QtSounds::createSystemSound(const std::string& path) { return alerts_.add(path, logger_); }

void QtSounds::playSystemSound(SystemSoundID id) {
    auto* alert = alerts_.find(id);
    if (!alert) return;
    // Made on first use: the audio server is reached only when a sound plays.
    if (!alert->loaded) {
        std::string error;
        const std::string wav = playable(alert->path, error);
        if (wav.empty()) {
            logger_.error("Sound %{public}s cannot be played: %{public}s", alert->path, error);
            return alerts_.forget(id);
        }
        alert->loaded = std::make_unique<QSoundEffect>();
        alert->loaded->setSource(QUrl::fromLocalFile(QString::fromStdString(wav)));
    }
    alert->loaded->play();
}

std::unique_ptr<EffectPlayer> QtSounds::makePlayer(const std::string& path, std::string& error) {
    const std::string wav = playable(path, error);
    if (wav.empty()) return nullptr;
    return std::make_unique<QtEffectPlayer>(wav);
}

}  // namespace halvyn
