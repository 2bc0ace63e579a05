// Where updates are downloaded and how they are checked, on the desktop's adapters: this user's
// private download folder, the download's new file, SHA-256 and Ed25519 with OpenSSL, the HTTP
// deadline and redirects against a loopback server, and the swap of the installed tree stopped by
// SIGKILL halfway.

#include <openssl/evp.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <optional>

#include <gtest/gtest.h>

#include "app/context.h"
#include "linux/loopback_server.h"
#include "linux/services.h"
#include "platform/bundle.h"
#include "platform/linux/openssl_verifier.h"
#include "platform/linux/posix_file_system.h"
#include "platform/linux/qt_http.h"
#include "platform/platform.h"
#include "runtime/logger.h"
#include "settings/memory_preferences.h"
#include "shell/real_time.h"
#include "updates/update_controller.h"

namespace halvyn {
namespace {

namespace fs = std::filesystem;
using test::LoopbackServer;
using test::readFile;
using test::spinUntil;
using test::writeFile;

fs::perms modeOf(const fs::path& p) { return fs::symlink_status(p).permissions() & fs::perms::all; }

TEST(PrivateDownloadFolder, IsMadeOrClosedForThisUserAndRefusedOtherwise) {
    const fs::path root = test::privateFolder("halvyn-private");
    const std::string base = (root / "cache").string();
    const fs::path updates = root / "cache/halvyn/updates";
    PosixFileSystem files;
    auto make = [&] { return files.makePrivateDirectory(base, "halvyn/updates"); };

    ASSERT_TRUE(make().ok);
    EXPECT_EQ(modeOf(updates), fs::perms::owner_all);
    // Open to others, with something planted in it: closed again and emptied.
    writeFile(updates / "Halvyn.zip_2.0", "planted");
    fs::permissions(updates, fs::perms(0777));
    ASSERT_TRUE(make().ok);
    EXPECT_EQ(modeOf(updates), fs::perms::owner_all);
    EXPECT_TRUE(fs::is_empty(updates));

    const fs::path elsewhere = root / "elsewhere";
    fs::create_directories(elsewhere);
    fs::remove_all(updates);
    fs::create_directory_symlink(elsewhere, updates);
    const FileResult link = make();
    EXPECT_FALSE(link.ok);
    EXPECT_EQ(link.error, updates.string() + ": is a link or not a folder");

    fs::remove(updates);
    fs::create_directory(updates);
    fs::permissions(updates, fs::perms::owner_all);
    ASSERT_EQ(::chown(updates.c_str(), 4242, 4242), 0);
    const FileResult foreign = make();
    EXPECT_FALSE(foreign.ok);
    EXPECT_EQ(foreign.error, updates.string() + ": belongs to another user");

    // The folder above it is checked the same way.
    fs::remove_all(root / "cache/halvyn");
    fs::create_directory_symlink(elsewhere, root / "cache/halvyn");
    EXPECT_FALSE(make().ok);
    EXPECT_TRUE(fs::is_empty(elsewhere));
    fs::remove(root / "cache/halvyn");
    fs::create_directory(root / "cache/halvyn");
    fs::permissions(root / "cache/halvyn", fs::perms(0777));
    EXPECT_EQ(make().error, (root / "cache/halvyn").string() + ": others can write to it");
    fs::remove_all(root);
}

// Qt Network against a loopback server that misbehaves on purpose.
class UpdateHttp : public ::testing::Test {
protected:
    UpdateHttp() {
        server.handler = [this](const LoopbackServer::Request& r) {
            LoopbackServer::Reply reply;
            if (r.path == "/loop") {
                reply.status = 302;
                reply.location = "/loop";
            } else if (r.path.startsWith("/to/")) {
                reply.status = 302;
                reply.location = r.path.mid(4) == "safe" ? server.url("/") : QByteArray::fromPercentEncoding(r.path.mid(4));
            } else if (r.path == "/hang") {
                reply.hang = true;
            } else if (r.path == "/trickle") {
                reply.trickleMs = 100;  // never silent long enough for the time-out
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
    }
    ~UpdateHttp() override { fs::remove_all(root); }

    // A path of the server, or a whole address; bodies above 1 MiB are refused. `destination`:
    // downloaded there.
    HttpResponse fetch(const std::string& path, const std::string& destination = {}, bool secureOnly = false,
                       double timeout = 20, double deadline = 60) {
        HttpRequest r;
        r.url = path.starts_with("/") ? server.url(path.c_str()).toStdString() : path;
        r.maxBodyBytes = 1 << 20;
        r.timeout = seconds(timeout);
        r.deadline = seconds(deadline);
        r.secureOnly = secureOnly;
        return test::exchange(http, r, destination);
    }

    LoopbackServer server;
    QtHttp http;
    const fs::path root = test::privateFolder("halvyn-http");
};

TEST_F(UpdateHttp, GivesUpOnLoopsSilenceTricklesAndHugeBodies) {
    EXPECT_EQ(fetch("/").body, "hello");
    EXPECT_EQ(fetch("/loop").error, "Too many redirects.");
    EXPECT_LE(server.requests, 2 + QtHttp::kMaxRedirects);
    EXPECT_EQ(fetch("/hang", {}, false, 0.3).error, "The request timed out.");
    EXPECT_EQ(fetch("/trickle", {}, false, 20, 1.5).error, "The request took too long.");
    EXPECT_EQ(fetch("/declared").error, "The response is too large.");
    EXPECT_EQ(fetch("/stream").error, "The response is too large.");
    const HttpResponse missing = fetch("/missing");
    EXPECT_EQ(missing.status, 404);
    EXPECT_TRUE(missing.error.empty());
    EXPECT_FALSE(missing.ok());
}

TEST_F(UpdateHttp, RedirectsStayOnSafeGround) {
    for (const char* target : {"file:///etc/passwd", "data:,hello"}) {
        const HttpResponse r = fetch(std::string("/to/") + target);
        EXPECT_FALSE(r.ok()) << target;
        EXPECT_NE(r.error, "") << target;
        EXPECT_TRUE(r.body.empty()) << target;
    }
    // Updates go only where the address itself could: no plain http beyond this machine.
    EXPECT_EQ(fetch("/to/http%3A%2F%2F192.0.2.1%2Fx", {}, true).error,
              "refused the redirect to \"http://192.0.2.1/x\": not HTTPS");
    EXPECT_EQ(fetch("http://192.0.2.1/x", {}, true).error, "refused the address \"http://192.0.2.1/x\": not HTTPS");
    EXPECT_EQ(fetch("/to/safe", {}, true).body, "hello");
}

// A download is the whole body or no file at all, and never writes through a planted link.
TEST_F(UpdateHttp, ADownloadIsWholeOrAbsentAndNeverWritesThroughAPlantedLink) {
    const std::string dest = (root / "Halvyn.zip_2.0").string();
    for (const char* failing : {"/stream", "/missing"}) {
        EXPECT_FALSE(fetch(failing, dest).ok()) << failing;
        EXPECT_TRUE(fs::is_empty(root)) << failing;
    }
    EXPECT_EQ(fetch("/trickle", dest, true, 20, 1.5).error, "The request took too long.");
    EXPECT_TRUE(fs::is_empty(root));  // the partial file went with it

    writeFile(root / "bashrc", "mine");
    fs::create_symlink(root / "bashrc", dest);
    EXPECT_TRUE(fetch("/", dest, true).ok());
    EXPECT_EQ(readFile(root / "bashrc"), "mine");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dest)));
    EXPECT_EQ(readFile(dest), "hello");
    EXPECT_EQ(std::distance(fs::directory_iterator(root), fs::directory_iterator()), 2);
}

// A fresh Ed25519 key pair for the test: the public key's 32 bytes and a signer.
struct TestKey {
    TestKey() : key(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519")) {
        unsigned char raw[32];
        std::size_t size = sizeof raw;
        EXPECT_EQ(EVP_PKEY_get_raw_public_key(key, raw, &size), 1);
        publicKey.assign(reinterpret_cast<char*>(raw), size);
    }
    ~TestKey() { EVP_PKEY_free(key); }
    std::string sign(const std::string& data) const {
        EVP_MD_CTX* ctx = EVP_MD_CTX_new();
        unsigned char sig[64];
        std::size_t size = sizeof sig;
        EXPECT_EQ(EVP_DigestSignInit(ctx, nullptr, nullptr, nullptr, key), 1);
        EXPECT_EQ(EVP_DigestSign(ctx, sig, &size, reinterpret_cast<const unsigned char*>(data.data()), data.size()), 1);
        EVP_MD_CTX_free(ctx);
        return std::string(reinterpret_cast<char*>(sig), size);
    }
    EVP_PKEY* key;
    std::string publicKey;
};

std::string hexOf(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) (out += digits[c >> 4]) += digits[c & 15];
    return out;
}

