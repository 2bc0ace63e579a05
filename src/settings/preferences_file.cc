#include "settings/preferences_file.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#include "settings/json_value.h"

namespace halvyn {

namespace {

const char* unreadableReason(ReadStatus status) {
    return status == ReadStatus::notRegular ? "is not a regular file"
           : status == ReadStatus::tooLarge ? "is too large"
                                            : "is unreadable";
}

}  // namespace

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
        ReadStatus status = ReadStatus::ok;
        const FileSignature before = signatureOf(path_);
        if (auto contents = readLocked(status)) {
            known_ = before;
            replaceLocked(std::move(*contents));
        } else if (status != ReadStatus::missing) {
            // No program of ours is writing it yet: kept for the user under another name, and
            // the defaults apply.
            known_ = before;
            unreadable_ = true;
            unreadableWhy_ = unreadableReason(status);
            if (moveAsideLocked()) known_ = {};
        }
    }
    schedulePoll();
}

PreferencesFile::~PreferencesFile() {
    lifetime_.end();
    poll_.cancel();
    std::lock_guard lock(mutex_);
    // An unreadable file is kept aside and the settings in use saved, so the next start has them.
    if (unsaved_.empty() && !unreadable_) return;
    if (settling_) {
        // An edit not read yet: what it says stays, under what this process changed since.
        ReadStatus status = ReadStatus::ok;
        if (auto contents = readLocked(status)) {
            mergeLocked(std::move(*contents));
        } else if (status != ReadStatus::missing) {
            unreadable_ = true;
            unreadableWhy_ = unreadableReason(status);
        }
    }
    saveLocked();
}

std::vector<std::string> PreferencesFile::mergeLocked(Contents contents) {
    const Contents current = contentsLocked();
    for (const std::string& name : unsaved_) {
        if (auto it = current.find(name); it != current.end()) {
            contents.insert_or_assign(name, it->second);
        } else {
            contents.erase(name);
        }
    }
    return replaceLocked(std::move(contents));
}

std::optional<MemoryPreferences::Contents> PreferencesFile::readLocked(ReadStatus& status) {
    status = ReadStatus::ok;
    auto text = readFile(path_, &status);
    if (!text) return std::nullopt;
    std::optional<Value> doc = parseJson(*text);
    if (!doc || !doc->isObject()) {
        status = ReadStatus::failed;
        return std::nullopt;
    }
    Contents contents;
    for (const auto& [name, value] : doc->asObject()) {
        // The domain stores no nulls; a null entry is no entry.
        if (!value.isNull()) contents.insert_or_assign(name, value);
    }
    return contents;
}

bool PreferencesFile::moveAsideLocked() {
    struct stat st {};
    if (::lstat(path_.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR)) {
        unreadable_ = false;  // gone meanwhile: nothing to keep
        return true;
    }
    if (auto moved = moveAside(path_, kUnreadableSuffix)) {
        log_.error("Settings file %{public}s %{public}s; kept as %{public}s", path_.string(), std::string(unreadableWhy_),
                   moved->string());
        unreadable_ = false;
        return true;
    }
    const int err = errno;
    log_.error("Settings file %{public}s %{public}s and cannot be moved aside; settings will not be saved",
               path_.string(), std::string(unreadableWhy_));
    setProblemLocked("the settings file " + std::string(unreadableWhy_) + " and cannot be moved aside (" +
                     std::strerror(err) + ")");
    return false;
}

void PreferencesFile::didChange(std::string_view name, const std::optional<Value>&, Origin) {
    unsaved_.insert(std::string(name));
    // The file is being changed by someone else: this change is saved on top of theirs once it
    // has been read.
    if (settling_) return;
    saveLocked();
}

void PreferencesFile::saveLocked() {
    if (unreadable_ && !moveAsideLocked()) return;
    // The folder may have been removed since: saving brings it back.
    const std::filesystem::path folder = writeTarget(path_).parent_path();
    std::error_code ec;
    if (!folder.empty() && !std::filesystem::is_directory(folder, ec)) std::filesystem::create_directories(folder, ec);
    Json doc = Json::object();
    for (const auto& [name, value] : contentsLocked()) doc[name] = toJson(value);
    auto result = writeFileAtomically(path_, doc.dump(2) + "\n");
    if (!result.ok) {
        log_.error("Cannot save settings: %{public}s", result.error);
        setProblemLocked(std::string(std::strerror(result.code)) + " (" + path_.string() + ")");
        return;
    }
    known_ = result.signature;
    unsaved_.clear();
    setProblemLocked({});
}

