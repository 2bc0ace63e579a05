#include "settings/cloud_folder.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <unistd.h>

#include "settings/json_value.h"

namespace halvyn {

namespace {

constexpr std::string_view kExtension = ".json";

bool plain(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

std::string encodeName(std::string_view name) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : name) {
        if (plain(static_cast<char>(c))) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The key of a file name this store could have written; nothing for any other file.
std::optional<std::string> decodeFileName(std::string_view file) {
    if (file.size() <= kExtension.size() || !file.ends_with(kExtension)) return std::nullopt;
    file.remove_suffix(kExtension.size());
    std::string out;
    for (std::size_t i = 0; i < file.size(); ++i) {
        if (plain(file[i])) {
            out += file[i];
        } else if (file[i] == '%' && i + 2 < file.size() && hexDigit(file[i + 1]) >= 0 && hexDigit(file[i + 2]) >= 0) {
            out += static_cast<char>(hexDigit(file[i + 1]) * 16 + hexDigit(file[i + 2]));
            i += 2;
        } else {
            return std::nullopt;
        }
    }
    return out;
}

}  // namespace

FolderCloudStore::FolderCloudStore(std::filesystem::path folder, MainQueue& main, Logger log, Duration pollInterval)
    : folder_(std::move(folder)), main_(main), log_(std::move(log)), pollInterval_(pollInterval) {
    std::error_code ec;
    std::filesystem::create_directories(folder_, ec);
    if (ec) log_.error("Cannot create the sync folder %{public}s: %{public}s", folder_.string(), ec.message());
    if (const int stale = removeStaleTemporariesIn(folder_, kExtension))
        log_.info("Removed %d unfinished synced value(s) in %{public}s", stale, folder_.string());
    {
        // What is there now is the starting point, not a change.
        std::lock_guard lock(mutex_);
        known_ = scanLocked();
    }
    schedulePoll();
}

FolderCloudStore::~FolderCloudStore() { poll_.cancel(); }

std::filesystem::path FolderCloudStore::fileOf(std::string_view name) const {
    return folder_ / (encodeName(name) + std::string(kExtension));
}

FolderCloudStore::Read FolderCloudStore::read(const std::filesystem::path& file) {
    Read r;
    auto text = readFile(file, &r.status);
    if (!text) return r;
    auto doc = parseJson(*text);
    const Value* time = doc ? doc->find("time") : nullptr;
    if (!time || !time->isNumber() || !std::isfinite(time->asNumber())) {
        r.malformed = true;
        return r;
    }
    r.entry = CloudEntry{std::nullopt, WallTime(seconds(time->asNumber()))};
    if (const Value* v = doc->find("value"); v && !v->isNull()) r.entry->value = *v;
    return r;
}

std::optional<CloudEntry> FolderCloudStore::get(std::string_view name) const {
    Read r = read(fileOf(name));
    if (r.malformed) {
        log_.error("Ignoring the malformed synced value of %{public}s", std::string(name));
    } else if (r.status != ReadStatus::ok && r.status != ReadStatus::missing) {
        log_.error("Cannot read the synced value of %{public}s", std::string(name));
    }
    return std::move(r.entry);
}

void FolderCloudStore::set(std::string_view name, CloudEntry entry) {
    Json doc = Json::object();
    doc["time"] = toSeconds(entry.time.time_since_epoch());
    if (entry.value) doc["value"] = toJson(*entry.value);
    const auto file = fileOf(name);
    std::lock_guard lock(mutex_);
    const Read current = read(file);
    if (current.malformed) {
        // Possibly a newer value the sync tool is still bringing in: never overwritten. When the
        // file changes again the key is compared anew.
        log_.error("Not replacing the malformed synced value of %{public}s; waiting for it to change",
                   std::string(name));
        return;
    }
    if (current.status == ReadStatus::notRegular || current.status == ReadStatus::tooLarge) {
        auto moved = moveAside(file, kUnreadableSuffix);
        if (!moved) {
            log_.error("Cannot move the unreadable synced value of %{public}s aside", std::string(name));
            return;
        }
        log_.error("The synced value of %{public}s was unreadable; kept as %{public}s", std::string(name),
                   moved->string());
    }
    auto result = writeFileAtomically(file, doc.dump() + "\n");
    if (!result.ok) {
        log_.error("Cannot save the synced value of %{public}s: %{public}s", std::string(name), result.error);
        return;
    }
    known_.insert_or_assign(std::string(name), result.signature);
}

void FolderCloudStore::remove(std::string_view name) {
    std::lock_guard lock(mutex_);
    if (::unlink(fileOf(name).c_str()) != 0 && errno != ENOENT) {
        log_.error("Cannot remove the synced value of %{public}s: %{public}s", std::string(name),
                   std::string(std::strerror(errno)));
        return;
    }
    known_.erase(std::string(name));
}

void FolderCloudStore::synchronize() {
    const Lifetime::Token alive = lifetime_.token();
    main_.post([this, alive] {
        if (alive) checkForExternalChanges();
    });
}

Subscription FolderCloudStore::observeExternalChanges(ExternalChange observer) {
    return observers_.add(std::move(observer));
}

std::map<std::string, FileSignature, std::less<>> FolderCloudStore::scanLocked() const {
    std::map<std::string, FileSignature, std::less<>> found;
    std::error_code ec;
    std::filesystem::directory_iterator it(folder_, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        auto name = decodeFileName(it->path().filename().string());
        if (!name) continue;  // temporary files, conflict copies of the sync tool, anything else
        FileSignature sig = signatureOf(it->path());
        if (sig.exists) found.emplace(std::move(*name), sig);
    }
    return found;
}

void FolderCloudStore::checkForExternalChanges() {
    std::vector<std::string> changed;
    {
        std::lock_guard lock(mutex_);
        auto now = scanLocked();
        for (const auto& [name, sig] : now) {
            auto it = known_.find(name);
            if (it == known_.end() || !(it->second == sig)) changed.push_back(name);
        }
        for (const auto& [name, sig] : known_)
            if (!now.contains(name)) changed.push_back(name);
        known_ = std::move(now);
    }
    if (!changed.empty()) observers_.notify(changed);
}

void FolderCloudStore::schedulePoll() {
    poll_ = main_.postAfter(pollInterval_, [this] {
        checkForExternalChanges();
        schedulePoll();
    });
}

}  // namespace halvyn
