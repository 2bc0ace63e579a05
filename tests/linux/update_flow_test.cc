// The update flow on the desktop's adapters against a real HTTP server on the loopback interface,
// started here: Qt Network for HTTP, libarchive for unpacking, POSIX files for the install.

#include <QByteArray>
#include <QCryptographicHash>
#include <QMouseEvent>
#include <QProcess>
#include <QWidget>

#include <archive.h>
#include <archive_entry.h>
#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <memory>

#include <gtest/gtest.h>

#include "app/context.h"
#include "linux/loopback_server.h"
#include "linux/services.h"
#include "platform/linux/archive_unpacker.h"
#include "platform/linux/linux_installer.h"
#include "platform/linux/module_ports.h"
#include "platform/linux/modules.h"
#include "platform/linux/posix_file_system.h"
#include "platform/platform.h"
#include "settings/memory_preferences.h"
#include "shell/real_time.h"
#include "shell/update_window.h"
#include "updates/update_controller.h"

namespace halvyn {
namespace {

namespace fs = std::filesystem;
using test::LoopbackServer;
using test::readFile;
using test::spinUntil;
using test::writeFile;

struct Entry {
    std::string path;
    char type = 'f';  // f file, d folder, l link, h hard link, p pipe
    std::string data;  // contents, or a link's target
    int mode = 0644;
};

std::string makeArchive(const fs::path& file, const std::vector<Entry>& entries) {
    archive* a = archive_write_new();
    archive_write_add_filter_gzip(a);
    archive_write_set_format_pax_restricted(a);
    EXPECT_EQ(archive_write_open_filename(a, file.c_str()), ARCHIVE_OK);
    for (const Entry& e : entries) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, e.path.c_str());
        archive_entry_set_perm(entry, static_cast<mode_t>(e.mode));
        if (e.type == 'd') {
            archive_entry_set_filetype(entry, AE_IFDIR);
        } else if (e.type == 'l') {
            archive_entry_set_filetype(entry, AE_IFLNK);
            archive_entry_set_symlink(entry, e.data.c_str());
        } else if (e.type == 'h') {
            archive_entry_set_filetype(entry, AE_IFREG);
            archive_entry_set_hardlink(entry, e.data.c_str());
        } else if (e.type == 'p') {
            archive_entry_set_filetype(entry, AE_IFIFO);
        } else {
            archive_entry_set_filetype(entry, AE_IFREG);
            archive_entry_set_size(entry, static_cast<la_int64_t>(e.data.size()));
        }
        archive_write_header(a, entry);
        if (e.type == 'f') archive_write_data(a, e.data.data(), e.data.size());
        archive_entry_free(entry);
    }
    archive_write_close(a);
    archive_write_free(a);
    return readFile(file);
}

// Marks `prefix` as an installation of the program holding just what is in it now, as the
// installation's manifest would.
void writeManifest(const fs::path& prefix, const std::string& program = "Halvyn") {
    const fs::path manifest = prefix / LinuxBundle::kManifest;
    fs::create_directories(manifest.parent_path());
    std::string text = program + "\n" + LinuxBundle::kManifest + "\n";
    for (auto& e : fs::recursive_directory_iterator(prefix))
        if (!e.is_directory() && e.path() != manifest) text += e.path().lexically_relative(prefix).string() + "\n";
    writeFile(manifest, text);
}

// Version 1.0 of the program, installed at `prefix`.
void installOld(const fs::path& prefix) {
    writeFile(prefix / "bin/halvyn", "#!/bin/sh\necho old\n", fs::perms(0755));
    writeFile(prefix / "share/halvyn/VERSION", "1.0");
    writeManifest(prefix);
}

