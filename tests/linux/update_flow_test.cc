// The update flow on the desktop's adapters against a real HTTP server on the loopback interface,
// started here: Qt Network for HTTP, libarchive for unpacking, POSIX files for the install.

#include <QByteArray>
#include <QCryptographicHash>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>

#include <gtest/gtest.h>

#include "app/context.h"
#include "platform/linux/linux_installer.h"
#include "platform/linux/openssl_verifier.h"
#include "platform/linux/posix_file_system.h"
#include "platform/linux/qt_http.h"
#include "platform/platform.h"
#include "runtime/logger.h"
#include "settings/memory_preferences.h"
#include "shell/event_loop.h"
#include "shell/real_time.h"
#include "linux/loopback_server.h"
#include "linux/services.h"
#include "updates/update_controller.h"

namespace halvyn {
namespace {

namespace fs = std::filesystem;
using test::spinUntil;
using test::LoopbackServer;

struct Entry {
    std::string path;
    char type = 'f';  // f file, d folder, l link
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
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const fs::path& p, const std::string& data, fs::perms perms = fs::perms(0644)) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << data;
    fs::permissions(p, perms);
}

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The asset keys a release server publishes for these bytes.
std::string describes(const std::string& bytes) {
    const QByteArray digest = QCryptographicHash::hash(QByteArray::fromStdString(bytes), QCryptographicHash::Sha256);
    return R"(, "size": )" + std::to_string(bytes.size()) + R"(, "digest": "sha256:)" + digest.toHex().toStdString() + "\"";
}

// Starting processes is recorded, so the test can run the relaunch command itself.
class RecordingInstaller final : public Installer {
public:
    explicit RecordingInstaller(MainQueue& main) : real(main) {}
    void unpack(const std::string& a, const std::string& d, std::function<void(FileResult)> done) override {
        real.unpack(a, d, std::move(done));
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
    DesktopUpdatePlatform(MainQueue& main, LinuxBundle b) : bundle_(std::move(b)), recorder(main), verifier(main, "") {}
    Preferences* preferences() override { return &prefs; }
    Http* http() override { return &http_; }
    FileSystem* fileSystem() override { return &files; }
    Bundle* bundle() override { return &bundle_; }
    Installer* installer() override { return &recorder; }
    ArchiveVerifier* archiveVerifier() override { return &verifier; }

    MemoryPreferences prefs;
    QtHttp http_;
    PosixFileSystem files;
    LinuxBundle bundle_;
    RecordingInstaller recorder;
    OpenSslVerifier verifier;
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
        writeFile(prefix / "bin/halvyn", "#!/bin/sh\necho old\n", fs::perms(0755));
        writeFile(prefix / "share/halvyn/VERSION", "1.0");
        assetName = "Halvyn-" + std::to_string(::getpid()) + ".tar.gz";
        downloads = root / "cache/halvyn/updates";
    }
    void TearDown() override {
        ctx.reset();
        fs::remove_all(root);
    }

