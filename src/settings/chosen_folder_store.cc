#include "settings/chosen_folder_store.h"

#include <thread>

#include "settings/cloud_folder.h"

namespace halvyn {

ChosenFolderCloudStore::ChosenFolderCloudStore(MainQueue& main, Logger log, Duration rescanInterval)
    : main_(main), log_(std::move(log)), rescan_(rescanInterval) {}

ChosenFolderCloudStore::~ChosenFolderCloudStore() = default;

std::shared_ptr<FolderCloudStore> ChosenFolderCloudStore::current() const {
    std::lock_guard lock(mutex_);
    return store_;
}

std::filesystem::path ChosenFolderCloudStore::folder() const {
    const auto s = current();
    return s ? s->folder() : std::filesystem::path();
}

void ChosenFolderCloudStore::setFolder(const std::filesystem::path& folder) {
    if (folder == this->folder()) return;
    std::shared_ptr<FolderCloudStore> next;
    if (!folder.empty()) {
        if (!folder.is_absolute()) {
            log_.error("The sync folder %{public}s is not an absolute path; settings are not synced", folder.string());
        } else {
            // A store last let go of by a step on another thread goes on the main queue, where
            // its timer lives.
            MainQueue* main = &main_;
            next = std::shared_ptr<FolderCloudStore>(
                new FolderCloudStore(folder, main_, log_, rescan_),
                [main, home = std::this_thread::get_id()](FolderCloudStore* s) {
                    if (std::this_thread::get_id() == home)
                        delete s;
                    else
                        main->post([s] { delete s; });
                });
        }
    }
    storeChanges_.reset();
    if (next) storeChanges_ = next->observeExternalChanges([this](const std::vector<std::string>& names) {
        observers_.notify(names);
    });
    {
        std::lock_guard lock(mutex_);
        store_ = std::move(next);
    }
    if (!folder.empty() && available()) log_.info("Syncing settings through %{public}s", folder.string());
    availability_.emit();
}

void ChosenFolderCloudStore::folderChanged() {
    if (auto s = current()) s->checkForExternalChanges();
}

bool ChosenFolderCloudStore::available() const { return current() != nullptr; }

Subscription ChosenFolderCloudStore::observeAvailability(std::function<void()> cb) {
    return availability_.connect(std::move(cb));
}

std::optional<CloudEntry> ChosenFolderCloudStore::get(std::string_view name) const {
    const auto s = current();
    return s ? s->get(name) : std::nullopt;
}

void ChosenFolderCloudStore::set(std::string_view name, CloudEntry entry) {
    if (auto s = current()) s->set(name, std::move(entry));
}

void ChosenFolderCloudStore::remove(std::string_view name) {
    if (auto s = current()) s->remove(name);
}

void ChosenFolderCloudStore::synchronize() {
    if (auto s = current()) s->synchronize();
}

Subscription ChosenFolderCloudStore::observeExternalChanges(ExternalChange observer) {
    return observers_.add(std::move(observer));
}

}  // namespace halvyn
