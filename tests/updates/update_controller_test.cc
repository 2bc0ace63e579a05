// UpdateController on virtual time over the simulated system: the check, the download and install,
// the relaunch and the settings reactions. The timer, the silenced prompt, the version rules and
// the plain install flow are in the update scenarios' traces.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <string>

#include "app/app_state.h"
#include "app/context.h"
#include "platform/sim/sim_platform.h"
#include "runtime/virtual_time.h"
#include "settings/defaults.h"
#include "settings/json_value.h"
#include "updates/update_controller.h"
#include "runtime/owned_access.h"

namespace halvyn {
namespace {

constexpr const char* kServer = "https://updates.halvyn.app/";
constexpr const char* kApp = "/Applications/Halvyn.app";

constexpr const char* kDownloads = "/Users/user/Library/Caches/halvyn/updates";

// `extra`: more keys of the archive's asset (size, digest), or more assets after it.
std::string release(const std::string& tag, bool prerelease = false, const std::string& name = "Release",
                    const std::string& assetName = "Halvyn.zip", const std::string& extra = "",
                    const std::string& moreAssets = "") {
    return R"({"id": 1, "tag_name": ")" + tag + R"(", "name": ")" + name +
           R"(", "body": "# 📣 New\n- Faster", "assets": [{"name": ")" + assetName +
           R"(", "url": "https://api/1", "browser_download_url": "https://dl/1")" + extra + "}" + moreAssets +
           R"(], "prerelease": )" + (prerelease ? "true" : "false") + R"(, "published_at": "2026-01-01T00:00:00Z"})";
}

// The release 1.10 with more keys on its archive's asset, or more assets.
std::string releaseWith(const std::string& extra, const std::string& moreAssets = "") {
    return release("1.10", false, "R", "Halvyn.zip", extra, moreAssets);
}

// The asset keys a server publishes for these bytes.
std::string describes(const std::string& bytes) {
    return R"(, "size": )" + std::to_string(bytes.size()) + R"(, "digest": "sha256:)" +
           SimArchiveVerifier::digestOf(bytes) + "\"";
}

const char* kGoodArchive = R"({"entries": [{"path": "Halvyn.app", "type": "dir"},
  {"path": "Halvyn.app/Contents/MacOS/Halvyn", "type": "file", "data": "program 2.0"},
  {"path": "Halvyn.app/Contents/XPCServices/HalvynHelper.xpc", "type": "dir"},
  {"path": "Halvyn.app/Contents/Frameworks/l", "type": "link", "target": "../MacOS"}]})";

class Updates : public ::testing::Test {
protected:
    Updates() {
        auto time = std::make_unique<VirtualTime>();
        vt = time.get();
        auto platform = std::make_unique<SimPlatform>(*vt);
        sim = platform.get();
        ctx = std::make_unique<Context>(std::move(time), std::move(platform), &logs);
        sim->simFiles().createDirectories(sim->simFiles().temporaryDirectory());
        sim->simFiles().put(std::string(kApp) + "/Contents/MacOS/Halvyn", "program 1.0", true);
        sim->simBundle().info_.version = "1.9";
        serve(release("1.10"), kGoodArchive);
        u = &ctx->updates();
        u->setWindowHost(&sim->simUpdateWindow());
    }

    // The server answers the release JSON, the archive on a download request, and `signature`
    // for an address ending in ".sig".
    void serve(std::string releaseBody, std::string archive, int status = 200, std::string signature = "") {
        sim->simHttp().setServer(kServer, [=](const HttpRequest& r) -> std::optional<HttpResponse> {
            const bool download = !r.headers.empty() && r.headers[0].first == "X-Download";
            const bool sig = download && r.headers[1].second.ends_with(".sig");
            return HttpResponse{status, {}, sig ? signature : download ? archive : releaseBody, {}};
        });
    }
    void check() {
        u->checkForUpdates();
        vt->advance(seconds(0.01));
    }
    // Presses "Install" and lets the whole flow run, one second of button delay included.
    void install() {
        u->mainButton();
        vt->advance(seconds(2));
    }
    int requests(const std::string& header = "") const {
        int n = 0;
        for (auto& e : sim->effects().ofKind("http")) {
            const bool has = !e.fields[2].second.asObject().empty();
            if (header.empty() || (has && e.fields[2].second.find(header))) ++n;
        }
        return n;
    }
    std::string installedProgram() const {
        return sim->simFiles().readFile(std::string(kApp) + "/Contents/MacOS/Halvyn", 1000).value_or("<none>");
    }
    bool logged(const std::string& part) const {
        for (auto& l : logs.lines)
            if (l.message.find(part) != std::string::npos) return true;
        return false;
    }
    // Checks, presses "Install", and expects the running version untouched, for the reason `log`.
    void expectRefusedInstall(const std::string& log) {
        check();
        install();
        EXPECT_TRUE(logged(log)) << log;
        EXPECT_FALSE(u->readyToRestart.get()) << log;
        EXPECT_EQ(installedProgram(), "program 1.0") << log;
    }

