#pragma once
// The program's sounds through the toolkit's effect player (Qt Multimedia, on the desktop's
// PulseAudio or PipeWire server). Alert sounds are decoded once into WAV files in a private
// folder that goes with the program; effects get a player each.

#include <QTemporaryDir>

#include <map>
#include <string>
#include <memory>
#include <vector>

#include "platform/linux/sound_files.h"
#include "platform/sounds.h"
#include "runtime/logger.h"

class QSoundEffect;

namespace halvyn {

class QtSounds final : public Sounds {
public:
    // `resourceFolders`: where the sound files are looked for, in order.
    QtSounds(std::vector<std::string> resourceFolders, Logger logger);
    ~QtSounds() override;

    std::optional<std::string> resourcePath(const std::string& name, const std::string& type) const override;
    std::optional<SystemSoundID> createSystemSound(const std::string& path) override;
    void playSystemSound(SystemSoundID id) override;
    std::unique_ptr<EffectPlayer> makePlayer(const std::string& path, std::string& error) override;

    // The folders a desktop program looks in: the installed share folder beside the program,
    // then the source tree's resources.
    static std::vector<std::string> defaultFolders();

private:
    // A WAV file with the sound of `path` (a copy of a WAV, a decoded CAF); empty with `error` set.
    std::string playable(const std::string& path, std::string& error);

    std::vector<std::string> folders_;
    Logger logger_;
    QTemporaryDir cache_;
    std::map<std::string, std::string> decoded_;
    AlertSounds<std::unique_ptr<QSoundEffect>> alerts_;
};

}  // namespace halvyn
