#include "updates/update_controller.h"

#include <cstdio>
#include <random>

#include "notch/screen_manager.h"
#include "platform/archive_verifier.h"
#include "platform/bundle.h"
#include "platform/file_system.h"
#include "platform/haptics.h"
#include "platform/http.h"
#include "platform/installer.h"
#include "platform/platform.h"
#include "platform/services.h"
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

// Why the downloaded bytes are not the release's archive, or empty.
std::string mismatch(const Asset& asset, const ArchiveFacts& facts, bool needsSignature) {
    if (asset.size && facts.size != *asset.size)
        return "the archive has " + std::to_string(facts.size) + " bytes, the release says " + std::to_string(*asset.size);
    if (!asset.sha256.empty() && facts.sha256 != asset.sha256)
        return "the archive's SHA-256 digest " + facts.sha256 + " is not the release's " + asset.sha256;
    if (needsSignature && !facts.signatureValid)
        return "the archive's signature does not verify with this build's update key";
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

UpdateController::UpdateController(Services& ctx, Defaults& defaults, const ScreenManager& screens)
    : ctx_(ctx), defaults_(defaults), screens_(screens), logger(ctx.logger("UpdateController")),
      restartDebounce_(ctx.main(), "restartDebounce"),
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
    recoverInterruptedInstall();
    armTimer();
}

UpdateController::~UpdateController() {
    lifetime_.end();
    updateTimer.cancel();
}

void UpdateController::armTimer() {
    const Lifetime::Token weak = lifetime_.token();
    updateTimer = ctx_.main().postAfter(seconds(kCheckInterval), [this, weak] {
        if (!weak) return;
        armTimer();
        periodicCheck();
    });
}

void UpdateController::periodicCheck() {
    const Lifetime::Token weak = lifetime_.token();
    checkForUpdates([this, weak] {
        if (!weak) return;
        if (updateState.get() == UpdateAvailability::available && !defaults_.get(keys::silenceUpdatePrompt) &&
            !screens_.isFullscreen.get())
            showUpdateWindowIfAvailable();
    });
}

void UpdateController::earlyBirdChanged(bool turnedOn, std::function<void()> bringForward) {
    const Lifetime::Token weak = lifetime_.token();
    checkForUpdates([this, weak, turnedOn, bringForward = std::move(bringForward)] {
        if (!weak) return;
        if (updateState.get() == UpdateAvailability::available &&
            (turnedOn || !defaults_.get(keys::silenceUpdatePrompt))) {
            if (bringForward) bringForward();
            showUpdateWindow();
        } else {
            closeUpdateWindow();
        }
    });
}