    CaptureLogSink logs;
    VirtualTime* vt = nullptr;
    SimPlatform* sim = nullptr;
    std::unique_ptr<Context> ctx;
    UpdateController* u = nullptr;
};

TEST_F(Updates, FailedChecksLeaveNotCheckedAndSayWhy) {
    const struct {
        std::string body;
        int status;
        const char* log;
    } cases[] = {
        {R"({"id": 1})", 200, "missing key 'tag_name'"},
        {release("9.0"), 500, "The server answered with status 500."},
        {std::string(UpdateController::kMaxReleaseBytes + 1, ' ') + release("9.0"), 200, "The response is too large."},
    };
    for (auto& c : cases) {
        serve(c.body, kGoodArchive, c.status);
        check();
        EXPECT_EQ(u->updateState.get(), UpdateAvailability::notChecked) << c.log;
        EXPECT_TRUE(logs.contains(std::string("Error fetching release: ") + c.log)) << c.log;
    }
    // A server that never answers: the request gives up after 60 s.
    sim->simHttp().setServer(kServer, [](const HttpRequest&) { return std::optional<HttpResponse>(); });
    u->checkForUpdates();
    vt->advance(seconds(59.9));
    EXPECT_FALSE(logs.contains("Error fetching release: The request timed out."));
    vt->advance(seconds(0.2));
    EXPECT_TRUE(logs.contains("Error fetching release: The request timed out."));
    EXPECT_EQ(u->updateState.get(), UpdateAvailability::notChecked);
}

TEST_F(Updates, ALaterCheckSupersedesOneStillWaiting) {
    bool first = true;
    sim->simHttp().setServer(kServer, [&](const HttpRequest&) -> std::optional<HttpResponse> {
        if (first) {
            first = false;
            return std::nullopt;  // hangs until its time-out
        }
        return HttpResponse{200, {}, release("1.9"), {}};
    });
    bool firstDone = false, secondDone = false;
    u->checkForUpdates([&] { firstDone = true; });
    u->checkForUpdates([&] { secondDone = true; });
    vt->advance(seconds(61));
    EXPECT_EQ(u->updateState.get(), UpdateAvailability::unavailable);
    EXPECT_TRUE(secondDone);
    EXPECT_FALSE(firstDone);  // its follow-up (say, closing the window) would act on the other's state
    EXPECT_FALSE(logs.contains("Error fetching release: The request timed out."));
}

TEST_F(Updates, EarlyBirdOffersAPrereleaseBuildOfTheSameVersionEvenWhileSilenced) {
    sim->simBundle().info_.version = "2.0.0";
    sim->simBundle().info_.build = 410;
    serve(release("2.0.0-b", true, "v2.0.0 (415)"), kGoodArchive);
    ctx->defaults().set(keys::isFirstLaunch, false);  // in normal use: an accessory application
    ctx->appState().setup();  // follows the settings
    check();
    EXPECT_EQ(u->updateState.get(), UpdateAvailability::unavailable);
    ctx->defaults().set(keys::silenceUpdatePrompt, true);
    ctx->defaults().set(keys::earlyBirdUpdates, true);
    vt->advance(seconds(0.1));
    EXPECT_EQ(u->updateState.get(), UpdateAvailability::available);
    EXPECT_TRUE(sim->simUpdateWindow().isOpen());
    // Off again: the build rule no longer applies and the window closes.
    ctx->defaults().set(keys::earlyBirdUpdates, false);
    vt->advance(seconds(0.1));
    EXPECT_EQ(u->updateState.get(), UpdateAvailability::unavailable);
    EXPECT_FALSE(sim->simUpdateWindow().isOpen());
}

