#pragma once
// The synchronised settings kept in a folder the user chooses (one that a file-sync tool keeps in
// step between machines), or nowhere while none is chosen. Choosing another folder takes effect
// at once: the store then reads and writes there, and its users are told that where it keeps
// entries changed, so that they compare every key anew.
//
// The folder is looked at when told that it changed (a watcher of the folder calls
// `folderChanged`) and, as a safety net, on a slow timer: a folder on a network or user-space
// file system may change on another machine without any event here.

#include <filesystem>
#include <memory>
#include <mutex>

#include "platform/cloud_store.h"
#include "platform/observer_list.h"
#include "runtime/logger.h"
#include "runtime/main_queue.h"
#include "runtime/published.h"

namespace halvyn {

class FolderCloudStore;

class ChosenFolderCloudStore final : public CloudStore {
public:
    ChosenFolderCloudStore(MainQueue& main, Logger log, Duration rescanInterval);
    ~ChosenFolderCloudStore() override;

    // The folder to keep entries in; an empty path is none. The same folder again changes nothing.
    void setFolder(const std::filesystem::path& folder);
    std::filesystem::path folder() const;
    // The folder changed on disk: looks at it now.
    void folderChanged();

    bool available() const override;
    Subscription observeAvailability(std::function<void()> cb) override;
    std::optional<CloudEntry> get(std::string_view name) const override;
    void set(std::string_view name, CloudEntry entry) override;
    void remove(std::string_view name) override;
    void synchronize() override;
    Subscription observeExternalChanges(ExternalChange observer) override;

private:
    // The store of the current folder, shared with a synchroniser step that may still be using
    // it on another thread while the folder changes.
    std::shared_ptr<FolderCloudStore> current() const;

    MainQueue& main_;
    Logger log_;
    Duration rescan_;
    mutable std::mutex mutex_;
    std::shared_ptr<FolderCloudStore> store_;
    Subscription storeChanges_;
    ObserverList<const std::vector<std::string>&> observers_;
    Signal<> availability_;
};

}  // namespace halvyn
