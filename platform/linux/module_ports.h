#pragma once
// The ports whose adapters live in modules (platform/linux/modules.h), as the program holds them
// from its start: each opens its module when it is first really used, and answers as the port
// does for a failure when the module cannot be had.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/archive_verifier.h"
#include "platform/calendar_store.h"
#include "platform/http.h"
#include "platform/linux/sound_files.h"
#include "platform/sounds.h"
#include "runtime/lifetime.h"
#include "runtime/logger.h"

namespace halvyn {

class BackgroundQueue;
class FileSystem;
class MainQueue;
class Module;

// Finding and registering sounds needs no module; playing one opens it.
class ModuleSounds final : public Sounds {
public:
    ModuleSounds(Module& module, std::vector<std::string> folders, Logger logger);
    ~ModuleSounds() override;

    std::optional<std::string> resourcePath(const std::string& name, const std::string& type) const override;
    std::optional<SystemSoundID> createSystemSound(const std::string& path) override;
    void playSystemSound(SystemSoundID id) override;
    std::unique_ptr<EffectPlayer> makePlayer(const std::string& path, std::string& error) override;

private:
    Sounds* loaded();

    Module& module_;
    std::vector<std::string> folders_;
    Logger logger_;
    std::unique_ptr<Sounds> sounds_;
    AlertSounds<std::optional<SystemSoundID>> alerts_;  // each with its number in the module's player
};

// A request opens the module; without it, the request fails on a later turn.
class ModuleHttp final : public Http {
public:
    ModuleHttp(Module& module, MainQueue& main);
    ~ModuleHttp() override;

    void send(const HttpRequest& request, Completion completion) override;
    void download(const HttpRequest& request, const std::string& destination, Completion completion) override;

private:
    Http* loaded(Completion& completion);

    Module& module_;
    MainQueue& main_;
    std::unique_ptr<Http> http_;
    Lifetime lifetime_;
};

// Without its module no archive is examined, and an update key counts as required, so that no
// update passes unverified.
class ModuleVerifier final : public ArchiveVerifier {
public:
    ModuleVerifier(Module& module, MainQueue& main);
    ~ModuleVerifier() override;

    bool hasUpdateKey() const override;
    void examine(const std::string& path, const std::string& signature, std::function<void(ArchiveFacts)> done) override;

private:
    ArchiveVerifier* loaded() const;

    Module& module_;
    MainQueue& main_;
    mutable std::unique_ptr<ArchiveVerifier> verifier_;
    Lifetime lifetime_;
};

// The calendar files are read once the module opens, which start() asks for (after the first
// frame): until then the store has no calendars, as a store whose first reading is on its way,
// and queries wait for it.
class ModuleCalendarStore final : public CalendarStore {
public:
    ModuleCalendarStore(Module& module, FileSystem& files, MainQueue& main, BackgroundQueue& background, Logger logger,
                        std::string home);
    ~ModuleCalendarStore() override;

    // From now on the store may be opened: by the first query or list of calendars (most
    // sessions, with calendars off, never open it), or at once for queries that came before.
    void start();

    CalendarAuthorization authorizationStatus() const override { return CalendarAuthorization::fullAccess; }
    void requestFullAccess(std::function<void(bool, std::optional<std::string>)> done) override;
    std::vector<CalendarInfo> calendars() const override;
    void fetch(CalendarQuery query, std::function<void(CalendarAnswer)> done) override;
    Subscription observeChanges(std::function<void()> changed) override { return changed_.connect(std::move(changed)); }

private:
    Module& module_;
    FileSystem& files_;
    MainQueue& main_;
    BackgroundQueue& background_;
    Logger logger_;
    std::string home_;
    CalendarStore* opened();

    bool started_ = false;
    bool tried_ = false;
    std::unique_ptr<CalendarStore> store_;
    Subscription storeChanges_;
    std::vector<std::pair<CalendarQuery, std::function<void(CalendarAnswer)>>> waiting_;
    Lifetime lifetime_;
    Signal<> changed_;
};

// Release notes as HTML; without the module, the notes' text as it is, escaped.
std::string releaseNotesHtml(Module& module, std::string_view markdown);

}  // namespace halvyn