// Every file, folder and link below `root` with its contents (or target), for comparing a tree
// before and after; `skip` is left out.
std::map<std::string, std::string> listing(const fs::path& root, const fs::path& skip = {}) {
    std::map<std::string, std::string> out;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        if (it->path() == skip) {
            it.disable_recursion_pending();
            continue;
        }
        const std::string relative = it->path().lexically_relative(root).string();
        if (it->is_symlink()) out[relative] = "link " + fs::read_symlink(it->path()).string();
        else if (it->is_directory()) out[relative] = "folder";
        else out[relative] = "file " + std::to_string(std::hash<std::string>{}(readFile(it->path())));
    }
    return out;
}

// The asset keys a release server publishes for these bytes.
std::string describes(const std::string& bytes) {
    const QByteArray digest = QCryptographicHash::hash(QByteArray::fromStdString(bytes), QCryptographicHash::Sha256);
    return R"(, "size": )" + std::to_string(bytes.size()) + R"(, "digest": "sha256:)" + digest.toHex().toStdString() + "\"";
}

// Has `server` offer version 2.0.0 with the asset `assetName` that is `archive`; `assetExtra`:
// more keys of the asset, such as its size and digest. `asked`: the asset address a download named.
void offerRelease(LoopbackServer& server, const std::string& assetName, const std::string& archive,
                  const std::string& assetExtra, std::string* asked = nullptr) {
    const std::string release = R"({"id": 2, "tag_name": "2.0.0", "name": "Halvyn 2.0.0", "body": "# 📣 New\n- Two",
        "assets": [{"name": ")" + assetName + R"(", "url": "https://api/2", "browser_download_url": "https://dl/2")" +
                                assetExtra + R"(}], "prerelease": false, "published_at": "2026-03-01T00:00:00Z"})";
    server.handler = [=](const LoopbackServer::Request& r) {
        const bool download = r.headers.count("x-download");
        if (download && asked) *asked = r.headers.at("x-asset-url");
        return LoopbackServer::Reply{200, QByteArray::fromStdString(download ? archive : release)};
    };
}

bool logged(const CaptureLogSink& logs, const std::string& part) {
    for (auto& l : logs.lines)
        if (l.message.find(part) != std::string::npos) return true;
    return false;
}

// Starting processes is recorded, so the test can run the relaunch command itself. Unpacking is
// the updates module's, opened as the program opens it.
class RecordingInstaller final : public Installer {
public:
    explicit RecordingInstaller(MainQueue& main)
        : real(main, [] {
              return module("halvyn-updates").function<decltype(halvyn_unpack_archive)>("halvyn_unpack_archive");
          }) {}
    void unpack(const std::string& a, const std::string& d, const UnpackRules& rules,
                std::function<void(FileResult)> done) override {
        real.unpack(a, d, rules, std::move(done));
    }
    FileResult launchDetached(const std::string& program, const std::vector<std::string>& arguments) override {
        launched = {program, arguments};
        return {};
    }
    void terminate() override { terminated = true; }

    LinuxInstaller real;
    std::pair<std::string, std::vector<std::string>> launched;
    bool terminated = false;
};

class DesktopUpdatePlatform final : public Platform {
public:
    DesktopUpdatePlatform(MainQueue& main, LinuxBundle b)
        : http_(module("halvyn-http"), main), bundle_(std::move(b)), recorder(main), verifier(module("halvyn-updates"), main) {}
    Preferences* preferences() override { return &prefs; }
    Http* http() override { return &http_; }
    FileSystem* fileSystem() override { return &files; }
    Bundle* bundle() override { return &bundle_; }
    Installer* installer() override { return &recorder; }
    ArchiveVerifier* archiveVerifier() override { return &verifier; }

    MemoryPreferences prefs;
    // The program's modules, as it opens them.
    ModuleHttp http_;
    PosixFileSystem files;
    LinuxBundle bundle_;
    RecordingInstaller recorder;
    ModuleVerifier verifier;
};

class DesktopUpdates : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/halvyn-update-XXXXXX";
        root = mkdtemp(pattern);
        // Downloads go to this user's cache: the test's own.
        cacheHome.emplace("XDG_CACHE_HOME", (root / "cache").string());
        // A path with a space, quotes and "$": the relaunch must pass it through untouched.
        prefix = root / "my \"apps\" $HOME" / "halvyn";
        installOld(prefix);
        assetName = "Halvyn-" + std::to_string(::getpid()) + ".tar.gz";
        downloads = root / "cache/halvyn/updates";
    }
    void TearDown() override {
        ctx.reset();
        fs::remove_all(root);
    }

    // `assetExtra`: more keys of the asset, such as its size and digest.
    void start(const std::string& archive, const std::string& assetExtra = "") {
        offerRelease(server, assetName, archive, assetExtra, &assetHeader);
        auto runtime = std::make_unique<RealTime>();
        MainQueue& main = runtime->main();
        auto platform = std::make_unique<DesktopUpdatePlatform>(
            main, LinuxBundle((prefix / "bin/halvyn").string(), "1.0", 10, server.url().toStdString()));
        platformPtr = platform.get();
        ctx = std::make_unique<Context>(std::move(runtime), std::move(platform), &logs);
    }

    std::string archiveOf(const std::vector<Entry>& entries) { return makeArchive(root / "made.tar.gz", entries); }

    bool runInstall() {
        UpdateController& u = ctx->updates();
        u.checkForUpdates();
        EXPECT_TRUE(spinUntil([&] { return u.updateState.get() == UpdateAvailability::available; }));
        u.mainButton();
        EXPECT_TRUE(spinUntil([&] { return !u.isInstalling.get(); }));
        return u.readyToRestart.get();
    }

    // Installing `archive` is refused for `why`, said on one line, and leaves the installed tree
    // as it was with nothing beside it.
    void expectRefused(const std::string& archive, const std::string& why) {
        SCOPED_TRACE(why);
        start(archive);
        EXPECT_FALSE(runInstall());
        EXPECT_TRUE(logged(logs, why)) << (logs.lines.empty() ? "" : logs.lines.back().message);
        for (auto& l : logs.lines) EXPECT_EQ(l.message.find('\n'), std::string::npos) << l.message;
        EXPECT_EQ(test::output("'" + (prefix / "bin/halvyn").string() + "'"), "old\n");
        EXPECT_EQ(readFile(prefix / "share/halvyn/VERSION"), "1.0");
        EXPECT_EQ(std::distance(fs::directory_iterator(prefix.parent_path()), fs::directory_iterator()), 1);
        ctx.reset();
        logs.lines.clear();
    }

    std::optional<test::ScopedEnv> cacheHome;
    fs::path root, prefix, downloads;
    std::string assetName;
    std::string assetHeader;
    LoopbackServer server;
    CaptureLogSink logs;
    DesktopUpdatePlatform* platformPtr = nullptr;
    std::unique_ptr<Context> ctx;
};

