#include "platform/linux/ics_calendar_store.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <utility>

#include "platform/file_system.h"
#include "runtime/main_queue.h"

namespace halvyn {

namespace ics {

std::string systemZoneName() {
    if (const char* tz = std::getenv("TZ"); tz && *tz) return tz[0] == ':' ? tz + 1 : tz;
    std::error_code ec;
    const std::string target = std::filesystem::read_symlink("/etc/localtime", ec).string();
    const auto at = target.find("zoneinfo/");
    return at == std::string::npos ? std::string() : target.substr(at + 9);
}

}  // namespace ics

std::vector<std::string> IcsCalendarStore::addressesFromEnvironment() {
    std::vector<std::string> out;
    const char* configured = std::getenv("HALVYN_CALENDAR_EMAIL");
    const char* fallback = std::getenv("EMAIL");
    const std::string list = configured && *configured ? configured : (fallback ? fallback : "");
    std::size_t at = 0;
    while (at <= list.size()) {
        std::size_t end = list.find(',', at);
        if (end == std::string::npos) end = list.size();
        std::string one = ics::mailAddress(list.substr(at, end - at));
        one.erase(0, one.find_first_not_of(" \t"));
        one.erase(one.find_last_not_of(" \t") + 1);
        if (!one.empty()) out.push_back(one);
        at = end + 1;
    }
    return out;
}

struct IcsCalendarStore::File {
    std::string path;  // also the calendar's identifier
    std::shared_ptr<const ics::Calendar> calendar;  // the last good reading; null before one
    std::size_t digest = 0;                         // of the text of that reading
    std::string failure;                            // why this reading of the file failed
};

struct IcsCalendarStore::Reading {
    std::vector<File> files;
    std::vector<std::string> own;  // the user's addresses
};

// What the background work needs; it outlives the store while work is queued.
struct IcsCalendarStore::Shared {
    Shared(FileSystem& f, Folders d, std::vector<std::string> c, std::string z)
        : files(f), folders(std::move(d)), configured(std::move(c)), zone(std::move(z)) {}
    FileSystem& files;  // used only under `work` while not closing
    const Folders folders;
    const std::vector<std::string> configured;
    const std::string zone;
    // One reading or query at a time: the parsed trees are never used by two threads at once.
    std::mutex work;
    std::atomic<bool> closing{false};
    std::atomic<std::uint64_t> latest{0};  // the newest reading asked for
    std::shared_ptr<const Reading> last;   // the newest reading made, under `work`
};

namespace {

bool isIcsName(const std::string& name) {
    if (name.size() <= 4) return false;
    std::string ext = name.substr(name.size() - 4);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".ics";
}

std::vector<std::string> calendarPaths(const FileSystem& files, const IcsCalendarStore::Folders& folders) {
    std::vector<std::string> paths;
    for (auto& name : files.list(folders.own))
        if (isIcsName(name) &&
            files.type(folders.own + "/" + name) == FileType::file)
            paths.push_back(folders.own + "/" + name);
    for (auto& name : files.list(folders.evolution)) {
        const std::string path = folders.evolution + "/" + name + "/calendar.ics";
        if (files.type(path) == FileType::file) paths.push_back(path);
    }
    return paths;
}

// Every calendar file, read again; an unchanged text keeps its parsed calendar, a file that
// cannot be read or parsed keeps its last good reading. Under `work`.
std::shared_ptr<const IcsCalendarStore::Reading> readCalendars(IcsCalendarStore::Shared& shared) {
    using File = IcsCalendarStore::File;
    auto reading = std::make_shared<IcsCalendarStore::Reading>();
    const auto* before = shared.last.get();
    for (const std::string& path : calendarPaths(shared.files, shared.folders)) {
        if (shared.closing) break;
        File file;
        file.path = path;
        const File* old = nullptr;
        if (before)
            for (auto& f : before->files)
                if (f.path == path) old = &f;
        std::string error;
        // Opened without following a link and without blocking, checked as a regular file of
        // bounded size: what was listed may have been replaced since.
        auto bytes = shared.files.readFile(path, IcsCalendarStore::kMaxFileBytes, &error);
        const std::size_t digest = bytes ? std::hash<std::string>{}(*bytes) : 0;
        if (bytes && old && old->calendar && digest == old->digest) {
            file.calendar = old->calendar;
            file.digest = digest;
        } else if (auto parsed = bytes ? ics::Calendar::parse(*bytes, &error) : nullptr) {
            file.calendar = std::move(parsed);
            file.digest = digest;
        } else {
            file.failure = error;
            if (old) {
                file.calendar = old->calendar;
                file.digest = old->digest;
            }
        }
        reading->files.push_back(std::move(file));
    }
    reading->own = shared.configured;
    if (reading->own.empty()) {
        // Without a configured address, the user is whoever organises most of their events.
        std::map<std::string, int> count;
        for (auto& f : reading->files)
            if (f.calendar)
                for (auto& a : f.calendar->organizers()) ++count[a];
        auto best = std::max_element(count.begin(), count.end(), [](auto& a, auto& b) { return a.second < b.second; });
        if (best != count.end()) reading->own.push_back(best->first);
    }
    return reading;
}

struct Expansion {
    CalendarAnswer answer;
    std::vector<std::string> truncated;  // files whose recurrences were cut short
};

// The query over one reading, each file within its share of the query's steps. Under `work`.
Expansion expand(const IcsCalendarStore::Reading& reading, const std::string& zone, const CalendarQuery& query) {
    Expansion out;
    std::size_t left = ics::kMaxStepsPerQuery;
    std::vector<bool> found(query.eventIds.size(), false);
    for (auto& f : reading.files) {
        if (!f.calendar) continue;
        const bool wanted = std::find(query.calendarIds.begin(), query.calendarIds.end(), f.path) != query.calendarIds.end();
        ics::StepBudget budget{std::min(ics::kMaxStepsPerFile, left)};
        const ics::ExpandOptions options{f.path, reading.own, zone};
        if (wanted) f.calendar->events(query.from, query.to, options, out.answer.events, budget);
        for (std::size_t i = 0; i < query.eventIds.size(); ++i)
            if (!found[i])
                if (auto e = f.calendar->find(query.eventIds[i], options, budget)) {
                    found[i] = true;
                    out.answer.found.push_back(std::move(*e));
                }
        left -= std::min(ics::kMaxStepsPerFile, left) - budget.left;
        if (budget.exhausted) out.truncated.push_back(f.path);
    }
    return out;
}

}  // namespace

IcsCalendarStore::IcsCalendarStore(FileSystem& files, MainQueue& main, BackgroundQueue& background, Logger log,
                                   Folders folders, std::vector<std::string> ownAddresses, std::string localZone)
    : files_(files), main_(main), background_(background), log_(std::move(log)), folders_(folders) {
    for (auto& a : ownAddresses) a = ics::mailAddress(a);
    shared_ = std::make_shared<Shared>(files, std::move(folders), std::move(ownAddresses), std::move(localZone));
    reload();
}

IcsCalendarStore::~IcsCalendarStore() {
    shared_->closing = true;
    // The file system may go right after the store: wait for work that is using it.
    std::lock_guard lock(shared_->work);
}

void IcsCalendarStore::requestFullAccess(std::function<void(bool, std::optional<std::string>)> done) {
    // Reading the user's own files needs no one's permission.
    const Lifetime::Token weak = lifetime_.token();
    main_.post([weak, done = std::move(done)] {
        if (weak && done) done(true, std::nullopt);
    });
}

const std::vector<std::string>& IcsCalendarStore::ownAddresses() const {
    return reading_ ? reading_->own : shared_->configured;
}

void IcsCalendarStore::reload() {
    reloadPending_ = false;
    const std::uint64_t generation = ++readingsAsked_;
    shared_->latest = generation;
    const Lifetime::Token weak = lifetime_.token();
    background_.post([this, weak, shared = shared_, generation, main = &main_] {
        std::lock_guard lock(shared->work);
        // A reading asked for later reads everything this one would.
        if (shared->closing || shared->latest != generation) return;
        auto reading = readCalendars(*shared);
        shared->last = reading;
        main->post([this, weak, generation, reading] {
            // One asked for since then is on its way and replaces this one.
            if (weak && generation == readingsAsked_) apply(reading);
        });
    });
}

void IcsCalendarStore::apply(std::shared_ptr<const Reading> reading) {
    std::map<std::string, std::string> failures;
    for (auto& f : reading->files) {
        if (f.failure.empty()) continue;
        // Logged once per failure; the last good reading stays in place.
        if (failuresLogged_[f.path] != f.failure)
            log_.error("Cannot read the calendar %{public}s: %{public}s", f.path, f.failure);
        failures[f.path] = f.failure;
    }
    failuresLogged_ = std::move(failures);

    // A file read again unchanged (a folder event, a rewrite of the same text) is no change.
    static const Reading none{};
    const Reading& before = reading_ ? *reading_ : none;
    bool changed = before.files.size() != reading->files.size() || before.own != reading->own;
    for (std::size_t i = 0; !changed && i < reading->files.size(); ++i)
        changed = before.files[i].path != reading->files[i].path || before.files[i].calendar != reading->files[i].calendar;

    // The calendars this one replaces are freed with the background work, not on the main queue.
    if (auto old = std::exchange(reading_, std::move(reading)))
        background_.post([shared = shared_, old]() mutable {
            std::lock_guard lock(shared->work);
            old.reset();
        });
    watchFolders();
    if (changed) {
        truncatedLogged_.clear();
        changed_.emit();
    }
}

void IcsCalendarStore::watchFolders() {
    watches_.clear();
    const Lifetime::Token weak = lifetime_.token();
    auto watch = [&](const std::string& path) {
        watches_.push_back(files_.watch(path, [this, weak] {
            if (weak) scheduleReload();
        }));
    };
    for (auto& f : reading_->files) watch(f.path);
    for (const std::string& folder : {folders_.own, folders_.evolution}) {
        watch(folder);
        // A folder made later is noticed through its parent's change.
        if (files_.type(folder) != FileType::directory) watch(std::filesystem::path(folder).parent_path().string());
    }
}

void IcsCalendarStore::scheduleReload() {
    if (reloadPending_) return;
    reloadPending_ = true;
    const Lifetime::Token weak = lifetime_.token();
    // Editors write a file in several steps: one reading after they settle.
    main_.postAfter(halvyn::seconds(0.2), [this, weak] {
        if (weak) reload();
    });
}

std::vector<CalendarInfo> IcsCalendarStore::calendars() const {
    static const char* palette[] = {"#3B82F6", "#10B981", "#F59E0B", "#EF4444", "#8B5CF6", "#EC4899"};
    std::vector<CalendarInfo> out;
    if (!reading_) return out;
    std::size_t i = 0;
    for (auto& f : reading_->files) {
        const std::string color = f.calendar && f.calendar->color() ? *f.calendar->color() : palette[i % 6];
        out.push_back(CalendarInfo{f.path, 0, 0, color});
        ++i;
    }
    return out;
}

void IcsCalendarStore::fetch(CalendarQuery query, std::function<void(CalendarAnswer)> done) {
    const Lifetime::Token weak = lifetime_.token();
    // The query runs over the reading the caller's calendars() came from.
    background_.post([this, weak, shared = shared_, reading = reading_, query = std::move(query),
                      done = std::move(done), main = &main_]() mutable {
        auto result = std::make_shared<Expansion>();
        std::lock_guard lock(shared->work);
        if (!shared->closing && reading) *result = expand(*reading, shared->zone, query);
        reading.reset();  // the last holder of a replaced reading frees it here
        main->post([this, weak, result, done] {
            if (!weak) return;
            for (auto& path : result->truncated)
                if (truncatedLogged_.insert(path).second)
                    log_.error("A recurrence in %{public}s repeats too often; only its first instances are shown", path);
            if (done) done(std::move(result->answer));
        });
    });
}

}  // namespace halvyn