bool UpdateController::serverConfigured(const BundleInfo& bundle) {
    const bool secure = isSecureUpdateURL(bundle.updateServer);
    if (secure && ctx_.platform().http()) return true;
    if (!loggedOff_) {
        loggedOff_ = true;
        logger.info("Updates are off: %{public}s",
                    bundle.updateServer.empty() ? "this build names no update server"
                    : !secure                   ? "the update server's address is not HTTPS"
                                                : "no network access");
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
    request.secureOnly = true;
    const Lifetime::Token weak = lifetime_.token();
    ctx_.platform().http()->send(request, [this, weak, generation, done = std::move(done)](HttpResponse response) mutable {
        if (!weak) return;
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
        const bool earlyBird = defaults_.get(keys::earlyBirdUpdates);
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
                if (!weak || generation != checkGeneration_) return;
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
    const Lifetime::Token weak = lifetime_.token();
    performUpdate([this, weak](bool installed) {
        if (!weak) return;
        restartDebounce_.schedule(1.0, [this, installed] {
            if (installed) {
                readyToRestart.set(true, Animation::spring(0.35, 0.3));
                if (defaults_.get(keys::enableHaptics))
                    if (Haptics* h = ctx_.platform().haptics()) h->perform(0, 1);
            }
            // After a failure the button says "Install" again; the log says why.
            isInstalling.set(false, Animation::critical(0.2));
            if (installed) resizeUpdateWindow(kRestartHeight);
        });
    });
}

// One download in flight: what is fetched, where it goes and what it must match.
struct UpdateController::Download {
    Release release;
    Asset asset;
    std::optional<Asset> signatureAsset;
    std::string server;
    std::string local;
    std::string signature;  // the 64 bytes of the detached signature, when there is one
    bool earlyBird = false;  // early releases name their asset's API address, others its public one
    bool reused = false;
    std::function<void(bool)> finish;

    const std::string& addressOf(const Asset& a) const { return earlyBird ? a.url : a.browserDownloadURL; }
    // The server fetches the asset for us: the request goes to its root and names the asset.
    HttpRequest request(const Asset& a, std::size_t maxBytes, double deadline) const {
        HttpRequest r;
        r.url = server;
        r.timeout = seconds(kRequestTimeout);
        r.deadline = seconds(deadline);
        r.maxBodyBytes = maxBytes;
        r.secureOnly = true;
        r.headers = {{"X-Download", "true"}, {"X-Asset-URL", addressOf(a)}};
        return r;
    }
};

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
    Bundle* bundlePort = ctx_.platform().bundle();
    const BundleInfo bundle = bundlePort ? bundlePort->info() : BundleInfo{};
    ArchiveVerifier* verifier = ctx_.platform().archiveVerifier();
    auto refuse = [this, finish](const std::string& why) {
        logger.error("Error downloading asset: %{public}s", why);
        ctx_.main().post([finish] { finish(false); });
    };
    auto job = std::make_shared<Download>();
    job->release = *release;
    job->asset = release->assets.front();
    job->earlyBird = defaults_.get(keys::earlyBirdUpdates);
    // The server names the file: it must stay one plain name inside the download folder.
    const std::string fileName = job->asset.name + "_" + release->tagName;
    if (!isPlainFileName(job->asset.name) || !isPlainFileName(fileName))
        return refuse("refused the file name \"" + fileName + "\"");
    if (!files || !verifier || !serverConfigured(bundle))
        return refuse("this system cannot download and verify updates");
    // Nothing is downloaded that could not be installed.
    if (bundle.path.empty()) {
        logger.error("Error updating: %{public}s", "this copy cannot update itself: " + bundle.notReplaceable);
        ctx_.main().post([finish] { finish(false); });
        return;
    }
    if (job->asset.size && *job->asset.size > kMaxAssetBytes)
        return refuse("the archive is larger than " + std::to_string(kMaxAssetBytes) + " bytes");
    for (const Asset& a : release->assets)
        if (a.name == job->asset.name + ".sig") job->signatureAsset = a;
    if (verifier->hasUpdateKey() && !job->signatureAsset) return refuse("the release has no signature");
    for (const Asset* a : {&job->asset, job->signatureAsset ? &*job->signatureAsset : nullptr})
        if (a && !isSecureUpdateURL(job->addressOf(*a)))
            return refuse("refused the download address \"" + job->addressOf(*a) + "\": not HTTPS");
    const std::string folder = join(files->cacheDirectory(), kDownloadFolder);
    if (auto made = files->makePrivateDirectory(files->cacheDirectory(), kDownloadFolder); !made.ok)
        return refuse("the download folder cannot be used: " + made.error);
    job->server = bundle.updateServer;
    job->local = join(folder, fileName);
    job->finish = finish;
    progressBar.set(0.25);
    updating_ = true;
    if (!job->signatureAsset) return fetchArchive(job);

    // The signature is small and comes first, so a release whose signature cannot be had is not
    // downloaded at all.
    const Lifetime::Token weak = lifetime_.token();
    const HttpRequest request = job->request(*job->signatureAsset, kMaxSignatureBytes, kRequestTimeout);
    ctx_.platform().http()->send(request, [this, weak, job](HttpResponse response) {
        if (!weak) return;
        std::string problem = responseProblem(response);
        std::optional<std::string> signature;
        if (problem.empty() && !(signature = decodeSignature(response.body)))
            problem = "the signature is not 64 bytes of Ed25519 signature";
        if (!problem.empty()) {
            logger.error("Error downloading asset: %{public}s", "the signature: " + problem);
            updating_ = false;
            job->finish(false);
            return;
        }
        job->signature = std::move(*signature);
        fetchArchive(job);
    });
}

void UpdateController::fetchArchive(std::shared_ptr<Download> job) {
    FileSystem& files = *ctx_.platform().fileSystem();
    const Lifetime::Token weak = lifetime_.token();
    if (!job->reused && files.type(job->local) == FileType::file) {
        // An archive this user downloaded earlier is used again once it passes the same checks.
        job->reused = true;
        ctx_.main().post([this, weak, job] {
            if (weak) verifyArchive(job);
        });
        return;
    }
    job->reused = false;
    // Whatever else has the name (a link, a folder) goes; the download makes a new file.
    files.remove(job->local);
    const HttpRequest request = job->request(job->asset, kMaxAssetBytes, kDownloadDeadline);
    ctx_.platform().http()->download(request, job->local, [this, weak, job](HttpResponse response) {
        if (!weak) return;
        if (auto problem = responseProblem(response); !problem.empty()) {
            logger.error("Error downloading asset: %{public}s", problem);
            updating_ = false;
            job->finish(false);
            return;
        }
        verifyArchive(job);
    });
}

void UpdateController::verifyArchive(std::shared_ptr<Download> job) {
    ArchiveVerifier& verifier = *ctx_.platform().archiveVerifier();
    const Lifetime::Token weak = lifetime_.token();
    verifier.examine(job->local, job->signature, [this, weak, job](ArchiveFacts facts) {
        if (!weak) return;
        const std::string problem =
            facts.error.empty() ? mismatch(job->asset, facts, ctx_.platform().archiveVerifier()->hasUpdateKey())
                                : facts.error;
        if (problem.empty()) {
            downloaded(job->release, job->local, job->finish);
            return;
        }
        ctx_.platform().fileSystem()->remove(job->local);
        if (job->reused) {
            // What an earlier attempt left is not what the release describes: fetch it again.
            logger.info("Discarded an earlier download: %{public}s", problem);
            fetchArchive(job);
            return;
        }
        logger.error("Error verifying update: %{public}s", problem);
        updating_ = false;
        job->finish(false);
    });
}

void UpdateController::downloaded(const Release&, const std::string& local, std::function<void(bool)> done) {
    progressBar.set(0.75);
    const Lifetime::Token weak = lifetime_.token();
    installUpdate(local, [this, weak, local, done = std::move(done)](bool installed) {
        if (!weak) return;
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

    const Lifetime::Token weak = lifetime_.token();
    UnpackRules rules;
    rules.topFolder = bundle.name + ".app";
    if (!bundle.executables.empty()) rules.program = bundle.executables.front();
    installer->unpack(archivePath, working, rules, [this, weak, bundle, working, done](FileResult unpacked) {
        if (!weak) return;
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

    const FileResult swapped = replaceInstalledTree(files, entry, bundle.path, previousTreeOf(bundle));
    if (!swapped.ok) return fail(swapped.error);
    // The new version is in place; what is left (the old tree, where the exchange put it) is clean-up.
    if (!swapped.error.empty()) logger.error("Error updating: %{public}s", swapped.error);
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

void UpdateController::recoverInterruptedInstall() {
    FileSystem* files = ctx_.platform().fileSystem();
    Bundle* bundlePort = ctx_.platform().bundle();
    const BundleInfo bundle = bundlePort ? bundlePort->info() : BundleInfo{};
    if (!files || bundle.name.empty() || bundle.path.empty() || bundle.path.front() != '/') return;
    const std::string previous = previousTreeOf(bundle);
    if (previous != bundle.path && files->exists(previous)) {
        if (!files->exists(bundle.path)) {
            // Stopped between its two renames: the old version is whole, only set aside.
            if (auto r = files->rename(previous, bundle.path); r.ok)
                logger.info("Restored the installed version that an interrupted update had set aside");
            else
                logger.error("Error updating: %{public}s", "could not restore the previous version: " + r.error);
        } else if (auto r = files->remove(previous); !r.ok) {
            // Stopped after the new version took its place.
            logger.error("Error updating: %{public}s", r.error);
        }
    }
    // A working folder left by a stopped install may hold half an archive.
    const std::string working = join(parentOf(bundle.path), "." + bundle.name + "-update");
    if (working != bundle.path && files->exists(working)) files->remove(working);
}

std::string previousTreeOf(const BundleInfo& bundle) {
    return join(parentOf(bundle.path), "." + bundle.name + "-previous");
}

FileResult replaceInstalledTree(FileSystem& files, const std::string& fresh, const std::string& installed,
                                const std::string& previous) {
    if (!files.exists(installed)) return files.rename(fresh, installed);
    // One step where the system can: the old tree ends up where the new one was.
    if (files.exchange(fresh, installed).ok) return {};
    // Two renames otherwise. Stopped between them, the old tree is whole at `previous`, and the
    // next start puts it back (recoverInterruptedInstall).
    files.remove(previous);
    if (auto r = files.rename(installed, previous); !r.ok) return r;
    if (auto r = files.rename(fresh, installed); !r.ok) {
        if (auto back = files.rename(previous, installed); !back.ok)
            return FileResult::failure(r.error + "; could not restore the previous version: " + back.error);
        return r;
    }
    if (auto r = files.remove(previous); !r.ok) return FileResult{true, r.error};
    return {};
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
