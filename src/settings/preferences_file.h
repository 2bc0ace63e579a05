#pragma once
// The preferences domain kept in a JSON file (one object, name to stored object). Every change
// replaces the file atomically. Changes that other processes make to the file are noticed by
// checking the file on a timer of the main queue, and reported as external changes. A file that
// cannot be read or parsed (or is no regular file, or is larger than kMaxSettingsFileBytes) is
// moved aside — never overwritten — and the defaults apply; the newest few such copies are kept.
// A symbolic link stays a link: saving replaces the file it leads to. Temporaries of saves that
// were interrupted are removed at start.

#include <filesystem>

#include "runtime/logger.h"
#include "runtime/main_queue.h"
#include "runtime/task.h"
#include "settings/file_io.h"
#include "settings/memory_preferences.h"

namespace halvyn {

class PreferencesFile final : public MemoryPreferences {
public:
    static constexpr const char* kUnreadableSuffix = ".unreadable";

    PreferencesFile(std::filesystem::path path, MainQueue& main, Logger log, Duration pollInterval = seconds(1));
    ~PreferencesFile() override;

    // Looks at the file now (the timer does this every poll interval).
    void checkForExternalChanges();

    const std::filesystem::path& path() const { return path_; }
    // False after an unreadable file could not be moved aside: nothing is written over it.
    bool isWritable() const;

private:
    void didChange(std::string_view name, const std::optional<Value>& value, Origin origin) override;
    // With the lock held: reads the file; nothing when it is unreadable (then it has been dealt with).
    std::optional<Contents> loadLocked();
    void writeLocked();
    void schedulePoll();

    std::filesystem::path path_;
    MainQueue& main_;
    Logger log_;
    Duration pollInterval_;
    FileSignature known_;
    bool writable_ = true;
    TaskHandle poll_;
};

}  // namespace halvyn
