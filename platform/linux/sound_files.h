#pragma once
// Where the program's sound files are, and finding one by name.

#include <optional>
#include <string>
#include <vector>

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

}  // namespace halvyn