TEST_F(DesktopUpdates, TheWholeFlowReplacesTheInstalledTreeAndRelaunchesTheNewOne) {
    const std::string archive = archiveOf({{"Halvyn.app", 'd', "", 0755},
                                           {"Halvyn.app/bin/halvyn", 'f', "#!/bin/sh\necho \"new $#\"\n", 0755},
                                           {"Halvyn.app/share/halvyn/VERSION", 'f', "2.0"},
                                           {"Halvyn.app/lib/halvyn", 'l', "../bin/halvyn"}});
    start(archive, describes(archive));
    ASSERT_TRUE(runInstall());
    EXPECT_EQ(assetHeader, "https://dl/2");
    EXPECT_EQ(readFile(prefix / "share/halvyn/VERSION"), "2.0");
    EXPECT_NE(fs::status(prefix / "bin/halvyn").permissions() & fs::perms::owner_exec, fs::perms::none);
    EXPECT_NE(fs::status(prefix / "bin/halvyn").permissions() & fs::perms::others_exec, fs::perms::none);
    EXPECT_EQ(fs::read_symlink(prefix / "lib/halvyn"), "../bin/halvyn");
    // Nothing left beside the tree or in the download folder, which is this user's alone.
    EXPECT_EQ(std::distance(fs::directory_iterator(prefix.parent_path()), fs::directory_iterator()), 1);
    EXPECT_TRUE(fs::is_empty(downloads));
    EXPECT_EQ(fs::status(downloads).permissions() & fs::perms::all, fs::perms::owner_all);

    ctx->updates().mainButton();  // "Restart..."
    auto& installer = platformPtr->recorder;
    ASSERT_EQ(installer.launched.first, "/bin/sh");
    EXPECT_TRUE(installer.terminated);
    // Run the recorded command (with no delay): the new program starts, with no extra argument.
    auto args = installer.launched.second;
    ASSERT_GE(args.size(), 5u);
    args[3] = "0";
    QStringList qargs;
    for (auto& a : args) qargs << QString::fromStdString(a);
    QProcess p;
    p.start(QString::fromStdString(installer.launched.first), qargs);
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.readAllStandardOutput().trimmed().toStdString(), "new 0");
}