TEST_F(Updates, InstallReplacesTheBundleAndLeavesNothingBehind) {
    check();
    u->mainButton();
    EXPECT_TRUE(u->isInstalling.get());
    u->mainButton();  // ignored while installing
    u->checkForUpdates();  // waits for the install: nothing is reset, nothing asked
    EXPECT_EQ(u->progressBar.get(), 0.25);
    EXPECT_TRUE(u->targetRelease.get());
    vt->advance(seconds(1.1));
    EXPECT_EQ(requests("X-Download"), 1);
    EXPECT_EQ(requests(), 2);
    EXPECT_TRUE(u->readyToRestart.get());
    EXPECT_EQ(installedProgram(), "program 2.0");
    EXPECT_TRUE(sim->simFiles().isExecutable(std::string(kApp) + "/Contents/MacOS/Halvyn"));
    EXPECT_TRUE(sim->simFiles().isExecutable(std::string(kApp) + "/Contents/XPCServices/HalvynHelper.xpc"));
    // Nothing left behind: archive, working folder, previous version.
    EXPECT_EQ(sim->simFiles().list("/Applications"), std::vector<std::string>{"Halvyn.app"});
    EXPECT_TRUE(sim->simFiles().list(kDownloads).empty());
}

TEST_F(Updates, AnEarlierDownloadThatNoLongerMatchesIsFetchedAgain) {
    serve(releaseWith(describes(kGoodArchive)), kGoodArchive);
    check();
    std::string evil = kGoodArchive;
    evil.replace(evil.find("program 2.0"), 11, "evil");
    sim->simFiles().put(std::string(kDownloads) + "/Halvyn.zip_1.10", evil);
    install();
    EXPECT_EQ(requests("X-Download"), 1);
    EXPECT_TRUE(logged("Discarded an earlier download: the archive has"));
    EXPECT_EQ(installedProgram(), "program 2.0");
    EXPECT_TRUE(u->readyToRestart.get());
}

TEST_F(Updates, AnArchiveUnlikeTheReleasesDescriptionIsRefused) {
    const std::string other = std::string(kGoodArchive) + " ";
    const struct {
        std::string extra, log;
    } cases[] = {
        {describes(other), "Error verifying update: the archive has " + std::to_string(other.size() - 1) +
                               " bytes, the release says " + std::to_string(other.size())},
        {R"(, "size": 1e12)", "Error downloading asset: the archive is larger than"},
    };
    for (auto& c : cases) {
        serve(releaseWith(c.extra), kGoodArchive);
        expectRefusedInstall(c.log);
        EXPECT_EQ(u->updateState.get(), UpdateAvailability::available);
        EXPECT_TRUE(sim->simFiles().list(kDownloads).empty());  // never reused
    }
    // Upper-case hex in the release is the same digest.
    std::string upper = describes(kGoodArchive);
    const auto hex = upper.begin() + static_cast<std::ptrdiff_t>(upper.find("sha256:") + 7);
    std::transform(hex, upper.end(), hex, [](char ch) { return static_cast<char>(std::toupper(ch)); });
    serve(releaseWith(upper), kGoodArchive);
    check();
    install();
    EXPECT_EQ(installedProgram(), "program 2.0");
}

TEST_F(Updates, WithAnUpdateKeyOnlyASignedArchiveIsInstalled) {
    sim->simVerifier().setUpdateKey(true);
    const std::string sigAsset = R"(, {"name": "Halvyn.zip.sig", "url": "https://api/1.sig", "browser_download_url": "https://dl/1.sig"})";
    const struct {
        std::string moreAssets, signature, log;
    } refused[] = {
        {"", "", "Error downloading asset: the release has no signature"},
        {sigAsset, "too short", "the signature: the signature is not 64 bytes"},
        {sigAsset, SimArchiveVerifier::signatureOf("other bytes"), "Error verifying update: the archive's signature does not verify"},
    };
    for (auto& c : refused) {
        serve(releaseWith("", c.moreAssets), kGoodArchive, 200, c.signature);
        expectRefusedInstall(c.log);
    }
    EXPECT_EQ(requests("X-Download"), 3);  // no archive without a signature to check it by
    serve(releaseWith("", sigAsset), kGoodArchive, 200, SimArchiveVerifier::signatureOf(kGoodArchive));
    check();
    install();
    EXPECT_EQ(installedProgram(), "program 2.0");
}

TEST_F(Updates, UpdatesComeOnlyOverHttpsOrFromThisMachine) {
    sim->simBundle().info_.updateServer = "http://updates.halvyn.app/";
    check();
    EXPECT_EQ(requests(), 0);
    EXPECT_TRUE(logged("Updates are off: the update server's address is not HTTPS"));
    sim->simBundle().info_.updateServer = "http://127.0.0.1:8080/";
    sim->simHttp().setServer("http://127.0.0.1:8080/", [](const HttpRequest&) {
        return std::optional<HttpResponse>(HttpResponse{200, {}, release("1.10"), {}});
    });
    check();
    EXPECT_EQ(u->updateState.get(), UpdateAvailability::available);
    // A download address that is not HTTPS is not even asked for.
    sim->simBundle().info_.updateServer = kServer;
    serve(std::string(release("1.10")).replace(release("1.10").find("https://dl/1"), 12, "http://dl/1"), kGoodArchive);
    expectRefusedInstall("Error downloading asset: refused the download address \"http://dl/1\": not HTTPS");
    EXPECT_EQ(requests("X-Download"), 0);
}

