#pragma once
// The preferences domain kept in a JSON file (one object, name to stored object). Every save
// replaces the file atomically with the whole set, recreating its folder when it has gone.
//
// Changes that other processes make to the file come in through `fileChanged` (a watch, and a
// timer of the main queue as a backstop) and are read only once the file has stayed unchanged for
// kSettleTime: a writer that writes it in place (`printf … > file`) leaves it empty or half-written
// in between. A file that does not read is looked at once more kRetryTime later; one still
// unreadable then (or no regular file, or larger than kMaxSettingsFileBytes) is moved aside — never
// overwritten; the newest few such copies are kept — but only when the settings in use are about
// to be saved over it: at the next change of a setting, or after kResaveQuietTime without a sign of
// a writer. A file that disappears is no request for defaults: the settings in use stay and are
// saved, whole, with the next change. Changes this process makes while an edit of the file is
// being read are saved on top of that edit.
//
// A save that fails is retried with the next change and on a back-off (kFirstRetry, doubling up to
// kLastRetry), and its reason is the domain's save problem until a save succeeds. A symbolic link
// stays a link: saving replaces the file it leads to. Temporaries of saves that were interrupted
// are removed at start.

#include <filesystem>
#include <optional>
#include <set>
#include <string>

#include "runtime/debounce.h"
#include "runtime/lifetime.h"
#include "runtime/logger.h"
#include "runtime/main_queue.h"
#include "runtime/task.h"
#include "settings/file_io.h"
#include "settings/memory_preferences.h"

namespace halvyn {

class PreferencesFile final : public MemoryPreferences {
public:
    static constexpr const char* kUnreadableSuffix = ".unreadable";
    static constexpr Duration kSettleTime = std::chrono::milliseconds(300);
    static constexpr Duration kRetryTime = std::chrono::seconds(1);
    static constexpr Duration kResaveQuietTime = std::chrono::seconds(10);
    static constexpr Duration kFirstRetry = std::chrono::seconds(2);
    static constexpr Duration kLastRetry = std::chrono::seconds(120);

    PreferencesFile(std::filesystem::path path, MainQueue& main, Logger log, Duration pollInterval = seconds(1));
    // Saves what is still unsaved (over an unreadable file, kept aside).
    ~PreferencesFile() override;

    // The file or its folder may have changed: read once it has settled. Main queue only.
    void fileChanged();

    const std::filesystem::path& path() const { return path_; }

    std::string saveProblem() const override;
    Subscription observeSaveProblem(std::function<void()> changed) override;
    // Called on the main queue after every save that succeeded (the folder may be new).
    void setSavedCallback(std::function<void()> saved) { saved_ = std::move(saved); }

private:
    void didChange(std::string_view name, const std::optional<Value>& value, Origin origin) override;
    // With the lock held: the file's settings; nothing when it is missing or unreadable (`status`).
    std::optional<Contents> readLocked(ReadStatus& status);
    // With the lock held: moves the unreadable file aside; false, with the problem said, when it
    // cannot be moved.
    bool moveAsideLocked();
    // With the lock held: the file's settings replace the ones in use, except those this process
    // changed and has not saved yet; returns the names whose object changed.
    std::vector<std::string> mergeLocked(Contents contents);
    void readSettled();
    void saveLocked();
    void setProblemLocked(std::string problem);
    void afterSave();
    void schedulePoll();

    std::filesystem::path path_;
    MainQueue& main_;
    Logger log_;
    Duration pollInterval_;

    // With the lock held.
    FileSignature known_;                     // the version last read or written
    bool unreadable_ = false;                 // the file there is moved aside before the next save
    const char* unreadableWhy_ = "";
    std::optional<FileSignature> lookedAgain_;  // an unreadable version waiting for its second look
    bool settling_ = false;                   // a change of the file is waiting to be read
    FileSignature lastSeen_;                  // the version the last sign of a change found
    std::set<std::string, std::less<>> unsaved_;
    std::string problem_;

    // Main queue only.
    Debounce settle_{main_, "settleSettingsFile"};
    Debounce resave_{main_, "resaveSettingsFile"};
    Debounce retry_{main_, "retrySettingsSave"};
    Duration backoff_ = kFirstRetry;
    std::string reported_;
    Signal<> problemChanged_;
    std::function<void()> saved_;
    TaskHandle poll_;
    Lifetime lifetime_;
};

}  // namespace halvyn