    // `assetExtra`: more keys of the asset, such as its size and digest.
    void start(const std::string& archive, const std::string& assetExtra = "") {
        const std::string release = R"({"id": 2, "tag_name": "2.0", "name": "Halvyn 2.0", "body": "# 📣 New\n- Two",
            "assets": [{"name": ")" + assetName + R"(", "url": "https://api/2", "browser_download_url": "https://dl/2")" +
                                    assetExtra + R"(}], "prerelease": false, "published_at": "2026-03-01T00:00:00Z"})";
        server.handler = [=, this](const LoopbackServer::Request& r) {
            LoopbackServer::Reply reply;
            if (r.headers.count("x-download")) {
                assetHeader = r.headers.at("x-asset-url");
                reply.body = QByteArray::fromStdString(archive);
            } else {
                reply.body = QByteArray::fromStdString(release);
            }
            return reply;
        };
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
    const std::vector<Entry> good = {{"Halvyn.app/bin/halvyn", 'f', "x", 0755}};
    std::string full = archiveOf({{"Halvyn.app/bin/halvyn", 'f', std::string(200000, 'x'), 0755}});
    const std::vector<std::pair<std::string, std::string>> cases = {
        {archiveOf({good[0], {"Halvyn.app/../../evil", 'f', "x"}}), "refused the archive entry"},
        {archiveOf({good[0], {"/tmp/halvyn-evil-absolute", 'f', "x"}}), "refused the archive entry"},
        {archiveOf({good[0], {"Halvyn.app/out", 'l', "../../.."}}), "refused the link"},
        {archiveOf({good[0], {"Halvyn.app/l", 'l', "."}, {"Halvyn.app/l/x", 'f', "x"}}), "refused the archive entry"},
        {full.substr(0, full.size() / 2), "truncated"},
        {"not an archive at all", "The archive cannot be read"},
        {archiveOf({{"Other/bin/halvyn", 'f', "x", 0755}}), "No app bundle found"},
        {archiveOf({{"Halvyn.app/share/VERSION", 'f', "x"}}), "the new version has no bin/halvyn"},
    };
    for (auto& [archive, why] : cases) {
        start(archive);
        EXPECT_FALSE(runInstall()) << why;
        bool logged = false;
        for (auto& l : logs.lines) logged |= l.message.find(why) != std::string::npos;
        EXPECT_TRUE(logged) << why << " / " << (logs.lines.empty() ? "" : logs.lines.back().message);
        EXPECT_EQ(readFile(prefix / "share/halvyn/VERSION"), "1.0");
        EXPECT_EQ(readFile(prefix / "bin/halvyn"), "#!/bin/sh\necho old\n");
        EXPECT_EQ(std::distance(fs::directory_iterator(prefix.parent_path()), fs::directory_iterator()), 1) << why;
        EXPECT_FALSE(fs::exists(root / "evil"));
        EXPECT_FALSE(fs::exists("/tmp/halvyn-evil-absolute"));
        ctx.reset();
        logs.lines.clear();
    }
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
    bool logged = false;
    for (auto& l : logs.lines) logged |= l.message.find("Error verifying update: the archive") == 0;
    EXPECT_TRUE(logged) << (logs.lines.empty() ? "" : logs.lines.back().message);
    EXPECT_EQ(readFile(prefix / "bin/halvyn"), "#!/bin/sh\necho old\n");
    EXPECT_EQ(readFile(root / "bashrc"), "mine");
    EXPECT_TRUE(fs::is_empty(downloads));
    ctx.reset();
    fs::remove(shared);
    writeFile(shared, evil);
    start(good, describes(good));
    EXPECT_TRUE(runInstall());
    EXPECT_EQ(readFile(prefix / "bin/halvyn"), "#!/bin/sh\necho new\n");
    fs::remove(shared);
}

TEST_F(DesktopUpdates, HttpGivesUpOnLoopsSilenceAndHugeBodies) {
    QtHttp http;
    auto fetch = [&](const char* path, std::size_t max = 1 << 20, double timeout = 60) {
        HttpRequest r;
        r.url = server.url(path).toStdString();
        r.maxBodyBytes = max;
        r.timeout = seconds(timeout);
        std::optional<HttpResponse> got;
        http.send(r, [&](HttpResponse resp) { got = std::move(resp); });
        EXPECT_TRUE(spinUntil([&] { return got.has_value(); }, 20000)) << path;
        return got.value_or(HttpResponse{});
    };
    server.handler = [](const LoopbackServer::Request& r) {
        LoopbackServer::Reply reply;
        if (r.path == "/loop") {
            reply.status = 302;
            reply.location = "/loop";
        } else if (r.path == "/hang") {
            reply.hang = true;
        } else if (r.path == "/declared") {
            reply.declaredLength = 100'000'000;
            reply.body = "x";
        } else if (r.path == "/stream") {
            reply.withoutLength = true;
            reply.body = QByteArray(3 << 20, 'x');
        } else if (r.path == "/missing") {
            reply.status = 404;
            reply.body = "Not Found";
        } else {
            reply.body = "hello";
        }
        return reply;
    };
    EXPECT_EQ(fetch("/").body, "hello");
    EXPECT_EQ(fetch("/loop").error, "Too many redirects.");
    EXPECT_LE(server.requests, 2 + QtHttp::kMaxRedirects);
    EXPECT_EQ(fetch("/hang", 1 << 20, 0.3).error, "The request timed out.");
    EXPECT_EQ(fetch("/declared").error, "The response is too large.");
    EXPECT_EQ(fetch("/stream").error, "The response is too large.");
    const HttpResponse missing = fetch("/missing");
    EXPECT_EQ(missing.status, 404);
    EXPECT_TRUE(missing.error.empty());
    EXPECT_FALSE(missing.ok());

    // A failed download leaves no file; a good one replaces it whole.
    const fs::path dest = fs::temp_directory_path() / ("halvyn-dl-" + std::to_string(::getpid()));
    auto download = [&](const char* path) {
        HttpRequest r;
        r.url = server.url(path).toStdString();
        r.maxBodyBytes = 1 << 20;
        std::optional<HttpResponse> got;
        http.download(r, dest.string(), [&](HttpResponse resp) { got = std::move(resp); });
        EXPECT_TRUE(spinUntil([&] { return got.has_value(); }, 20000));
        return got.value_or(HttpResponse{});
    };
    EXPECT_FALSE(download("/stream").ok());
    EXPECT_FALSE(fs::exists(dest));
    EXPECT_FALSE(download("/missing").ok());
    EXPECT_FALSE(fs::exists(dest));
    EXPECT_TRUE(download("/").ok());
    EXPECT_EQ(readFile(dest), "hello");
    fs::remove(dest);
}

TEST(LinuxBundle, ASharedPrefixIsNeverTheTreeAnUpdateReplaces) {
    EXPECT_EQ(LinuxBundle("/usr/bin/halvyn", "1", 1, "").info().path, "");
    EXPECT_EQ(LinuxBundle("/usr/local/bin/halvyn", "1", 1, "").info().path, "");
    const BundleInfo own = LinuxBundle("/opt/halvyn/bin/halvyn", "1.2", 3, "https://u/").info();
    EXPECT_EQ(own.path, "/opt/halvyn");
    EXPECT_EQ(own.executables, std::vector<std::string>{"bin/halvyn"});
    EXPECT_EQ(own.launchCommand, std::vector<std::string>{"/opt/halvyn/bin/halvyn"});
    EXPECT_EQ(own.updateServer, "https://u/");
}

}  // namespace
}  // namespace halvyn