TEST_F(DesktopUpdates, HostileOrBrokenArchivesLeaveTheInstalledTreeWhole) {
    const Entry good = {"Halvyn.app/bin/halvyn", 'f', "#!/bin/sh\necho Halvyn 2.0\n", 0755};
    std::string full = archiveOf({{"Halvyn.app/bin/halvyn", 'f', std::string(200000, 'x'), 0755}});
    const std::vector<std::pair<std::string, std::string>> cases = {
        {archiveOf({good, {"Halvyn.app/../../evil", 'f', "x"}}), "refused the archive entry"},
        {archiveOf({good, {"/tmp/halvyn-evil-absolute", 'f', "x"}}), "refused the archive entry"},
        {archiveOf({good, {"Halvyn.app/up", 'l', ".."}}), "refused the link \"Halvyn.app/up\" to \"..\""},
        {archiveOf({good, {"Halvyn.app/l", 'l', "."}, {"Halvyn.app/l/x", 'f', "x"}}), "refused the archive entry"},
        {archiveOf({good, {"Halvyn.app/h", 'h', "Halvyn.app/bin/halvyn"}}), "refused the archive entry \"Halvyn.app/h\""},
        {archiveOf({good, {"Halvyn.app/fifo", 'p', ""}}), "refused the archive entry \"Halvyn.app/fifo\""},
        {archiveOf({good, {"Halvyn.app/a\nError updating: forged", 'f', "x"}}),
         "\"Halvyn.app/a\\x0AError updating: forged\": its name holds a control character"},
        {full.substr(0, full.size() / 2), "truncated"},
        {"not an archive at all", "The archive cannot be read"},
        // One folder named after the application, and nothing beside it (each case of the rules
        // is in the archive entry tests; these show the unpacker applies them).
        {archiveOf({{"Evil.app/bin/halvyn", 'f', "x", 0755}}), "refused the archive entry \"Evil.app/bin/halvyn\""},
        {archiveOf({good, {"README", 'f', "x"}}), "refused the archive entry \"README\": the archive must"},
        // The program must be a program that runs.
        {archiveOf({{"Halvyn.app/share/VERSION", 'f', "x"}}), "the new version's bin/halvyn is not a program"},
        {archiveOf({{"Halvyn.app/bin/halvyn", 'd', "", 0755}, {"Halvyn.app/bin/halvyn/x", 'f', "x"}}), "is not a program"},
        {archiveOf({{"Halvyn.app/bin/halvyn", 'l', "../share/x"}, {"Halvyn.app/share/x", 'f', "#!/bin/sh\n", 0755}}),
         "is not a program"},
        {archiveOf({{"Halvyn.app/bin/halvyn", 'f', "\x7f" "ELF junk", 0755}}), "bin/halvyn does not run: it cannot be started"},
        {archiveOf({{"Halvyn.app/bin/halvyn", 'f', "#!/bin/sh\nexit 3\n", 0755}}), "does not run: it did not answer"},
    };
    for (auto& [archive, why] : cases) {
        expectRefused(archive, why);
        EXPECT_FALSE(fs::exists(root / "evil"));
        EXPECT_FALSE(fs::exists("/tmp/halvyn-evil-absolute"));
    }
}

