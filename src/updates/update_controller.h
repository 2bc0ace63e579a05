#pragma once
// Keeps the application current: asks the update server for the newest release every eight hours
// (and when asked), offers it in the update window with its change notes, and on the user's
// request downloads, unpacks and installs it in place of the running version, then relaunches.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "runtime/debounce.h"
#include "runtime/lifetime.h"
#include "runtime/logger.h"
#include "runtime/properties.h"
#include "runtime/published.h"
#include "runtime/task.h"
#include "updates/changelog.h"
#include "updates/release.h"

namespace halvyn {

class Services;
class Defaults;
class ScreenManager;
class FileSystem;
struct BundleInfo;
struct FileResult;

enum class UpdateAvailability { notChecked = 0, available = 1, unavailable = 2 };
const char* availabilityName(UpdateAvailability a);

// The update window as the platform shows it.
class UpdateWindowHost {
public:
    virtual ~UpdateWindowHost() = default;
    virtual void open() = 0;   // creates the window if needed and brings it to the front
    virtual void close() = 0;
    virtual void resize(double height) = 0;  // animated, keeping the width and the top edge
};

class UpdateController {
public:
    static constexpr double kCheckInterval = 28'800;   // eight hours
    static constexpr double kRequestTimeout = 60;
    // A download may take this long in all (a slow line fetches the largest archive well within
    // it); a server that trickles its bytes cannot keep the update "installing" beyond it.
    static constexpr double kDownloadDeadline = 900;
    static constexpr std::size_t kMaxReleaseBytes = std::size_t{8} << 20;
    static constexpr std::size_t kMaxAssetBytes = std::size_t{512} << 20;
    static constexpr std::size_t kMaxSignatureBytes = 4096;
    // Downloads live in this user's own folder below the cache folder, never in a shared one.
    static constexpr const char* kDownloadFolder = "halvyn/updates";
    static constexpr double kRestartHeight = 312;

    UpdateController(Services& ctx, Defaults& defaults, const ScreenManager& screens);
    ~UpdateController();
    UpdateController(const UpdateController&) = delete;
    UpdateController& operator=(const UpdateController&) = delete;

    Owned<std::optional<Release>, UpdateController> targetRelease;
    Owned<double, UpdateController> progressBar{0.0};
    Owned<UpdateAvailability, UpdateController> updateState{UpdateAvailability::notChecked};
    Owned<Changelog, UpdateController> changelog;
    // The update window's own state: the main button shows progress while installing and offers
    // "Restart..." once an install succeeded.
    Owned<bool, UpdateController> isInstalling{false};
    Owned<bool, UpdateController> readyToRestart{false};

    // Fetches the newest release and decides whether it is offered; `done` runs on the main queue
    // when the check ends, whatever its outcome. A newer check supersedes one still waiting (whose
    // `done` then never runs); during an install nothing is asked and `done` runs at once.
    void checkForUpdates(std::function<void()> done = {});
    void showUpdateWindowIfAvailable();
    void showUpdateWindow();
    void closeUpdateWindow();
    void resizeUpdateWindow(double height);
    bool isWindowOpen() const { return windowOpen_; }
    // Downloads (or reuses) the release archive and installs it; `done(installed)` runs on the
    // main queue. Only one runs at a time.
    void performUpdate(std::function<void(bool installed)> done = {});
    // Unpacks the archive and puts its application tree in place of the running one.
    void installUpdate(const std::string& archivePath, std::function<void(bool installed)> done);
    // Starts the installed application again after `delay` seconds and ends this process.
    void relaunchApplication(double delay);

    // The periodic check (also the launch check): check, then offer the release unless the
    // prompt is silenced or the notch's screen shows a fullscreen space.
    void periodicCheck();

    // The update window's buttons. Where the application cannot update itself, the main button
    // opens the release's page instead of installing.
    void remindLater();
    void mainButton();
    // Why this copy cannot replace itself (installed by a package manager, run from a folder the
    // installation did not make, …), or empty when it can.
    std::string selfUpdateProblem() const;
    // The offered release's web page ("https:" only), or empty.
    std::string releasePage() const;

    void setWindowHost(UpdateWindowHost* host) { host_ = host; }
    UpdateWindowHost* windowHost() const { return host_; }
    // "earlyBirdUpdates" changed: a new check, whose release is offered when it is newer
    // (always when early releases were just turned on, else unless the prompt is silenced).
    // `bringForward` runs just before the window opens, so the application may take the front.
    void earlyBirdChanged(bool turnedOn, std::function<void()> bringForward = {});
    // Identifiers of change notes (random UUIDs unless set).
    void setNoteIdGenerator(std::function<std::string()> gen) { newNoteId_ = std::move(gen); }

    const PropertySet& properties() const { return properties_; }

    // Puts back an installed tree that an interrupted install left aside, and removes what it left
    // half-made. Runs when the controller is created, at start-up.
    void recoverInterruptedInstall();

private:
    struct Download;
    void armTimer();
    void fetchArchive(std::shared_ptr<Download> job);
    void verifyArchive(std::shared_ptr<Download> job);
    void downloaded(const Release& release, const std::string& local, std::function<void(bool)> done);
    void finishInstall(const BundleInfo& bundle, const std::string& working, std::function<void(bool)> done);
    bool serverConfigured(const BundleInfo& bundle);

    Services& ctx_;
    Defaults& defaults_;
    const ScreenManager& screens_;
    Logger logger;
    Lifetime lifetime_;
    TaskHandle updateTimer;
    Debounce restartDebounce_;
    UpdateWindowHost* host_ = nullptr;
    bool windowOpen_ = false;
    bool updating_ = false;
    bool loggedOff_ = false;
    unsigned checkGeneration_ = 0;
    std::function<std::string()> newNoteId_;
    PropertySet properties_;
};

// Where the fallback swap sets the installed tree aside: beside it, hidden.
std::string previousTreeOf(const BundleInfo& bundle);
// Puts the tree at `fresh` in place of the one at `installed`: one exchange where the system has
// it, else two renames through `previous`. On failure the installed tree is where it was. A
// success may carry a clean-up problem in `error`.
FileResult replaceInstalledTree(FileSystem& files, const std::string& fresh, const std::string& installed,
                                const std::string& previous);

}  // namespace halvyn
