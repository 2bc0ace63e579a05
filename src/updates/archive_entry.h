#pragma once
// What a release archive may hold and where its entries may land when it is unpacked into a
// working folder: one folder named after the application and nothing beside it, names without
// control characters, links that stay inside that folder, and a bounded number of entries and
// bytes. Shared by every unpacker so the rule is the same on each platform.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/installer.h"

namespace halvyn {

// The entry's path made relative and clean ("a/./b/" → "a/b"), or nothing when it is absolute,
// empty, climbs with "..", or holds a NUL.
std::optional<std::string> safeEntryPath(std::string_view path);

// Whether a link stored at the clean relative path `entry` with target `target` resolves inside
// the top folder holding it (absolute targets never do; ".." only before the target's first
// name, and never up to the working folder itself: the top folder is renamed when installed).
// Unpackers also never write through a link, so a link's folder is where its path says.
bool linkStaysInside(std::string_view entry, std::string_view target);

// A name as it may appear in a log line: control characters as \xNN, cut after 200 bytes.
std::string printableEntryName(std::string_view name);

enum class EntryKind { directory, file, link, other };

// Follows one unpacking entry by entry and says, before each is written, whether it may be.
class ArchiveEntryCheck {
public:
    // `freeBytes`: what the destination's file system has free before the first entry.
    ArchiveEntryCheck(UnpackRules rules, std::uint64_t freeBytes);

    struct Verdict {
        std::string path;     // clean, relative to the destination, when admitted
        std::string refusal;  // why not, otherwise (ends the whole unpacking)
        bool ok() const { return refusal.empty(); }
    };
    // `size` is the entry's declared size, when the archive gives one.
    Verdict admit(std::string_view name, EntryKind kind, std::string_view linkTarget,
                  std::optional<std::uint64_t> size);
    // Counts bytes of file contents as they are written: the refusal once the archive unpacks to
    // more than the bound, or empty.
    std::string spend(std::uint64_t bytes);
    // After the last entry: why the archive as a whole is refused, or empty.
    std::string finish() const;

private:
    UnpackRules rules_;
    std::uint64_t free_;
    std::size_t entries_ = 0;
    std::uint64_t declared_ = 0;
    std::uint64_t written_ = 0;
};

}  // namespace halvyn
