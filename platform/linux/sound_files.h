#pragma once
// Where the program's sound files are, and finding one by name.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/sounds.h"

namespace halvyn {

class Logger;

// The installed share folder beside the program, then the source tree's resources.
std::vector<std::string> soundFolders();

// The file `name`.`type` (or `name` alone when `type` is empty) in the first of `folders` that
// has it, as a real path; a name is a file name, never a way out of the folder.
std::optional<std::string> findSoundFile(const std::vector<std::string>& folders, const std::string& name,
                                         const std::string& type);

// Whether `path` is a file a sound can be made of (a regular file); why not is logged.
bool isSoundFile(const std::string& path, const Logger& logger);

// The alert sounds an adapter has numbered. Start-up registers every alert and most never play,
// so registering only checks the file; what an alert needs to play (`Loaded`) is made by the
// adapter when it first does.
template <class Loaded>
class AlertSounds {
public:
    struct Alert {
        std::string path;
        Loaded loaded{};
    };
    std::optional<SystemSoundID> add(const std::string& path, const Logger& logger) {
        if (!isSoundFile(path, logger)) return std::nullopt;
        alerts_[++last_].path = path;
        return last_;
    }
    Alert* find(SystemSoundID id) {
        auto it = alerts_.find(id);
        return it == alerts_.end() ? nullptr : &it->second;
    }
    // An alert that cannot play is forgotten: asking again does nothing.
    void forget(SystemSoundID id) { alerts_.erase(id); }

private:
    std::map<SystemSoundID, Alert> alerts_;
    SystemSoundID last_ = 0;
};

}  // namespace halvyn
