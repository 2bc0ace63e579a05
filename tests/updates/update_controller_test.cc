// UpdateController on virtual time over the simulated system: the timer, the check, the download
// and install, the relaunch and the settings reactions.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <string>

#include "app/app_state.h"
#include "app/context.h"
#include "notch/screen_manager.h"
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

    CaptureLogSink logs;
    VirtualTime* vt = nullptr;
    SimPlatform* sim = nullptr;
    std::unique_ptr<Context> ctx;
    UpdateController* u = nullptr;
};

TEST_F(Updates, TimerFirstFiresOnePeriodAfterConstructionThenRepeats) {
    vt->advance(seconds(28'799.9));
    EXPECT_EQ(requests(), 0);
    vt->advance(seconds(0.2));
    EXPECT_EQ(requests(), 1);
    EXPECT_TRUE(sim->simUpdateWindow().isOpen());
    vt->advance(seconds(28'800));
    EXPECT_EQ(requests(), 2);
}

TEST_F(Updates, PeriodicCheckStaysQuietWhileSilencedOrFullscreen) {
    ctx->defaults().set(keys::silenceUpdatePrompt, true);
    // The application's start-up follows the settings (and checks once, silently here).
    ctx->appState().setup();
    vt->advance(seconds(28'800.1));
    EXPECT_EQ(u->updateState.get(), UpdateAvailability::available);
    EXPECT_FALSE(sim->simUpdateWindow().isOpen());

    ctx->defaults().set(keys::silenceUpdatePrompt, false);
    vt->advance(seconds(0.1));  // turning the silence off checks and offers at once
    EXPECT_TRUE(sim->simUpdateWindow().isOpen());
    u->remindLater();
    EXPECT_FALSE(sim->simUpdateWindow().isOpen());

    sim->simWindowServer().setFullscreen(true);
    setAsOwner(ctx->screenManager().isFullscreen, true);
    vt->advance(seconds(28'800));
    EXPECT_EQ(u->updateState.get(), UpdateAvailability::available);
    EXPECT_FALSE(sim->simUpdateWindow().isOpen());
}

TEST_F(Updates, CheckResetsStateThenDecidesByVersion) {
    check();
    EXPECT_EQ(u->updateState.get(), UpdateAvailability::available);
    ASSERT_TRUE(u->targetRelease.get());
    ASSERT_EQ(u->changelog.get().size(), 1u);
    EXPECT_EQ(u->changelog.get()[0].body[0].text, "Faster");
    auto e = sim->effects().ofKind("http").front();
    EXPECT_EQ(e.fields[1].second.asString(), kServer);

    serve(release("1.9"), kGoodArchive);
    u->checkForUpdates();
    // Reset at once, before the answer.
    EXPECT_EQ(u->updateState.get(), UpdateAvailability::notChecked);
    EXPECT_FALSE(u->targetRelease.get());
    vt->advance(seconds(0.01));
    EXPECT_EQ(u->updateState.get(), UpdateAvailability::unavailable);
    EXPECT_EQ(u->changelog.get().size(), 1u);  // replaced only by an available result
}

TEST_F(Updates, FailedChecksLeaveNotCheckedAndSayWhy) {
    serve(R"({"id": 1})", kGoodArchive);
    check();
    EXPECT_EQ(u->updateState.get(), UpdateAvailability::notChecked);
    EXPECT_TRUE(logs.contains("Error fetching release: missing key 'tag_name'"));

    serve(release("9.0"), kGoodArchive, 500);
    check();
    EXPECT_EQ(u->updateState.get(), UpdateAvailability::notChecked);
    EXPECT_TRUE(logs.contains("Error fetching release: The server answered with status 500."));

    serve(std::string(UpdateController::kMaxReleaseBytes + 1, ' ') + release("9.0"), kGoodArchive);
    check();
    EXPECT_EQ(u->updateState.get(), UpdateAvailability::notChecked);
    EXPECT_TRUE(logs.contains("Error fetching release: The response is too large."));

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

TEST_F(Updates, EarlyBirdOffersAPrereleaseBuildOfTheSameVersion) {
    sim->simBundle().info_.version = "2.0.0";
    sim->simBundle().info_.build = 410;
    serve(release("2.0.0-b", true, "v2.0.0 (415)"), kGoodArchive);
    ctx->defaults().set(keys::isFirstLaunch, false);  // in normal use: an accessory application
    ctx->appState().setup();  // follows the settings
    check();
    EXPECT_EQ(u->updateState.get(), UpdateAvailability::unavailable);
    // Turning early-bird updates on checks again and shows the window even while silenced, the
    // application turned regular first so that the window can come to the front.
    std::optional<bool> openWhenRegular;
    Subscription policy = ctx->appState().activationPolicy.observe([&](const ActivationPolicy& p, const Animation*) {
        if (p == ActivationPolicy::regular) openWhenRegular = sim->simUpdateWindow().isOpen();
    });
    ctx->defaults().set(keys::silenceUpdatePrompt, true);
    ctx->defaults().set(keys::earlyBirdUpdates, true);
    vt->advance(seconds(0.1));
    EXPECT_EQ(u->updateState.get(), UpdateAvailability::available);
    EXPECT_TRUE(sim->simUpdateWindow().isOpen());
    EXPECT_EQ(openWhenRegular, std::optional<bool>(false));
    // Off again: the build rule no longer applies and the window closes.
    ctx->defaults().set(keys::earlyBirdUpdates, false);
    vt->advance(seconds(0.1));
    EXPECT_EQ(u->updateState.get(), UpdateAvailability::unavailable);
    EXPECT_FALSE(sim->simUpdateWindow().isOpen());
}

TEST_F(Updates, InstallReplacesTheBundleAndOffersRestart) {
    check();
    u->mainButton();
    EXPECT_TRUE(u->isInstalling.get());
    EXPECT_EQ(u->progressBar.get(), 0.25);
    u->mainButton();  // ignored while installing
    u->checkForUpdates();  // waits for the install: nothing is reset, nothing asked
    EXPECT_EQ(u->progressBar.get(), 0.25);
    EXPECT_TRUE(u->targetRelease.get());
    vt->advance(seconds(0.5));
    EXPECT_EQ(requests("X-Download"), 1);
    EXPECT_EQ(requests(), 2);
    EXPECT_EQ(u->progressBar.get(), 1.0);
    EXPECT_EQ(u->updateState.get(), UpdateAvailability::unavailable);
    EXPECT_FALSE(u->readyToRestart.get());  // one second after the install ends
    vt->advance(seconds(0.6));
    EXPECT_TRUE(u->readyToRestart.get());
    EXPECT_FALSE(u->isInstalling.get());
    EXPECT_EQ(installedProgram(), "program 2.0");
    EXPECT_TRUE(sim->simFiles().isExecutable(std::string(kApp) + "/Contents/MacOS/Halvyn"));
    EXPECT_TRUE(sim->simFiles().isExecutable(std::string(kApp) + "/Contents/XPCServices/HalvynHelper.xpc"));
    // Nothing left behind: archive, working folder, previous version.
    EXPECT_EQ(sim->simFiles().list("/Applications"), std::vector<std::string>{"Halvyn.app"});
    EXPECT_TRUE(sim->simFiles().list(kDownloads).empty());
    // The header names the public download unless early-bird updates are on.
    auto headers = sim->effects().ofKind("http").back().fields[2].second;
    EXPECT_EQ(headers.find("X-Asset-URL")->asString(), "https://dl/1");
    EXPECT_EQ(headers.find("X-Download")->asString(), "true");
}

TEST_F(Updates, OnlyThisUsersEarlierDownloadIsReusedAndOnlyWhenItStillMatches) {
    // Planted in the shared temporary folder: ignored, the archive is downloaded.
    serve(release("1.10", false, "R", "Halvyn.zip", describes(kGoodArchive)), kGoodArchive);
    check();
    std::string evil = kGoodArchive;
    evil.replace(evil.find("program 2.0"), 11, "evil");
    sim->simFiles().put(sim->simFiles().temporaryDirectory() + "/Halvyn.zip_1.10", evil);
    install();
    EXPECT_EQ(requests("X-Download"), 1);
    EXPECT_EQ(installedProgram(), "program 2.0");

    // Back to the old program, with `left` in the private folder from an earlier run.
    auto installAgainWith = [&](const std::string& left) {
        sim->simFiles().put(std::string(kApp) + "/Contents/MacOS/Halvyn", "program 1.0", true);
        setAsOwner(u->readyToRestart, false);
        check();
        sim->simFiles().put(std::string(kDownloads) + "/Halvyn.zip_1.10", left);
        install();
    };
    // Left in the private folder and still what the release describes: used without a download.
    installAgainWith(kGoodArchive);
    EXPECT_EQ(requests("X-Download"), 1);
    EXPECT_EQ(installedProgram(), "program 2.0");

    // Left there but no longer matching: thrown away and fetched again.
    installAgainWith(evil);
    EXPECT_EQ(requests("X-Download"), 2);
    EXPECT_TRUE(logged("Discarded an earlier download: the archive has"));
    EXPECT_EQ(installedProgram(), "program 2.0");
    EXPECT_TRUE(u->readyToRestart.get());
}

TEST_F(Updates, AnArchiveUnlikeTheReleasesDescriptionIsRefused) {
    const std::string other = std::string(kGoodArchive) + " ";
    const std::string sameLength = std::string(kGoodArchive).replace(1, 1, "\t");
    const struct {
        std::string extra, log;
    } cases[] = {
        {describes(other), "Error verifying update: the archive has " + std::to_string(other.size() - 1) +
                               " bytes, the release says " + std::to_string(other.size())},
        {describes(sameLength), "Error verifying update: the archive's SHA-256 digest " +
                                    SimArchiveVerifier::digestOf(kGoodArchive) + " is not the release's " +
                                    SimArchiveVerifier::digestOf(sameLength)},
        {R"(, "size": 1e12)", "Error downloading asset: the archive is larger than"},
    };
    for (auto& c : cases) {
        serve(release("1.10", false, "R", "Halvyn.zip", c.extra), kGoodArchive);
        check();
        install();
        EXPECT_TRUE(logged(c.log)) << c.log;
        EXPECT_FALSE(u->readyToRestart.get());
        EXPECT_FALSE(u->isInstalling.get());
        EXPECT_EQ(u->updateState.get(), UpdateAvailability::available);
        EXPECT_EQ(installedProgram(), "program 1.0");
        EXPECT_TRUE(sim->simFiles().list(kDownloads).empty());  // never reused
    }
    // Upper-case hex in the release is the same digest.
    std::string upper = describes(kGoodArchive);
    const auto hex = upper.begin() + static_cast<std::ptrdiff_t>(upper.find("sha256:") + 7);
    std::transform(hex, upper.end(), hex, [](char ch) { return static_cast<char>(std::toupper(ch)); });
    serve(release("1.10", false, "R", "Halvyn.zip", upper), kGoodArchive);
    check();
    install();
    EXPECT_TRUE(u->readyToRestart.get());
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
        serve(release("1.10", false, "R", "Halvyn.zip", "", c.moreAssets), kGoodArchive, 200, c.signature);
        check();
        install();
        EXPECT_TRUE(logged(c.log)) << c.log;
        EXPECT_FALSE(u->readyToRestart.get());
        EXPECT_EQ(installedProgram(), "program 1.0");
    }
    EXPECT_EQ(requests("X-Download"), 3);  // no archive without a signature to check it by
    serve(release("1.10", false, "R", "Halvyn.zip", "", sigAsset), kGoodArchive, 200,
          SimArchiveVerifier::signatureOf(kGoodArchive));
    check();
    install();
    EXPECT_TRUE(u->readyToRestart.get());
    EXPECT_EQ(installedProgram(), "program 2.0");
}

TEST_F(Updates, UpdatesComeOnlyOverHttpsOrFromThisMachine) {
    for (const char* server : {"http://updates.halvyn.app/", "ftp://updates.halvyn.app/", "http://127.0.0.1@evil.example/"}) {
        sim->simBundle().info_.updateServer = server;
        check();
    }
    EXPECT_EQ(requests(), 0);
    EXPECT_TRUE(logged("Updates are off: the update server's address is not HTTPS"));
    for (const char* server : {"http://127.0.0.1:8080/", "http://localhost/", "http://[::1]:9/"}) {
        sim->simBundle().info_.updateServer = server;
        sim->simHttp().setServer(server, [](const HttpRequest&) {
            return std::optional<HttpResponse>(HttpResponse{200, {}, release("1.10"), {}});
        });
        check();
        EXPECT_EQ(u->updateState.get(), UpdateAvailability::available) << server;
    }
    // A download address that is not HTTPS is not even asked for.
    sim->simBundle().info_.updateServer = kServer;
    serve(std::string(release("1.10")).replace(release("1.10").find("https://dl/1"), 12, "http://dl/1"), kGoodArchive);
    check();
    install();
    EXPECT_TRUE(logged("Error downloading asset: refused the download address \"http://dl/1\": not HTTPS"));
    EXPECT_EQ(requests("X-Download"), 0);
    EXPECT_EQ(installedProgram(), "program 1.0");
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
    check();
    install();
    EXPECT_TRUE(logged("Error downloading asset: the download folder cannot be used"));
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

TEST_F(Updates, ADownloadErrorReturnsToInstall) {
    check();
    sim->simHttp().setServer(kServer, [](const HttpRequest&) {
        return std::optional<HttpResponse>(HttpResponse{0, {}, {}, "The network connection was lost."});
    });
    install();
    EXPECT_EQ(u->progressBar.get(), 0.25);
    EXPECT_FALSE(u->readyToRestart.get());
    EXPECT_FALSE(u->isInstalling.get());
    EXPECT_EQ(u->updateState.get(), UpdateAvailability::available);
    EXPECT_TRUE(logs.contains("Error downloading asset: The network connection was lost."));
    EXPECT_EQ(installedProgram(), "program 1.0");
    // The button works again.
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

TEST_F(Updates, AssetNamesThatAreNotPlainFileNamesAreRefused) {
    for (std::string name : {"../../Applications/Halvyn.app", "a/b.zip", "..", ""}) {
        serve(release("1.10", false, "R", name), kGoodArchive);
        check();
        ASSERT_EQ(u->updateState.get(), UpdateAvailability::available) << name;
        install();
        EXPECT_FALSE(u->readyToRestart.get()) << name;
    }
    // A tag with a slash would also steer the file out of the temporary folder.
    serve(release("1.10/../../x"), kGoodArchive);
    check();
    install();
    EXPECT_FALSE(u->readyToRestart.get());
    EXPECT_EQ(requests("X-Download"), 0);
    EXPECT_TRUE(logs.contains("Error downloading asset: refused the file name \"../../Applications/Halvyn.app_1.10\""));
}

TEST_F(Updates, BadArchivesLeaveTheRunningVersionWhole) {
    const std::string head = R"({"entries": [{"path": "Halvyn.app", "type": "dir"},
        {"path": "Halvyn.app/Contents/MacOS/Halvyn", "type": "file", "data": "evil"},
        {"path": "Halvyn.app/Contents/XPCServices/HalvynHelper.xpc", "type": "dir"}, )";
    const struct {
        std::string archive;
        std::string log;
    } cases[] = {
        {head + R"({"path": "/etc/evil", "type": "file"}]})", "refused the archive entry \"/etc/evil\""},
        {head + R"({"path": "Halvyn.app/../../evil", "type": "file"}]})", "refused the archive entry"},
        {head + R"({"path": "Halvyn.app/l", "type": "link", "target": "../../Library"}]})", "refused the link"},
        {head + R"({"path": "Halvyn.app/l", "type": "link", "target": "/Applications"}]})", "refused the link"},
        {head + R"({"path": "Halvyn.app/l", "type": "link", "target": "."}, {"path": "Halvyn.app/l/x", "type": "file"}]})",
         "refused the archive entry \"Halvyn.app/l/x\""},
        {std::string(kGoodArchive).substr(0, 60), "The archive is damaged or truncated."},
        {head + R"({"path": "Halvyn.app/up", "type": "link", "target": ".."}]})", "refused the link \"Halvyn.app/up\""},
        {head + R"({"path": "Halvyn.app/a\nError updating: forged", "type": "file"}]})",
         "refused the archive entry \"Halvyn.app/a\\x0AError updating: forged\": its name holds a control character"},
        // One folder named after the application, and nothing beside it.
        {head + R"({"path": "Other.app/x", "type": "file"}]})", "refused the archive entry \"Other.app/x\": the archive must"},
        {head + R"({"path": "README", "type": "file"}]})", "refused the archive entry \"README\": the archive must"},
        {R"({"entries": [{"path": "Evil.app/Contents/MacOS/Halvyn", "type": "file"}]})", "refused the archive entry \"Evil.app"},
        {R"({"entries": []})", "The archive is empty."},
        // The program must be a program, not a folder or nothing.
        {R"({"entries": [{"path": "Halvyn.app/Contents/MacOS/Halvyn", "type": "dir"}]})",
         "the new version's Contents/MacOS/Halvyn is not a program"},
        {R"({"entries": [{"path": "Halvyn.app/Contents/Info.plist", "type": "file"}]})",
         "the new version's Contents/MacOS/Halvyn is not a program"},
    };
    for (auto& c : cases) {
        serve(release("1.10"), c.archive);
        check();
        install();
        EXPECT_FALSE(u->readyToRestart.get()) << c.archive;
        EXPECT_EQ(u->updateState.get(), UpdateAvailability::available);
        EXPECT_TRUE(logs.contains(c.log) || [&] {
            for (auto& l : logs.lines)
                if (l.message.find(c.log) != std::string::npos) return true;
            return false;
        }()) << c.log;
        EXPECT_EQ(installedProgram(), "program 1.0");
        EXPECT_EQ(sim->simFiles().list("/Applications"), std::vector<std::string>{"Halvyn.app"});
        // A damaged archive is not reused.
        EXPECT_TRUE(sim->simFiles().list(kDownloads).empty());
        EXPECT_FALSE(sim->simFiles().exists("/etc/evil"));
    }
}

TEST_F(Updates, ACopyThatCannotUpdateItselfOffersTheReleasePageAndDownloadsNothing) {
    sim->simBundle().info_.path.clear();
    sim->simBundle().info_.notReplaceable = "/usr is shared with other programs";
    std::string withPage = release("1.10");
    withPage.insert(withPage.size() - 1, R"(, "html_url": "https://example.org/releases/1.10")");
    serve(withPage, kGoodArchive);
    check();
    ASSERT_EQ(u->updateState.get(), UpdateAvailability::available);
    EXPECT_EQ(u->selfUpdateProblem(), "/usr is shared with other programs");
    install();
    EXPECT_EQ(requests("X-Download"), 0);
    EXPECT_FALSE(u->isInstalling.get());
    auto opened = sim->effects().ofKind("openURL");
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].fields[0].second.asString(), "https://example.org/releases/1.10");
    // Not even asked directly: nothing is downloaded that could not be installed.
    u->performUpdate();
    vt->advance(seconds(1));
    EXPECT_EQ(requests("X-Download"), 0);
    EXPECT_TRUE(logs.contains("Error updating: this copy cannot update itself: /usr is shared with other programs"));
    // Only a web page is opened from what the server says.
    for (const char* page : {"file:///etc/passwd", "http://example.org/x", "https://a b"}) {
        std::string other = release("1.10");
        other.insert(other.size() - 1, std::string(R"(, "html_url": ")") + page + "\"");
        serve(other, kGoodArchive);
        check();
        EXPECT_EQ(u->releasePage(), "") << page;
        install();
    }
    EXPECT_EQ(sim->effects().ofKind("openURL").size(), 1u);
}

TEST_F(Updates, AnInstallThatCannotWriteChangesNothing) {
    check();
    sim->simFiles().failWrites("/Applications", "Permission denied");
    install();
    EXPECT_FALSE(u->readyToRestart.get());
    EXPECT_TRUE(logs.contains("Error updating: Permission denied"));
    EXPECT_EQ(installedProgram(), "program 1.0");
}

TEST_F(Updates, RelaunchPassesThePathAsItsOwnArgument) {
    const std::string path = R"(/Applications/My "Q" $HOME `x`.app)";
    sim->simBundle().info_.launchCommand = {"open", path};
    u->relaunchApplication(0.5);
    auto p = sim->effects().ofKind("process");
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0].fields[0].second.asString(), "/bin/sh");
    const auto& args = p[0].fields[1].second.asArray();
    ASSERT_EQ(args.size(), 6u);
    EXPECT_EQ(args[1].asString(), "sleep \"$1\"; shift; exec \"$@\"");
    EXPECT_EQ(args[3].asString(), "0.5");
    EXPECT_EQ(args[5].asString(), path);
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