TEST(LinuxUnpacker, EntriesBytesAndTheProgramsAnswerAreBounded) {
    const fs::path root = test::privateFolder("halvyn-unpack");
    auto unpack = [&](const std::vector<Entry>& entries, UnpackRules rules) {
        fs::remove_all(root / "out");
        fs::create_directories(root / "out");
        makeArchive(root / "a.tar.gz", entries);
        rules.topFolder = "Halvyn.app";
        return unpackArchive((root / "a.tar.gz").string(), (root / "out").string(), rules).error;
    };
    UnpackRules few;
    few.maxEntries = 50;
    std::vector<Entry> many;
    for (int i = 0; i < 51; ++i) many.push_back({"Halvyn.app/" + std::to_string(i), 'f', ""});
    EXPECT_EQ(unpack(many, few), "The archive holds more than 50 entries.");
    many.pop_back();
    EXPECT_EQ(unpack(many, few), "");

    // A small archive of zeros that would unpack to more than the bound writes nothing.
    UnpackRules small;
    small.maxBytes = 1 << 20;
    EXPECT_EQ(unpack({{"Halvyn.app/zeros", 'f', std::string(2 << 20, '\0')}}, small), "The archive unpacks to more than 1 MiB.");
    EXPECT_FALSE(fs::exists(root / "out/Halvyn.app/zeros"));

    // The program answers "--version" in time, even when it leaves something running.
    UnpackRules program;
    program.program = "bin/halvyn";
    program.versionTimeout = 0.5;
    EXPECT_EQ(unpack({{"Halvyn.app/bin/halvyn", 'f', "#!/bin/sh\n(sleep 30) &\necho Halvyn 2.0\n", 0700}}, program), "");
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(unpack({{"Halvyn.app/bin/halvyn", 'f', "#!/bin/sh\nsleep 30\n", 0755}}, program),
              "the new version's bin/halvyn does not run: it did not answer \"--version\" within 0.5 s");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    // Executable whatever the archive said.
    EXPECT_EQ(unpack({{"Halvyn.app/bin/halvyn", 'f', "#!/bin/sh\necho Halvyn 2.0\n", 0644}}, program), "");
    fs::remove_all(root);
}

// A file system of 1 MiB of its own holds the installed tree: a new version that does not fit is
// refused before writing when its sizes say so, and with the system's reason when they do not.
TEST_F(DesktopUpdates, AFullDiskIsReportedAndLeavesTheInstalledTreeWhole) {
    const fs::path disk = root / "disk";
    fs::create_directories(disk);
    if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=1m") != 0) GTEST_SKIP() << "cannot mount a small file system";
    prefix = disk / "halvyn";
    installOld(prefix);
    std::vector<Entry> blocks = {{"Halvyn.app/bin/halvyn", 'f', "#!/bin/sh\necho Halvyn 2.0\n", 0755}};
    // Each one-byte file takes a page: the sizes add up to little, the disk fills anyway.
    for (int i = 0; i < 100; ++i) blocks.push_back({"Halvyn.app/share/" + std::to_string(i), 'f', "x"});
    std::vector<Entry> shortWrite = blocks;  // then a file that fits by its size, but not in what is left
    shortWrite.push_back({"Halvyn.app/big", 'f', std::string(700 << 10, 'b')});
    for (int i = 100; i < 300; ++i) blocks.push_back({"Halvyn.app/share/" + std::to_string(i), 'f', "x"});
    const std::vector<std::pair<std::vector<Entry>, std::string>> cases = {
        {{{"Halvyn.app/big", 'f', std::string(2 << 20, 'z')}}, "Not enough free space: the new version needs 2 MiB"},
        {blocks, "No space left on device"},
        {shortWrite, "Halvyn.app/big: No space left on device"},
    };
    for (auto& [entries, why] : cases) expectRefused(archiveOf(entries), why);
    ::umount(disk.c_str());
}

