#pragma once
// Where the program's own files (sounds, icons) are: found from the program's location, so an
// installed tree can be moved as a whole.

#include <filesystem>
#include <optional>

namespace halvyn {

// <prefix>/share/halvyn for a program in <prefix>/bin; the source tree's resources/ for a
// program run from its build folder; nothing when neither holds the sounds.
std::optional<std::filesystem::path> resourceDirectory(const std::filesystem::path& programDir);
// The folder of the running program, from /proc/self/exe.
std::filesystem::path programDirectory();

}  // namespace halvyn