void PreferencesFile::setProblemLocked(std::string problem) {
    const bool failed = !problem.empty();
    if (problem == problem_ && !failed && !saved_) return;
    problem_ = std::move(problem);
    // From any thread; the retry, its back-off and the observers live on the main queue.
    main_.post([this, alive = lifetime_.token()] {
        if (alive) afterSave();
    });
}

void PreferencesFile::afterSave() {
    std::string problem;
    {
        std::lock_guard lock(mutex_);
        problem = problem_;
    }
    if (problem.empty()) {
        retry_.cancel();
        backoff_ = kFirstRetry;
        if (saved_) saved_();
    } else if (!retry_.isPending()) {
        retry_.schedule(backoff_, [this] {
            std::lock_guard lock(mutex_);
            if (!problem_.empty() && !settling_) saveLocked();
        });
        backoff_ = std::min(backoff_ * 2, kLastRetry);
    }
    if (problem != reported_) {
        reported_ = problem;
        problemChanged_.emit();
    }
}

std::string PreferencesFile::saveProblem() const {
    std::lock_guard lock(mutex_);
    return problem_;
}

Subscription PreferencesFile::observeSaveProblem(std::function<void()> changed) {
    return problemChanged_.connect(std::move(changed));
}

void PreferencesFile::fileChanged() {
    {
        std::lock_guard lock(mutex_);
        const FileSignature now = signatureOf(path_);
        // Its own save, a change beside it in the folder, or nothing new since the last sign.
        if (settling_ ? now == lastSeen_ : now == known_) return;
        lastSeen_ = now;
        settling_ = true;
    }
    settle_.schedule(kSettleTime, [this] { readSettled(); });
    // A writer is still at work: an unreadable file is not saved over yet.
    if (resave_.isPending()) resave_.schedule(kResaveQuietTime, [this] { readSettled(); });
}

void PreferencesFile::readSettled() {
    std::vector<std::string> changed;
    {
        std::lock_guard lock(mutex_);
        const FileSignature now = signatureOf(path_);
        ReadStatus status = ReadStatus::ok;
        std::optional<Contents> contents;
        if (now != known_) contents = readLocked(status);
        if (now == known_ && unreadable_) {
            // Quiet for long enough after an unreadable version: the settings in use go back.
            settling_ = false;
            saveLocked();
        } else if (contents || now == known_ || status == ReadStatus::missing) {
            // Read (what this process changed meanwhile goes on top), or nothing new, or gone:
            // a file that disappears leaves the settings in use as they are.
            if (status == ReadStatus::missing && known_.exists)
                log_.info("Settings file %{public}s was removed; the settings in use stay and are saved with the "
                          "next change",
                          path_.string());
            known_ = now;
            unreadable_ = false;
            lookedAgain_.reset();
            settling_ = false;
            resave_.cancel();
            if (contents) changed = mergeLocked(std::move(*contents));
            if (!unsaved_.empty() || !problem_.empty()) saveLocked();
        } else if (lookedAgain_ != now) {
            // Perhaps still being written: one more look before calling it unreadable.
            lookedAgain_ = now;
            settle_.schedule(kRetryTime, [this] { readSettled(); });
            return;
        } else {
            // Unreadable: the settings in use stay; the file is kept until they are saved over
            // it, which waits for a change of a setting or a long quiet spell.
            lookedAgain_.reset();
            known_ = now;
            unreadable_ = true;
            unreadableWhy_ = unreadableReason(status);
            settling_ = false;
            log_.error("Settings file %{public}s %{public}s; the settings in use stay", path_.string(),
                       std::string(unreadableWhy_));
            resave_.schedule(kResaveQuietTime, [this] { readSettled(); });
        }
    }
    notify(changed, Origin::external);
}

void PreferencesFile::schedulePoll() {
    poll_ = main_.postAfter(pollInterval_, [this] {
        fileChanged();
        schedulePoll();
    });
}

}  // namespace halvyn
