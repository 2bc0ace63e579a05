#include "platform/linux/sound_files.h"

#include <filesystem>

#include "runtime/logger.h"

namespace halvyn {

std::vector<std::string> soundFolders() {
    std::vector<std::string> out;
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) out.push_back((exe.parent_path() / "../share/halvyn/sounds").string());
#ifdef HALVYN_SOURCE_RESOURCES
    out.push_back(std::string(HALVYN_SOURCE_RESOURCES) + "/sounds");
#endif
    return out;
}

std::optional<std::string> findSoundFile(const std::vector<std::string>& folders, const std::string& name,
                                         const std::string& type) {
    if (name.empty() || name.find('/') != std::string::npos || type.find('/') != std::string::npos ||
        name.starts_with("."))
        return std::nullopt;
    const std::string file = type.empty() ? name : name + "." + type;
    std::error_code ec;
    for (const auto& folder : folders) {
        const auto path = std::filesystem::path(folder) / file;
        if (std::filesystem::is_regular_file(path, ec)) return std::filesystem::weakly_canonical(path, ec).string();
    }
    return std::nullopt;
}

bool isSoundFile(const std::string& path, const Logger& logger) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(path, ec)) return true;
    logger.error("Sound %{public}s cannot be played: %{public}s", path, ec ? ec.message() : "not a file");
    return false;
}

}  // namespace halvyn
