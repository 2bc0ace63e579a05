#include "shell/resources.h"

#include <system_error>

namespace halvyn {

std::optional<std::filesystem::path> resourceDirectory(const std::filesystem::path& programDir) {
    std::error_code ec;
    const auto installed = (programDir / ".." / "share" / "halvyn").lexically_normal();
    if (std::filesystem::is_directory(installed / "sounds", ec)) return installed;
#ifdef HALVYN_SOURCE_RESOURCES
    const std::filesystem::path source(HALVYN_SOURCE_RESOURCES);
    if (std::filesystem::is_directory(source / "sounds", ec)) return source;
#endif
    return std::nullopt;
}

std::filesystem::path programDirectory() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::current_path(ec) : exe.parent_path();
}

}  // namespace halvyn
