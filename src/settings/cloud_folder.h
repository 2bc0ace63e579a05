#pragma once
// A cloud key-value store kept in a folder that a file-sync tool shares between the user's
// machines: one JSON file per key, {"time": seconds since 1970, "value": ...} ("value" left out
// when the key was removed). Files are replaced atomically. The folder is checked on a timer
// of the main queue; a file that changed and was not written by this store is an external
// change. Two stores on one folder behave like two machines. A key's file that is malformed is
// never overwritten (the sync tool may still be bringing it in); one that is no regular file or
// is too large is kept aside when the key is next saved.

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/cloud_store.h"
#include "platform/observer_list.h"
#include "runtime/lifetime.h"
#include "runtime/logger.h"
#include "runtime/main_queue.h"
#include "runtime/task.h"
#include "settings/file_io.h"

namespace halvyn {

class FolderCloudStore final : public CloudStore {
public:
    // Where a key's file that is no regular file, or too large, is kept when it must be replaced.
    static constexpr const char* kUnreadableSuffix = ".unreadable";

    FolderCloudStore(std::filesystem::path folder, MainQueue& main, Logger log, Duration pollInterval = seconds(2));
    ~FolderCloudStore() override;

    std::optional<CloudEntry> get(std::string_view name) const override;
    void set(std::string_view name, CloudEntry entry) override;
    void remove(std::string_view name) override;
    // Looks at the folder on the next turn of the main queue.
    void synchronize() override;
    Subscription observeExternalChanges(ExternalChange observer) override;

    // Looks at the folder now; reports external changes.
    void checkForExternalChanges();

    const std::filesystem::path& folder() const { return folder_; }
    // The file of a key: names are percent-encoded so that any name is one safe file name.
    std::filesystem::path fileOf(std::string_view name) const;

private:
    struct Read {
        std::optional<CloudEntry> entry;
        ReadStatus status = ReadStatus::missing;
        bool malformed = false;  // read, but not an entry
    };
    static Read read(const std::filesystem::path& file);
    // Signatures of the files as this store last wrote or saw them, by key name.
    std::map<std::string, FileSignature, std::less<>> scanLocked() const;
    void schedulePoll();

    std::filesystem::path folder_;
    MainQueue& main_;
    Logger log_;
    Duration pollInterval_;
    mutable std::mutex mutex_;
    std::map<std::string, FileSignature, std::less<>> known_;
    ObserverList<const std::vector<std::string>&> observers_;
    TaskHandle poll_;
    Lifetime lifetime_;
};

}  // namespace halvyn
