#include "platform/linux/openssl_verifier.h"

#include <openssl/evp.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "runtime/main_queue.h"
#include "updates/release.h"

#ifndef HALVYN_UPDATE_PUBLIC_KEY
#define HALVYN_UPDATE_PUBLIC_KEY ""
#endif

namespace halvyn {

namespace {

constexpr std::size_t kKeyBytes = 32;
// The DER record of an Ed25519 public key is this header and the key's 32 bytes.
constexpr unsigned char kEd25519Header[] = {0x30, 0x2a, 0x30, 0x05, 0x06, 0x03, 0x2b, 0x65, 0x70, 0x03, 0x21, 0x00};

std::string rawKey(const std::string& text) {
    auto bytes = decodeHexOrBase64(text);
    if (!bytes) return {};
    if (bytes->size() == sizeof kEd25519Header + kKeyBytes &&
        std::memcmp(bytes->data(), kEd25519Header, sizeof kEd25519Header) == 0)
        return bytes->substr(sizeof kEd25519Header);
    return bytes->size() == kKeyBytes ? *bytes : std::string();
}

std::string hex(const unsigned char* bytes, std::size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

bool signatureVerifies(const unsigned char* data, std::size_t size, const std::string& signature, const std::string& key) {
    if (key.size() != kKeyBytes || signature.size() != 64) return false;
    EVP_PKEY* pkey = EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr,
                                                 reinterpret_cast<const unsigned char*>(key.data()), key.size());
    if (!pkey) return false;
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    const bool ok = ctx && EVP_DigestVerifyInit(ctx, nullptr, nullptr, nullptr, pkey) == 1 &&
                    EVP_DigestVerify(ctx, reinterpret_cast<const unsigned char*>(signature.data()), signature.size(),
                                     data, size) == 1;
    EVP_MD_CTX_free(ctx);
    EVP_PKEY_free(pkey);
    return ok;
}

}  // namespace

OpenSslVerifier::OpenSslVerifier(MainQueue& main, std::optional<std::string> publicKey) : main_(main) {
    const std::string text = publicKey ? *publicKey : std::string(HALVYN_UPDATE_PUBLIC_KEY);
    hasKey_ = !text.empty();
    key_ = rawKey(text);
}

OpenSslVerifier::~OpenSslVerifier() {
    lifetime_.end();
    for (auto& w : workers_)
        if (w.joinable()) w.join();
}

ArchiveFacts OpenSslVerifier::examineNow(const std::string& path, const std::string& signature, const std::string& key) {
    ArchiveFacts facts;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        facts.error = path + ": " + (fd < 0 ? std::strerror(errno) : "not a regular file");
        if (fd >= 0) ::close(fd);
        return facts;
    }
    facts.size = static_cast<std::uint64_t>(st.st_size);
    // Ed25519 signs the message whole, so the bytes are mapped rather than streamed.
    const unsigned char* data = reinterpret_cast<const unsigned char*>("");
    void* mapped = MAP_FAILED;
    if (st.st_size > 0) {
        mapped = ::mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
        if (mapped == MAP_FAILED) {
            facts.error = path + ": " + std::strerror(errno);
            ::close(fd);
            return facts;
        }
        data = static_cast<const unsigned char*>(mapped);
    }
    ::close(fd);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestSize = 0;
    if (EVP_Digest(data, facts.size, digest, &digestSize, EVP_sha256(), nullptr) == 1)
        facts.sha256 = hex(digest, digestSize);
    else
        facts.error = "SHA-256 is not available";
    if (!signature.empty()) facts.signatureValid = signatureVerifies(data, facts.size, signature, key);
    if (mapped != MAP_FAILED) ::munmap(mapped, static_cast<std::size_t>(st.st_size));
    return facts;
}

void OpenSslVerifier::examine(const std::string& path, const std::string& signature,
                              std::function<void(ArchiveFacts)> done) {
    const Lifetime::Token alive = lifetime_.token();
    MainQueue* main = &main_;
    workers_.emplace_back([path, signature, key = key_, done = std::move(done), alive, main]() mutable {
        ArchiveFacts facts = examineNow(path, signature, key);
        main->post([alive, done = std::move(done), facts = std::move(facts)] {
            if (alive) done(facts);
        });
    });
}

}  // namespace halvyn