std::string base64Of(const std::string& bytes) {
    unsigned char out[128];
    const int n = EVP_EncodeBlock(out, reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    return std::string(reinterpret_cast<char*>(out), static_cast<std::size_t>(n));
}

TEST(OpenSslVerifier, DigestAndSignatureAreThoseOfTheBytes) {
    const fs::path root = test::privateFolder("halvyn-verify");
    writeFile(root / "a", "abc");
    writeFile(root / "b", "abd");
    const TestKey key, other;
    const std::string signature = key.sign("abc");
    ArchiveFacts f = OpenSslVerifier::examineNow((root / "a").string(), signature, key.publicKey);
    EXPECT_EQ(f.error, "");
    EXPECT_EQ(f.size, 3u);
    EXPECT_EQ(f.sha256, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_TRUE(f.signatureValid);
    EXPECT_FALSE(OpenSslVerifier::examineNow((root / "b").string(), signature, key.publicKey).signatureValid);
    EXPECT_FALSE(OpenSslVerifier::examineNow((root / "a").string(), signature, other.publicKey).signatureValid);
    EXPECT_FALSE(OpenSslVerifier::examineNow((root / "a").string(), "", key.publicKey).signatureValid);
    EXPECT_EQ(OpenSslVerifier::examineNow((root / "a").string(), "", "").sha256, f.sha256);
    // Never through a link, never blocked by a pipe.
    fs::create_symlink(root / "a", root / "link");
    EXPECT_NE(OpenSslVerifier::examineNow((root / "link").string(), "", "").error, "");
    ASSERT_EQ(::mkfifo((root / "fifo").c_str(), 0600), 0);
    EXPECT_NE(OpenSslVerifier::examineNow((root / "fifo").string(), "", "").error, "");

    // The build's key as hex, base64 or its DER record; a key that does not read verifies nothing.
    RealTime time;
    const std::string der = std::string("\x30\x2a\x30\x05\x06\x03\x2b\x65\x70\x03\x21\x00", 12) + key.publicKey;
    for (const auto& [text, valid] : {std::pair{hexOf(key.publicKey), true}, std::pair{base64Of(key.publicKey), true},
                                      std::pair{base64Of(der), true}, std::pair{std::string("not a key"), false}}) {
        OpenSslVerifier verifier(time.main(), text);
        EXPECT_TRUE(verifier.hasUpdateKey());
        std::optional<ArchiveFacts> got;
        verifier.examine((root / "a").string(), signature, [&](ArchiveFacts facts) { got = facts; });
        ASSERT_TRUE(spinUntil([&] { return got.has_value(); }));
        EXPECT_EQ(got->signatureValid, valid) << text;
    }
    EXPECT_FALSE(OpenSslVerifier(time.main(), "").hasUpdateKey());
    fs::remove_all(root);
}

// The install swap, stopped by SIGKILL after a chosen rename: run as a child of the test below.
class KillingFiles final : public FileSystem {
public:
    explicit KillingFiles(int killAfter) : killAfter_(killAfter) {}
    std::optional<std::string> readFile(const std::string& p, std::size_t max, std::string* e) const override {
        return real_.readFile(p, max, e);
    }
    FileResult writeFile(const std::string& p, std::string_view d) override { return real_.writeFile(p, d); }
    FileType type(const std::string& p) const override { return real_.type(p); }
    std::vector<std::string> list(const std::string& d) const override { return real_.list(d); }
    FileResult createDirectories(const std::string& p) override { return real_.createDirectories(p); }
    FileResult remove(const std::string& p) override { return real_.remove(p); }
    FileResult rename(const std::string& from, const std::string& to) override {
        FileResult r = real_.rename(from, to);
        if (++renames_ == killAfter_) ::kill(::getpid(), SIGKILL);
        return r;
    }
    FileResult setExecutable(const std::string& p, bool x) override { return real_.setExecutable(p, x); }
    // No exchange: the two-rename fallback runs, as on a file system without RENAME_EXCHANGE.
    std::string temporaryDirectory() const override { return real_.temporaryDirectory(); }
    std::string homeDirectory() const override { return real_.homeDirectory(); }
    std::string cacheDirectory() const override { return real_.cacheDirectory(); }
    FileResult makePrivateDirectory(const std::string& b, const std::string& r) override {
        return real_.makePrivateDirectory(b, r);
    }
    Subscription watch(const std::string& p, std::function<void()> changed) override {
        return real_.watch(p, std::move(changed));
    }

private:
    PosixFileSystem real_;
    int killAfter_;
    int renames_ = 0;
};

TEST(InterruptedSwap, ChildSwapsUntilKilled) {
    const char* at = std::getenv("HALVYN_SWAP_KILL_AFTER");
    if (!at) GTEST_SKIP() << "started by InterruptedSwap.TheNextStartLeavesAWholeRunnableInstall";
    KillingFiles files(std::atoi(at));
    replaceInstalledTree(files, std::getenv("HALVYN_SWAP_FRESH"), std::getenv("HALVYN_SWAP_INSTALLED"),
                         std::getenv("HALVYN_SWAP_PREVIOUS"));
    ::_exit(3);  // not reached: the swap is killed before it ends
}

class FixedBundle final : public Bundle {
public:
    explicit FixedBundle(BundleInfo i) : info_(std::move(i)) {}
    BundleInfo info() const override { return info_; }
    BundleInfo info_;
};

class RecoveryPlatform final : public Platform {
public:
    explicit RecoveryPlatform(BundleInfo b) : bundle_(std::move(b)) {}
    Preferences* preferences() override { return &prefs_; }
    FileSystem* fileSystem() override { return &files_; }
    Bundle* bundle() override { return &bundle_; }

private:
    MemoryPreferences prefs_;
    PosixFileSystem files_;
    FixedBundle bundle_;
};

TEST(InterruptedSwap, TheNextStartLeavesAWholeRunnableInstall) {
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    for (const auto& [killAfter, expected] : {std::pair{1, "old"}, std::pair{2, "new"}}) {
        const fs::path root = test::privateFolder("halvyn-swap");
        const fs::path installed = root / "apps/halvyn";
        const fs::path fresh = root / "apps/.Halvyn-update/Halvyn.app";
        writeFile(installed / "bin/halvyn", "#!/bin/sh\necho old\n", fs::perms(0755));
        writeFile(installed / "share/halvyn/VERSION", "1.0");
        writeFile(fresh / "bin/halvyn", "#!/bin/sh\necho new\n", fs::perms(0755));
        BundleInfo bundle;
        bundle.name = "Halvyn";
        bundle.path = installed.string();
        const std::string previous = previousTreeOf(bundle);

        pid_t child = test::spawnWith({self, "--gtest_filter=InterruptedSwap.ChildSwapsUntilKilled"},
                                      {"HALVYN_SWAP_KILL_AFTER=" + std::to_string(killAfter), "HALVYN_SWAP_FRESH=" + fresh.string(),
                                       "HALVYN_SWAP_INSTALLED=" + installed.string(), "HALVYN_SWAP_PREVIOUS=" + previous});
        ASSERT_GT(child, 0);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
        EXPECT_EQ(fs::exists(installed), killAfter == 2);
        EXPECT_TRUE(fs::exists(previous));

        // The next start: the update controller puts the install back together.
        CaptureLogSink logs;
        Context ctx(std::make_unique<RealTime>(), std::make_unique<RecoveryPlatform>(bundle), &logs);
        ctx.updates();
        int exit = -1;
        EXPECT_EQ(test::output("'" + (installed / "bin/halvyn").string() + "'", &exit), std::string(expected) + "\n");
        EXPECT_EQ(exit, 0);
        EXPECT_EQ(std::distance(fs::directory_iterator(root / "apps"), fs::directory_iterator()), 1) << killAfter;
        fs::remove_all(root);
    }
}

}  // namespace
}  // namespace halvyn