TEST_F(Updates, ATricklingServerIsCutOffAtTheDeadlineAndLaterChecksRun) {
    // A check's answer that would take 61 s ends at 60 s, however steadily it comes.
    sim->simHttp().setLatency(kServer, seconds(61));
    u->checkForUpdates();
    vt->advance(seconds(59.9));
    EXPECT_FALSE(logged("took too long"));
    vt->advance(seconds(0.2));
    EXPECT_TRUE(logs.contains("Error fetching release: The request took too long."));

    sim->simHttp().setLatency(kServer, seconds(0));
    check();
    sim->simHttp().setLatency(kServer, seconds(3600));
    u->mainButton();
    vt->advance(seconds(UpdateController::kDownloadDeadline - 1));
    EXPECT_TRUE(u->isInstalling.get());
    vt->advance(seconds(2.1));
    EXPECT_TRUE(logs.contains("Error downloading asset: The request took too long."));
    EXPECT_FALSE(u->isInstalling.get());
    EXPECT_EQ(installedProgram(), "program 1.0");
    sim->simHttp().setLatency(kServer, seconds(0));
    const int before = requests();
    check();
    EXPECT_EQ(requests(), before + 1);
    install();
    EXPECT_TRUE(u->readyToRestart.get());
}

TEST_F(Updates, TheDownloadFolderMustBeAFolder) {
    sim->simFiles().putLink(kDownloads, "/tmp/elsewhere");
    expectRefusedInstall("Error downloading asset: the download folder cannot be used");
    EXPECT_EQ(requests("X-Download"), 0);
}

TEST_F(Updates, AStartAfterAnInterruptedSwapPutsTheInstalledVersionBack) {
    auto& files = sim->simFiles();
    // Stopped between the two renames: only the set-aside tree is left.
    files.rename(kApp, "/Applications/.Halvyn-previous");
    files.put("/Applications/.Halvyn-update/Halvyn.app/Contents/MacOS/Halvyn", "half");
    u->recoverInterruptedInstall();
    EXPECT_EQ(installedProgram(), "program 1.0");
    EXPECT_EQ(files.list("/Applications"), std::vector<std::string>{"Halvyn.app"});
    EXPECT_TRUE(logged("Restored the installed version"));
    // Stopped after the new tree took its place: the old one only goes.
    files.put("/Applications/.Halvyn-previous/Contents/MacOS/Halvyn", "program 0.9");
    u->recoverInterruptedInstall();
    EXPECT_EQ(installedProgram(), "program 1.0");
    EXPECT_EQ(files.list("/Applications"), std::vector<std::string>{"Halvyn.app"});
}

TEST_F(Updates, AfterADownloadErrorTheButtonInstallsAgain) {
    check();
    sim->simHttp().setServer(kServer, [](const HttpRequest&) {
        return std::optional<HttpResponse>(HttpResponse{0, {}, {}, "The network connection was lost."});
    });
    install();
    EXPECT_EQ(u->updateState.get(), UpdateAvailability::available);
    EXPECT_EQ(installedProgram(), "program 1.0");
    serve(release("1.10"), kGoodArchive);
    install();
    EXPECT_TRUE(u->readyToRestart.get());
}

TEST_F(Updates, NothingToInstallSetsProgressToZero) {
    u->performUpdate();
    EXPECT_EQ(u->progressBar.get(), 0.0);
    serve(R"({"id": 1, "tag_name": "9", "name": "", "body": "", "assets": [], "prerelease": false, "published_at": ""})",
          kGoodArchive);
    check();
    ASSERT_EQ(u->updateState.get(), UpdateAvailability::available);
    setAsOwner(u->progressBar, 0.5);
    u->performUpdate();
    EXPECT_EQ(u->progressBar.get(), 0.0);
    EXPECT_EQ(requests("X-Download"), 0);
}

TEST_F(Updates, ATagWithASlashIsRefusedAsAFileName) {
    serve(release("1.10/../../x"), kGoodArchive);
    expectRefusedInstall("Error downloading asset: refused the file name \"Halvyn.zip_1.10/../../x\"");
    EXPECT_EQ(requests("X-Download"), 0);
}

