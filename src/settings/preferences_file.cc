#include "settings/preferences_file.h"

#include "settings/json_value.h"

namespace halvyn {

PreferencesFile::PreferencesFile(std::filesystem::path path, MainQueue& main, Logger log, Duration pollInterval)
    : path_(std::move(path)), main_(main), log_(std::move(log)), pollInterval_(pollInterval) {
    if (path_.has_parent_path()) {
        std::error_code ec;
        std::filesystem::create_directories(path_.parent_path(), ec);
    }
    // Left by a program that was stopped in the middle of saving; no running writer holds them.
    if (const int stale = removeStaleTemporaries(path_))
        log_.info("Removed %d unfinished save(s) of %{public}s", stale, path_.string());
    {
        std::lock_guard lock(mutex_);
        if (auto contents = loadLocked()) replaceLocked(std::move(*contents));
    }
    schedulePoll();
}

PreferencesFile::~PreferencesFile() { poll_.cancel(); }

bool PreferencesFile::isWritable() const {
    std::lock_guard lock(mutex_);
    return writable_;
}

std::optional<MemoryPreferences::Contents> PreferencesFile::loadLocked() {
    ReadStatus status = ReadStatus::ok;
    const FileSignature before = signatureOf(path_);
    auto text = readFile(path_, &status);
    if (status == ReadStatus::missing) {
        known_ = {};
        return Contents{};
    }
    std::optional<Value> doc;
    if (text) doc = parseJson(*text);
    if (doc && doc->isObject()) {
        known_ = before;
        writable_ = true;
        Contents contents;
        for (const auto& [name, value] : doc->asObject()) {
            // The domain stores no nulls; a null entry is no entry.
            if (!value.isNull()) contents.insert_or_assign(name, value);
        }
        return contents;
    }
    // Unreadable (or not a file at all, or far too large): keep it for the user under another
    // name, then carry on from defaults.
    const char* why = status == ReadStatus::notRegular ? "is not a regular file"
                      : status == ReadStatus::tooLarge ? "is too large"
                                                       : "is unreadable";
    if (auto moved = moveAside(path_, kUnreadableSuffix)) {
        log_.error("Settings file %{public}s %{public}s; kept as %{public}s", path_.string(), std::string(why),
                   moved->string());
        known_ = {};
    } else {
        log_.error("Settings file %{public}s %{public}s and cannot be moved aside; settings will not be saved",
                   path_.string(), std::string(why));
        writable_ = false;
        known_ = before;
    }
    return std::nullopt;
}

void PreferencesFile::didChange(std::string_view, const std::optional<Value>&, Origin) { writeLocked(); }

void PreferencesFile::writeLocked() {
    if (!writable_) return;
    Json doc = Json::object();
    for (const auto& [name, value] : contentsLocked()) doc[name] = toJson(value);
    auto result = writeFileAtomically(path_, doc.dump(2) + "\n");
    if (!result.ok) {
        log_.error("Cannot save settings: %{public}s", result.error);
        return;
    }
    known_ = result.signature;
}

void PreferencesFile::checkForExternalChanges() {
    std::vector<std::string> changed;
    {
        std::lock_guard lock(mutex_);
        if (signatureOf(path_) == known_) return;
        if (auto contents = loadLocked()) {
            changed = replaceLocked(std::move(*contents));
        } else if (writable_) {
            // The garbage is kept aside; the settings in use stay and are saved again.
            writeLocked();
        }
    }
    notify(changed, Origin::external);
}

void PreferencesFile::schedulePoll() {
    poll_ = main_.postAfter(pollInterval_, [this] {
        checkForExternalChanges();
        schedulePoll();
    });
}

}  // namespace halvyn