TEST_F(DesktopUpdates, NeitherAPlantedFileNorABadDigestIsInstalled) {
    const std::string good = archiveOf({{"Halvyn.app/bin/halvyn", 'f', "#!/bin/sh\necho new\n", 0755}});
    const std::string evil = archiveOf({{"Halvyn.app/bin/halvyn", 'f', "#!/bin/sh\necho evil\n", 0755}});
    // Another user's archive, and a link to the user's own file, under the name anyone can read.
    const fs::path shared = fs::temp_directory_path() / (assetName + "_2.0");
    writeFile(root / "bashrc", "mine");
    fs::create_symlink(root / "bashrc", shared);
    // The server's bytes are not the ones its release describes.
    start(good, describes(evil));
    EXPECT_FALSE(runInstall());
    EXPECT_EQ(readFile(prefix / "bin/halvyn"), "#!/bin/sh\necho old\n");
    EXPECT_EQ(readFile(root / "bashrc"), "mine");
    EXPECT_TRUE(fs::is_empty(downloads));
    EXPECT_EQ(std::distance(fs::directory_iterator(prefix.parent_path()), fs::directory_iterator()), 1);
    ctx.reset();
    fs::remove(shared);
    writeFile(shared, evil);
    start(good, describes(good));
    EXPECT_TRUE(runInstall());
    EXPECT_EQ(readFile(prefix / "bin/halvyn"), "#!/bin/sh\necho new\n");
    fs::remove(shared);
}

// The program installed as a user would, into ~/.local/opt/halvyn beside the user's other files,
// and updated through the update window from a loopback server.
class DesktopUpdateEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::canonical(test::privateFolder("halvyn-e2e"));
        home = root / "home";
        prefix = home / ".local/opt/halvyn";
        writeFile(home / "notes.txt", "mine");
        writeFile(home / ".local/share/keyrings/login.keyring", "secret");
        writeFile(home / ".local/bin/tool", "#!/bin/sh\n", fs::perms(0755));
        writeFile(home / ".local/opt/other/readme", "another program");
        writeFile(home / ".config/halvyn/preferences.json", "{}");
        int status = -1;
        const std::string log = test::output("cmake --install '" HALVYN_BUILD_DIR "' --prefix '" + prefix.string() +
                                                 "' 2>&1",
                                             &status);
        ASSERT_EQ(status, 0) << log;
        fs::create_symlink(prefix / "bin/halvyn", home / ".local/bin/halvyn");

        // The new version: the installed tree, its programs replaced by small ones that say so.
        std::vector<Entry> entries{{"Halvyn.app", 'd', "", 0755}};
        for (auto& e : fs::recursive_directory_iterator(prefix)) {
            const std::string at = "Halvyn.app/" + e.path().lexically_relative(prefix).string();
            if (e.is_directory()) entries.push_back({at, 'd', "", 0755});
            else if (e.path().parent_path() == prefix / "bin") entries.push_back({at, 'f', "#!/bin/sh\necho Halvyn 2.0.0\n", 0755});
            else entries.push_back({at, 'f', readFile(e.path())});
        }
        archive = makeArchive(root / "new.tar.gz", entries);
    }
    void TearDown() override {
        if (ctx) ctx->updates().setWindowHost(nullptr);
        window.reset();
        ctx.reset();
        fs::remove_all(root);
    }

    // Offers version 2.0.0 and presses the update window's main button; whether it then offers
    // "Restart...".
    bool installThroughTheWindow() {
        offerRelease(server, "Halvyn-2.0.0-" + std::to_string(::getpid()) + ".tar.gz", archive, describes(archive));
        auto runtime = std::make_unique<RealTime>();
        MainQueue& main = runtime->main();
        // Started as the user starts it: through the link in ~/.local/bin.
        auto platform = std::make_unique<DesktopUpdatePlatform>(
            main, LinuxBundle((home / ".local/bin/halvyn").string(), "1.0.0", 1, server.url().toStdString()));
        ctx = std::make_unique<Context>(std::move(runtime), std::move(platform), &logs);
        UpdateController& u = ctx->updates();
        window = std::make_unique<QtUpdateWindow>(*ctx);
        u.setWindowHost(window.get());
        u.checkForUpdates([&u] { u.showUpdateWindowIfAvailable(); });
        EXPECT_TRUE(spinUntil([&] { return window->window() != nullptr; }));
        auto* view = dynamic_cast<UpdateView*>(window->window());
        if (!view) return false;
        EXPECT_EQ(view->mainButtonLabel(), "Install");
        EXPECT_EQ(view->adviceText(), "");
        QWidget* button = view->mainButton();
        const QPointF centre = QRectF(button->rect()).center();
        for (const auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent e(type, centre, button->mapToGlobal(centre), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
            QCoreApplication::sendEvent(button, &e);
        }
        EXPECT_TRUE(u.isInstalling.get());
        EXPECT_TRUE(spinUntil([&] { return !u.isInstalling.get(); }, 60000));
        return view->mainButtonLabel() == "Restart...";
    }
    std::string version() const { return test::output("'" + (prefix / "bin/halvyn").string() + "' --version"); }

    fs::path root, home, prefix;
    std::string archive;
    LoopbackServer server;
    CaptureLogSink logs;
    std::unique_ptr<Context> ctx;
    std::unique_ptr<QtUpdateWindow> window;
};

