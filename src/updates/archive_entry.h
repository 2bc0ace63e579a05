#pragma once
// Where an archive's entry may land when it is unpacked into a working folder: only inside it.
// Shared by every unpacker so the rule is the same on each platform.

#include <optional>
#include <string>
#include <string_view>

namespace halvyn {

// The entry's path made relative and clean ("a/./b/" → "a/b"), or nothing when it is absolute,
// empty, climbs with "..", or holds a NUL.
std::optional<std::string> safeEntryPath(std::string_view path);

// Whether a link stored at the clean relative path `entry` with target `target` resolves inside
// the working folder (absolute targets never do; ".." only before the target's first name).
// Unpackers also never write through a link, so a link's folder is where its path says.
bool linkStaysInside(std::string_view entry, std::string_view target);

}  // namespace halvyn
