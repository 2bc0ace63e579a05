#pragma once
// File helpers for the settings backends: whole-file reads, atomic replacement and the identity
// of a file's current content, which is how changes made by other processes are noticed.

#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace halvyn {

// What identifies one version of a file: replacing it atomically changes the inode, editing it in
// place changes the size or the modification time.
struct FileSignature {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::timespec modified{};

    friend bool operator==(const FileSignature& a, const FileSignature& b) {
        return a.exists == b.exists && a.device == b.device && a.inode == b.inode && a.size == b.size &&
               a.modified.tv_sec == b.modified.tv_sec && a.modified.tv_nsec == b.modified.tv_nsec;
    }
};

FileSignature signatureOf(const std::filesystem::path& path);

// The whole content; nothing when the file cannot be read (a missing file sets `missing`).
std::optional<std::string> readFile(const std::filesystem::path& path, bool* missing = nullptr);

// Writes `content` to a temporary file beside `path`, flushes it to disk, renames it over `path`
// and flushes the folder, so a crash leaves either the old or the new file, never a mix. Returns
// the new file's signature, or an error text.
struct WriteResult {
    bool ok = false;
    FileSignature signature;
    std::string error;
};
WriteResult writeFileAtomically(const std::filesystem::path& path, std::string_view content);

// Renames `path` to the first free name among `path` + suffix, + suffix + "-2", ...; returns the
// new name, or nothing when it could not be moved.
std::optional<std::filesystem::path> moveAside(const std::filesystem::path& path, std::string_view suffix);

}  // namespace halvyn
