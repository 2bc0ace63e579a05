#include "updates/update_controller.h"

#include <cstdio>
#include <random>

#include "app/context.h"
#include "notch/screen_manager.h"
#include "platform/bundle.h"
#include "platform/file_system.h"
#include "platform/haptics.h"
#include "platform/http.h"
#include "platform/installer.h"
#include "platform/platform.h"
#include "platform/url_opener.h"
#include "runtime/animation.h"
#include "runtime/main_queue.h"
#include "settings/defaults.h"

namespace halvyn {

namespace {

std::string parentOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string join(const std::string& folder, const std::string& name) {
    return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string randomUUID() {
    static thread_local std::mt19937_64 rng{std::random_device{}()};
    const std::uint64_t hi = (rng() & 0xFFFFFFFFFFFF0FFFull) | 0x4000ull;
    const std::uint64_t lo = (rng() & 0x3FFFFFFFFFFFFFFFull) | 0x8000000000000000ull;
    char text[37];
    std::snprintf(text, sizeof text, "%08llX-%04llX-%04llX-%04llX-%012llX",
                  static_cast<unsigned long long>(hi >> 32), static_cast<unsigned long long>((hi >> 16) & 0xFFFF),
                  static_cast<unsigned long long>(hi & 0xFFFF), static_cast<unsigned long long>(lo >> 48),
                  static_cast<unsigned long long>(lo & 0xFFFFFFFFFFFFull));
    return text;
}

// Why a response is not a usable answer, or empty.
std::string responseProblem(const HttpResponse& r) {
    if (!r.error.empty()) return r.error;
    if (r.status < 200 || r.status >= 300) return "The server answered with status " + std::to_string(r.status) + ".";
    return {};
}

}  // namespace

const char* availabilityName(UpdateAvailability a) {
    switch (a) {
        case UpdateAvailability::notChecked: return "notChecked";
        case UpdateAvailability::available: return "available";
        case UpdateAvailability::unavailable: return "unavailable";
    }
    return "notChecked";
}

UpdateController::UpdateController(Context& ctx)
    : ctx_(ctx), logger(ctx.logger("UpdateController")), restartDebounce_(ctx.main(), "restartDebounce"),
      newNoteId_(randomUUID) {
    properties_.add("targetRelease", [this] { return targetRelease.get() ? encodeRelease(*targetRelease.get()) : Value(); },
                    [this](std::function<void()> cb) {
                        return targetRelease.observe([cb = std::move(cb)](auto&, const Animation*) { cb(); });
                    });
    properties_.add("progressBar", progressBar);
    properties_.add("updateState", [this] { return Value(availabilityName(updateState.get())); },
                    [this](std::function<void()> cb) {
                        return updateState.observe([cb = std::move(cb)](auto&, const Animation*) { cb(); });
                    });
    properties_.add("changelog", [this] { return toValue(changelog.get()); },
                    [this](std::function<void()> cb) {
                        return changelog.observe([cb = std::move(cb)](auto&, const Animation*) { cb(); });
                    });
    properties_.add("isInstalling", isInstalling);
    properties_.add("readyToRestart", readyToRestart);

    // The settings that drive it ("earlyBirdUpdates", "silenceUpdatePrompt") are followed by the
    // application state.
    armTimer();
}

UpdateController::~UpdateController() {
    *alive_ = false;
    updateTimer.cancel();
}

void UpdateController::armTimer() {
    std::weak_ptr<bool> weak = alive_;
    updateTimer = ctx_.main().postAfter(seconds(kCheckInterval), [this, weak] {
        if (!weak.lock()) return;
        armTimer();
        periodicCheck();
    });
}

void UpdateController::periodicCheck() {
    std::weak_ptr<bool> weak = alive_;
    checkForUpdates([this, weak] {
        if (!weak.lock()) return;
        if (updateState.get() == UpdateAvailability::available && !ctx_.defaults().get(keys::silenceUpdatePrompt) &&
            !ctx_.screenManager().isFullscreen.get())
            showUpdateWindowIfAvailable();
    });
}

void UpdateController::earlyBirdChanged(bool turnedOn) {
    std::weak_ptr<bool> weak = alive_;
    checkForUpdates([this, weak, turnedOn] {
        if (!weak.lock()) return;
        if (updateState.get() == UpdateAvailability::available &&
            (turnedOn || !ctx_.defaults().get(keys::silenceUpdatePrompt)))
            showUpdateWindow();
        else
            closeUpdateWindow();
    });
}

bool UpdateController::serverConfigured(const BundleInfo& bundle) {
    if (!bundle.updateServer.empty() && ctx_.platform().http()) return true;
    if (!loggedOff_) {
        loggedOff_ = true;
        logger.info("Updates are off: %{public}s",
                    bundle.updateServer.empty() ? "this build names no update server" : "no network access");
    }
    return false;
}

void UpdateController::checkForUpdates(std::function<void()> done) {
    // An install in progress keeps its release and progress; the next check comes after it.
    if (updating_) {
        if (done) ctx_.main().post(std::move(done));
        return;
    }
    targetRelease.set(std::nullopt);
    updateState.set(UpdateAvailability::notChecked);
    progressBar.set(0.0);

    const unsigned generation = ++checkGeneration_;
    Bundle* bundlePort = ctx_.platform().bundle();
    const BundleInfo bundle = bundlePort ? bundlePort->info() : BundleInfo{};
    if (!serverConfigured(bundle)) {
        if (done) ctx_.main().post(std::move(done));
        return;
    }
    HttpRequest request;
    request.url = bundle.updateServer;
    request.timeout = seconds(kRequestTimeout);
    request.maxBodyBytes = kMaxReleaseBytes;
    std::weak_ptr<bool> weak = alive_;
    ctx_.platform().http()->send(request, [this, weak, generation, done = std::move(done)](HttpResponse response) mutable {
        if (!weak.lock()) return;
        // A later check started meanwhile: its answer decides, and its caller follows it up.
        if (generation != checkGeneration_) return;
        // Decoding and parsing a large body is kept off the main queue; the verdict comes back.
        struct Verdict {
            std::string problem;
            std::optional<Release> release;
            bool newer = false;
            Changelog changelog;
        };
        Bundle* b = ctx_.platform().bundle();
        const BundleInfo running = b ? b->info() : BundleInfo{};
        const bool earlyBird = ctx_.defaults().get(keys::earlyBirdUpdates);
        MainQueue* main = &ctx_.main();
        auto work = [this, weak, generation, main, running, earlyBird, newId = newNoteId_, response = std::move(response),
                     done = std::move(done)]() mutable {
            auto verdict = std::make_shared<Verdict>();
            verdict->problem = responseProblem(response);
            if (verdict->problem.empty()) verdict->release = decodeRelease(response.body, &verdict->problem);
            if (verdict->release) {
                verdict->newer = isNewer(*verdict->release, running.version, running.build, earlyBird);
                if (verdict->newer) verdict->changelog = parseChangelog(verdict->release->body, newId);
            }
            main->post([this, weak, generation, verdict, done = std::move(done)] {
                if (!weak.lock() || generation != checkGeneration_) return;
                if (!verdict->release) {
                    logger.error("Error fetching release: %{public}s", verdict->problem);
                } else if (verdict->newer) {
                    changelog.set(std::move(verdict->changelog));
                    targetRelease.set(std::move(verdict->release));
                    updateState.set(UpdateAvailability::available);
                } else {
                    updateState.set(UpdateAvailability::unavailable);
                }
                if (done) done();
            });
        };
        ctx_.background().post(std::move(work));
    });
}

void UpdateController::showUpdateWindowIfAvailable() {
    if (updateState.get() == UpdateAvailability::available) showUpdateWindow();
}

void UpdateController::showUpdateWindow() {
    if (!windowOpen_) {
        // A new window starts with its own button state; an install still running keeps it busy.
        readyToRestart.set(false);
        isInstalling.set(updating_);
    }
    windowOpen_ = true;
    if (host_) host_->open();
}

void UpdateController::closeUpdateWindow() {
    if (!windowOpen_) return;
    windowOpen_ = false;
    if (host_) host_->close();
}

void UpdateController::resizeUpdateWindow(double height) {
    if (windowOpen_ && host_) host_->resize(height);
}

void UpdateController::remindLater() {
    if (isInstalling.get() || readyToRestart.get()) return;
    closeUpdateWindow();
}

void UpdateController::mainButton() {
    if (readyToRestart.get()) {
        relaunchApplication(0.5);
        return;
    }
    // Where it cannot replace itself, the button leads to the release's page instead.
    if (!selfUpdateProblem().empty()) {
        if (UrlOpener* opener = ctx_.platform().urlOpener(); opener && !releasePage().empty())
            opener->openURL(releasePage());
        return;
    }
    // The button ignores clicks while it shows progress, and while an update started elsewhere runs.
    if (isInstalling.get() || updating_) return;
    isInstalling.set(true);
    std::weak_ptr<bool> weak = alive_;
    performUpdate([this, weak](bool installed) {
        if (!weak.lock()) return;
        restartDebounce_.schedule(1.0, [this, installed] {
            if (installed) {
                readyToRestart.set(true, Animation::spring(0.35, 0.3));
                if (ctx_.defaults().get(keys::enableHaptics))
                    if (Haptics* h = ctx_.platform().haptics()) h->perform(0, 1);
            }
            // After a failure the button says "Install" again; the log says why.
            isInstalling.set(false, Animation::critical(0.2));
            if (installed) resizeUpdateWindow(kRestartHeight);
        });
    });
}

void UpdateController::performUpdate(std::function<void(bool)> done) {
    auto finish = [done](bool installed) {
        if (done) done(installed);
    };
    if (updating_) return;  // one download and install at a time; the first one reports
    const std::optional<Release> release = targetRelease.get();
    if (!release || release->assets.empty()) {
        progressBar.set(0.0);
        ctx_.main().post([finish] { finish(false); });
        return;
    }
    FileSystem* files = ctx_.platform().fileSystem();
    Http* http = ctx_.platform().http();
    Bundle* bundlePort = ctx_.platform().bundle();
    const BundleInfo bundle = bundlePort ? bundlePort->info() : BundleInfo{};
    const Asset& asset = release->assets.front();
    // The server names the file: it must stay one plain name inside the temporary folder.
    const std::string fileName = asset.name + "_" + release->tagName;
    if (!isPlainFileName(asset.name) || !isPlainFileName(fileName)) {
        logger.error("Error downloading asset: %{public}s", "refused the file name \"" + fileName + "\"");
        ctx_.main().post([finish] { finish(false); });
        return;
    }
    if (!files || !serverConfigured(bundle)) {
        logger.error("Error downloading asset: %{public}s", "no file system or update server");
        ctx_.main().post([finish] { finish(false); });
        return;
    }
    // Nothing is downloaded that could not be installed.
    if (bundle.path.empty()) {
        logger.error("Error updating: %{public}s", "this copy cannot update itself: " + bundle.notReplaceable);
        ctx_.main().post([finish] { finish(false); });
        return;
    }
    const std::string local = join(files->temporaryDirectory(), fileName);
    progressBar.set(0.25);
    updating_ = true;
    std::weak_ptr<bool> weak = alive_;
    if (files->type(local) == FileType::file) {
        // An archive left by an earlier attempt is used again.
        ctx_.main().post([this, weak, release = *release, local, finish] {
            if (weak.lock()) downloaded(release, local, finish);
        });
        return;
    }
    HttpRequest request;
    request.url = bundle.updateServer;
    request.timeout = seconds(kRequestTimeout);
    request.maxBodyBytes = kMaxAssetBytes;
    request.headers = {{"X-Download", "true"},
                       {"X-Asset-URL", ctx_.defaults().get(keys::earlyBirdUpdates) ? asset.url : asset.browserDownloadURL}};
    http->download(request, local, [this, weak, release = *release, local, finish](HttpResponse response) {
        if (!weak.lock()) return;
        if (auto problem = responseProblem(response); !problem.empty()) {
            logger.error("Error downloading asset: %{public}s", problem);
            updating_ = false;
            finish(false);
            return;
        }
        downloaded(release, local, finish);
    });
}

void UpdateController::downloaded(const Release&, const std::string& local, std::function<void(bool)> done) {
    progressBar.set(0.75);
    std::weak_ptr<bool> weak = alive_;
    installUpdate(local, [this, weak, local, done = std::move(done)](bool installed) {
        if (!weak.lock()) return;
        // A damaged archive must not be reused by the next attempt.
        if (FileSystem* files = ctx_.platform().fileSystem()) files->remove(local);
        if (installed) {
            progressBar.set(1.0);
            updateState.set(UpdateAvailability::unavailable);
        }
        updating_ = false;
        done(installed);
    });
}

void UpdateController::installUpdate(const std::string& archivePath, std::function<void(bool)> done) {
    FileSystem* files = ctx_.platform().fileSystem();
    Installer* installer = ctx_.platform().installer();
    Bundle* bundlePort = ctx_.platform().bundle();
    const BundleInfo bundle = bundlePort ? bundlePort->info() : BundleInfo{};
    auto fail = [this, done](const std::string& why) {
        logger.error("Error updating: %{public}s", why);
        ctx_.main().post([done] { done(false); });
    };
    if (!files || !installer) return fail("this system cannot install updates");
    if (bundle.name.empty() || bundle.path.empty() || bundle.path.front() != '/')
        return fail("the running application has no name or location");

    // The working folder sits beside the installed tree, on the same file system, so the new
    // tree can take the old one's place with a rename.
    const std::string working = join(parentOf(bundle.path), "." + bundle.name + "-update");
    files->remove(working);
    if (auto made = files->createDirectories(working); !made.ok) return fail(made.error);

    std::weak_ptr<bool> weak = alive_;
    UnpackRules rules;
    rules.topFolder = bundle.name + ".app";
    if (!bundle.executables.empty()) rules.program = bundle.executables.front();
    installer->unpack(archivePath, working, rules, [this, weak, bundle, working, done](FileResult unpacked) {
        if (!weak.lock()) return;
        if (!unpacked.ok) {
            logger.error("Error updating: %{public}s", unpacked.error);
            ctx_.platform().fileSystem()->remove(working);
            done(false);
            return;
        }
        finishInstall(bundle, working, done);
    });
}

void UpdateController::finishInstall(const BundleInfo& bundle, const std::string& working,
                                     std::function<void(bool)> done) {
    FileSystem& files = *ctx_.platform().fileSystem();
    auto fail = [&](const std::string& why) {
        if (!why.empty()) logger.error("Error updating: %{public}s", why);
        files.remove(working);
        done(false);
    };
    // The archive held one folder, named after the application, and nothing beside it.
    const std::string entry = join(working, bundle.name + ".app");
    if (files.list(working) != std::vector<std::string>{bundle.name + ".app"} ||
        files.type(entry) != FileType::directory) {
        logger.error("No app bundle found");
        return fail({});
    }
    // Everything that can fail about the new tree is checked before the running one is touched:
    // the program is a file (the unpacker ran it), the other parts files or folders.
    for (const std::string& relative : bundle.executables) {
        const std::string path = join(entry, relative);
        const FileType type = files.type(path);
        if (type != FileType::file && (relative == bundle.executables.front() || type != FileType::directory))
            return fail("the new version has no " + relative);
        if (auto r = files.setExecutable(path, true); !r.ok) return fail(r.error);
    }

    // What the folder holds may have changed while the archive was unpacked.
    if (Bundle* now = ctx_.platform().bundle(); !now || now->info().path != bundle.path)
        return fail("this copy cannot update itself any more: " + (now ? now->info().notReplaceable : std::string()));

    const std::string previous = join(parentOf(bundle.path), "." + bundle.name + "-previous");
    if (files.exists(bundle.path)) {
        if (files.exchange(entry, bundle.path).ok) {
            // The old tree is now where the new one was unpacked.
            if (auto r = files.remove(working); !r.ok) logger.error("Error updating: %{public}s", r.error);
            done(true);
            return;
        }
        files.remove(previous);
        if (auto r = files.rename(bundle.path, previous); !r.ok) return fail(r.error);
        if (auto r = files.rename(entry, bundle.path); !r.ok) {
            // Put the running version back where it was.
            if (auto back = files.rename(previous, bundle.path); !back.ok)
                logger.error("Error updating: %{public}s", "could not restore the previous version: " + back.error);
            return fail(r.error);
        }
    } else if (auto r = files.rename(entry, bundle.path); !r.ok) {
        return fail(r.error);
    }
    // The new version is in place; what is left is clean-up.
    if (auto r = files.remove(previous); !r.ok) logger.error("Error updating: %{public}s", r.error);
    if (auto r = files.remove(working); !r.ok) logger.error("Error updating: %{public}s", r.error);
    done(true);
}

std::string UpdateController::selfUpdateProblem() const {
    Bundle* bundlePort = ctx_.platform().bundle();
    if (!bundlePort) return "this system cannot install updates";
    const BundleInfo bundle = bundlePort->info();
    return bundle.path.empty() ? bundle.notReplaceable : std::string();
}

std::string UpdateController::releasePage() const {
    const auto& release = targetRelease.get();
    // Only a web page is opened from what the server says.
    if (!release || release->htmlURL.rfind("https://", 0) != 0) return {};
    for (unsigned char c : release->htmlURL)
        if (c <= 0x20 || c == 0x7F) return {};
    return release->htmlURL;
}

void UpdateController::relaunchApplication(double delay) {
    Installer* installer = ctx_.platform().installer();
    Bundle* bundlePort = ctx_.platform().bundle();
    const BundleInfo bundle = bundlePort ? bundlePort->info() : BundleInfo{};
    if (!installer || bundle.launchCommand.empty()) {
        logger.error("Error relaunching: %{public}s", "this system cannot start the application again");
        return;
    }
    std::string delayText;
    appendNumber(delayText, delay);
    // The shell sees only fixed text; the delay and the command come in as its arguments, so a
    // path with quotes, spaces or "$" reaches the program as it is.
    std::vector<std::string> arguments{"-c", "sleep \"$1\"; shift; exec \"$@\"", "sh", delayText};
    arguments.insert(arguments.end(), bundle.launchCommand.begin(), bundle.launchCommand.end());
    if (auto started = installer->launchDetached("/bin/sh", arguments); !started.ok) {
        // Quitting now would leave the user with nothing running.
        logger.error("Error relaunching: %{public}s", started.error);
        return;
    }
    installer->terminate();
}

}  // namespace halvyn
