#pragma once
// Files and folders the system reads and writes besides its settings: downloaded archives, the
// installed application, the calendar application's preferences. Paths are absolute.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/published.h"

namespace halvyn {

struct FileResult {
    bool ok = true;
    std::string error;  // the system's reason when not ok

    static FileResult failure(std::string why) { return {false, std::move(why)}; }
};

enum class FileType { none, file, directory, link, other };

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // The file's bytes, or nothing with the reason in `error`: missing, not a regular file (a
    // final symbolic link is not followed), or longer than `maxBytes`. Never waits for a writer.
    virtual std::optional<std::string> readFile(const std::string& path, std::size_t maxBytes,
                                                std::string* error = nullptr) const = 0;
    // Replaces the file atomically (a temporary file beside it, then a rename).
    virtual FileResult writeFile(const std::string& path, std::string_view data) = 0;

    // What is at `path`, without following a final link.
    virtual FileType type(const std::string& path) const = 0;
    bool exists(const std::string& path) const { return type(path) != FileType::none; }
    // The names in a folder, sorted; empty when it is not a readable folder.
    virtual std::vector<std::string> list(const std::string& directory) const = 0;

    virtual FileResult createDirectories(const std::string& path) = 0;
    // Removes a file, a link or a whole folder; removing what is not there succeeds.
    virtual FileResult remove(const std::string& path) = 0;
    // rename(2): atomic within one file system, replaces a file or an empty folder at `to`.
    virtual FileResult rename(const std::string& from, const std::string& to) = 0;
    virtual FileResult setExecutable(const std::string& path, bool executable) = 0;
    // Swaps what is at `a` and `b` (files or whole folders) in one step, where the system can;
    // otherwise fails and changes nothing.
    virtual FileResult exchange(const std::string& a, const std::string& b) {
        (void)a;
        (void)b;
        return FileResult::failure("Operation not supported");
    }

    virtual std::string temporaryDirectory() const = 0;
    virtual std::string homeDirectory() const = 0;
    // Where this user's caches live ($XDG_CACHE_HOME when absolute, else ~/.cache).
    virtual std::string cacheDirectory() const = 0;
    // Makes `base`/`relative` a folder only this user can enter. `base` is created when missing;
    // each folder of `relative` is created with mode 0700, or must already be a real folder (not
    // a link) owned by this user that no one else can write to. When the last one is open to
    // others it is closed to them and emptied, since what it holds may not be the user's.
    // Fails with the reason otherwise.
    virtual FileResult makePrivateDirectory(const std::string& base, const std::string& relative) = 0;

    // Calls `changed` on the main queue after the file at `path` was created, written, replaced or
    // removed, until the subscription ends.
    virtual Subscription watch(const std::string& path, std::function<void()> changed) = 0;
};

}  // namespace halvyn
