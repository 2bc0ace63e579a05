#pragma once
// The adapters whose libraries most starts never need live in modules installed beside the
// program (lib/halvyn/modules/ next to its bin/), each opened on first use: sounds (Qt Multimedia), HTTP
// (Qt Network), updates (OpenSSL, libarchive, cmark-gfm), calendars (libical) and GNOME's
// notification settings (GIO). The program
// links none of those libraries, so the loader does not map them at every start. A module that is
// missing or does not load leaves what it gives absent; why is logged once. A module, once
// open, stays open: the objects it made point into its code.

#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/installer.h"
#include "runtime/logger.h"

namespace halvyn {

class ArchiveVerifier;
class BannerSetting;
class BackgroundQueue;
class CalendarStore;
class FileSystem;
class Http;
class MainQueue;
class Sounds;

// What each module exports: plain functions, found by these names. The objects they return are
// the caller's to delete. A module's definitions are marked HALVYN_MODULE_EXPORT; all else in it
// is hidden.
#define HALVYN_MODULE_EXPORT extern "C" __attribute__((visibility("default")))
extern "C" {
// halvyn-sounds: the sound files found in `folders`, played through Qt Multimedia.
Sounds* halvyn_make_sounds(const std::vector<std::string>& folders, const Logger& logger);
// halvyn-http: HTTP on Qt Network.
Http* halvyn_make_http();
// halvyn-updates: digests and signatures (the build's update key), unpacking, release notes.
ArchiveVerifier* halvyn_make_verifier(MainQueue& main);
FileResult halvyn_unpack_archive(const std::string& archive, const std::string& destination, const UnpackRules& rules);
void halvyn_render_markdown(std::string_view markdown, std::string& html);
// halvyn-calendar: the iCalendar files of the user whose home folder is `home`.
CalendarStore* halvyn_make_calendar_store(FileSystem& files, MainQueue& main, BackgroundQueue& background,
                                          const Logger& logger, const std::string& home);
// halvyn-gnome: GNOME's banner setting (gnome_banners.h, openGnomeBanners).
BannerSetting* halvyn_open_banner_setting(const std::optional<std::string>& keyfile, std::function<void()> changed,
                                          std::string& why);
}

class Module {
public:
    // `name`: the file's name without folder and suffix ("halvyn-sounds").
    Module(std::string name, std::filesystem::path folder, Logger logger);

    // The exported function `symbol`, opening the module first; null when the module or the
    // function is missing (logged once). The function's type is the declaration's above.
    template <class F>
    F* function(const char* symbol) {
        return reinterpret_cast<F*>(find(symbol));
    }
    const std::filesystem::path& path() const { return path_; }

    // Where the modules are: lib/halvyn/modules beside the running program's bin folder (in the build
    // tree, beside its shell folder).
    static std::filesystem::path installedFolder();

private:
    void* find(const char* symbol);

    std::filesystem::path path_;
    Logger logger_;
    void* handle_ = nullptr;
    bool failed_ = false;
    std::set<std::string, std::less<>> missing_;  // functions asked for and not there, said once
};

// The modules of this process, each opened once, on the main thread; their failures are said on
// standard error.
Module& module(std::string_view name);

}  // namespace halvyn