// Each rule of the entries has its own test; these show a refused archive changes nothing.
TEST_F(Updates, BadArchivesLeaveTheRunningVersionWhole) {
    const std::string head = R"({"entries": [{"path": "Halvyn.app", "type": "dir"},
        {"path": "Halvyn.app/Contents/MacOS/Halvyn", "type": "file", "data": "evil"},
        {"path": "Halvyn.app/Contents/XPCServices/HalvynHelper.xpc", "type": "dir"}, )";
    const struct {
        std::string archive;
        std::string log;
    } cases[] = {
        {head + R"({"path": "/etc/evil", "type": "file"}]})", "refused the archive entry \"/etc/evil\""},
        {head + R"({"path": "Halvyn.app/l", "type": "link", "target": "/Applications"}]})", "refused the link"},
        // A link unpacked before is never written through.
        {head + R"({"path": "Halvyn.app/l", "type": "link", "target": "."}, {"path": "Halvyn.app/l/x", "type": "file"}]})",
         "refused the archive entry \"Halvyn.app/l/x\""},
        {std::string(kGoodArchive).substr(0, 60), "The archive is damaged or truncated."},
        {R"({"entries": [{"path": "Halvyn.app/Contents/MacOS/Halvyn", "type": "dir"}]})",
         "the new version's Contents/MacOS/Halvyn is not a program"},
    };
    for (auto& c : cases) {
        serve(release("1.10"), c.archive);
        expectRefusedInstall(c.log);
        EXPECT_EQ(u->updateState.get(), UpdateAvailability::available);
        EXPECT_EQ(sim->simFiles().list("/Applications"), std::vector<std::string>{"Halvyn.app"});
        // A damaged archive is not reused.
        EXPECT_TRUE(sim->simFiles().list(kDownloads).empty());
        EXPECT_FALSE(sim->simFiles().exists("/etc/evil"));
    }
}

TEST_F(Updates, ACopyThatCannotUpdateItselfDownloadsNothingAndOpensOnlyAWebPage) {
    sim->simBundle().info_.path.clear();
    sim->simBundle().info_.notReplaceable = "/usr is shared with other programs";
    check();
    ASSERT_EQ(u->updateState.get(), UpdateAvailability::available);
    EXPECT_EQ(u->selfUpdateProblem(), "/usr is shared with other programs");
    // Not even asked directly: nothing is downloaded that could not be installed.
    u->performUpdate();
    vt->advance(seconds(1));
    EXPECT_EQ(requests("X-Download"), 0);
    EXPECT_TRUE(logs.contains("Error updating: this copy cannot update itself: /usr is shared with other programs"));
    for (const char* page : {"file:///etc/passwd", "http://example.org/x", "https://a b"}) {
        std::string other = release("1.10");
        other.insert(other.size() - 1, std::string(R"(, "html_url": ")") + page + "\"");
        serve(other, kGoodArchive);
        check();
        EXPECT_EQ(u->releasePage(), "") << page;
        install();
    }
    EXPECT_TRUE(sim->effects().ofKind("openURL").empty());
}

TEST_F(Updates, AnInstallThatCannotWriteChangesNothing) {
    sim->simFiles().failWrites("/Applications", "Permission denied");
    expectRefusedInstall("Error updating: Permission denied");
}

TEST_F(Updates, RelaunchPassesThePathAsItsOwnArgument) {
    const std::string path = R"(/Applications/My "Q" $HOME `x`.app)";
    sim->simBundle().info_.launchCommand = {"open", path};
    u->relaunchApplication(0.5);
    auto p = sim->effects().ofKind("process");
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0].fields[1].second.toJson(),
              Value(Value::Array{"-c", "sleep \"$1\"; shift; exec \"$@\"", "sh", "0.5", "open", path}).toJson());
    EXPECT_TRUE(sim->simInstaller().terminated());
}

TEST_F(Updates, ARelaunchThatCannotStartKeepsThisProcess) {
    sim->simInstaller().failLaunch("No such file or directory");
    u->relaunchApplication(0.5);
    EXPECT_FALSE(sim->simInstaller().terminated());
    EXPECT_TRUE(logs.contains("Error relaunching: No such file or directory"));
}

TEST_F(Updates, WithoutAServerNothingIsAskedAndTheLogSaysSoOnce) {
    sim->simBundle().info_.updateServer.clear();
    check();
    check();
    EXPECT_EQ(requests(), 0);
    int n = 0;
    for (auto& l : logs.lines) n += l.message.rfind("Updates are off", 0) == 0;
    EXPECT_EQ(n, 1);
    EXPECT_EQ(u->updateState.get(), UpdateAvailability::notChecked);
}

}  // namespace
}  // namespace halvyn