TEST_F(DesktopUpdateEndToEnd, TheInstalledProgramBecomesTheNewVersionAndNothingElseInTheHomeChanges) {
    test::ScopedEnv homeVariable("HOME", home.string());
    test::ScopedEnv cache("XDG_CACHE_HOME", (root / "cache").string());
    EXPECT_EQ(version(), "Halvyn 1.0.0\n");
    const auto before = listing(home, prefix);
    const auto installed = listing(prefix);

    ASSERT_TRUE(installThroughTheWindow());
    EXPECT_EQ(version(), "Halvyn 2.0.0\n");
    EXPECT_EQ(test::output("'" + (home / ".local/bin/halvyn").string() + "' --version"), "Halvyn 2.0.0\n");
    EXPECT_EQ(listing(home, prefix), before);
    // The same files as before, and nothing left beside the installed folder.
    auto now = listing(prefix);
    EXPECT_EQ(now.size(), installed.size());
    EXPECT_EQ(now.count("share/halvyn/install-manifest"), 1u);
    EXPECT_EQ(listing(home / ".local/opt", prefix),
              (std::map<std::string, std::string>{{"other", "folder"}, {"other/readme", before.at(".local/opt/other/readme")}}));
}

TEST(LinuxBundle, OnlyAFolderItsInstallationMadeAndHoldsAloneIsReplaced) {
    const fs::path root = fs::canonical(test::privateFolder("halvyn-bundle"));
    const fs::path home = root / "home";
    // A program at `prefix`, marked as installed there by `installer` unless that is empty.
    auto program = [](const fs::path& prefix, const std::string& installer = "Halvyn") {
        writeFile(prefix / "bin/halvyn", "#!/bin/sh\n", fs::perms(0755));
        if (!installer.empty()) writeManifest(prefix, installer);
    };
    // An installation into ~/.local and one into the home folder, that the user's files then
    // joined; one in a folder of its own.
    program(home / ".local");
    program(home);
    writeFile(home / "notes.txt", "mine");
    program(home / ".local/opt/halvyn");
    program(home / "Downloads/build", "");  // a build folder: never marked
    writeFile(home / "Downloads/halvyn", "#!/bin/sh\n", fs::perms(0755));
    program(home / "stranger");
    writeFile(home / "stranger/share/notes.txt", "mine");
    program(home / "other", "Other");
    fs::create_symlink(home, root / "home-link");
    fs::create_symlink(home / ".local/opt/halvyn/bin/halvyn", home / ".local/bin/halvyn-link");

    auto judged = [&](const fs::path& exe, const std::string& homeVariable) {
        test::ScopedEnv env("HOME", homeVariable);
        const BundleInfo info = LinuxBundle(exe.string(), "1", 1, "").info();
        EXPECT_EQ(info.path.empty(), !info.notReplaceable.empty());
        return info.path.empty() ? "refused: " + info.notReplaceable : info.path;
    };
    const std::string opt = (home / ".local/opt/halvyn").string();
    EXPECT_EQ(judged(opt + "/bin/halvyn", home), opt);
    // The program reached through a link in ~/.local/bin is judged where it really is.
    EXPECT_EQ(judged(home / ".local/bin/halvyn-link", home), opt);
    // The home folder, however HOME is written, and any folder holding it.
    for (const std::string& h : {home.string(), home.string() + "/", (root / "home-link").string()})
        EXPECT_EQ(judged(home / "bin/halvyn", h), "refused: " + home.string() + " is the home folder or holds it") << h;
    EXPECT_EQ(judged(home / ".local/opt/halvyn/bin/halvyn", (home / ".local/opt/halvyn/x").string()),
              "refused: " + opt + " is the home folder or holds it");
    // ~/.local holds what its manifest does not list (the keyrings, other programs).
    writeFile(home / ".local/share/keyrings/login.keyring", "secret");
    EXPECT_NE(judged(home / ".local/bin/halvyn", home).find(home.string() + "/.local holds "), std::string::npos);
    EXPECT_EQ(judged(home / "stranger/bin/halvyn", home),
              "refused: " + home.string() + "/stranger holds share/notes.txt, which its installation did not put there");
    EXPECT_EQ(judged(home / "Downloads/build/bin/halvyn", home),
              "refused: " + home.string() + "/Downloads/build was not made by its installation");
    EXPECT_EQ(judged(home / "other/bin/halvyn", home), "refused: " + home.string() + "/other was not made by its installation");
    EXPECT_EQ(judged(home / "Downloads/halvyn", home),
              "refused: its program " + home.string() + "/Downloads/halvyn is not in the bin folder of an installation");
    for (const char* shared : {"/usr/bin/halvyn", "/usr/local/bin/halvyn", "/opt/bin/halvyn", "/bin/halvyn"})
        EXPECT_NE(judged(shared, home).find(" is shared with other programs"), std::string::npos) << shared;
    for (const char* shared : {"/usr/games/halvyn", "/snap/bin/halvyn"})
        EXPECT_EQ(judged(shared, home).rfind("refused: ", 0), 0u) << shared;
    // Only /usr is the package manager's; the window then says to update there.
    for (const char* exe : {"/usr/bin/halvyn", "/usr/local/bin/halvyn", "/opt/bin/halvyn"})
        EXPECT_EQ(LinuxBundle(exe, "1", 1, "").info().packaged, std::string_view(exe) == "/usr/bin/halvyn") << exe;
    const BundleInfo own = LinuxBundle(opt + "/bin/halvyn", "1.2", 3, "https://u/").info();
    EXPECT_EQ(own.executables, std::vector<std::string>{"bin/halvyn"});
    EXPECT_EQ(own.launchCommand, std::vector<std::string>{opt + "/bin/halvyn"});
    EXPECT_EQ(own.updateServer, "https://u/");
    fs::remove_all(root);
}

}  // namespace
}  // namespace halvyn
