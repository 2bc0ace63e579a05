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

// Settings and synced values are small; anything larger is refused rather than read into memory.
inline constexpr std::size_t kMaxSettingsFileBytes = 16 * 1024 * 1024;

enum class ReadStatus { ok, missing, notRegular, tooLarge, failed };

// The whole content; nothing when the file cannot be read, with the reason in `status`. Only a
// regular file (or a link to one) is read, and opening never waits: a FIFO or a device in its
// place is `notRegular`.
std::optional<std::string> readFile(const std::filesystem::path& path, ReadStatus* status = nullptr,
                                    std::size_t maxBytes = kMaxSettingsFileBytes);

// Writes `content` to a temporary file beside `path`, flushes it to disk, renames it over `path`
// and flushes the folder, so a crash leaves either the old or the new file, never a mix. When
// `path` is a symbolic link, the file it leads to is replaced (the temporary sits beside that
// file) and the link stays. Returns the new file's signature, or an error text.
struct WriteResult {
    bool ok = false;
    FileSignature signature;
    std::string error;
    int code = 0;  // the system's error number when not ok
};
WriteResult writeFileAtomically(const std::filesystem::path& path, std::string_view content);

// How many set-aside copies of one file are kept.
inline constexpr int kKeptAsideCopies = 5;

// Renames `path` to the first free name among `path` + suffix, + suffix + "-2", ... + suffix +
// "-5"; when all are taken, the copy set aside longest ago makes room. Returns the new name, or
// nothing when it could not be moved.
std::optional<std::filesystem::path> moveAside(const std::filesystem::path& path, std::string_view suffix);

// The file a write to `path` replaces: `path` itself, or where its symbolic links lead.
std::filesystem::path writeTarget(const std::filesystem::path& path);

// Removes the temporaries of interrupted writes to `path` (name + ".tmp-XXXXXX") that no
// running writer holds; returns how many.
int removeStaleTemporaries(const std::filesystem::path& path);
// The same for every file of `folder` whose name ends with `extension`.
int removeStaleTemporariesIn(const std::filesystem::path& folder, std::string_view extension);

}  // namespace halvyn
