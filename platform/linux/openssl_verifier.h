#pragma once
// Digests and signatures of downloaded updates with OpenSSL's libcrypto: SHA-256 of the archive's
// bytes and an Ed25519 signature over them, read on a worker thread.

#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "runtime/lifetime.h"
#include "platform/archive_verifier.h"

namespace halvyn {

class MainQueue;

class OpenSslVerifier final : public ArchiveVerifier {
public:
    // `publicKey`: the update key as hex or base64, either its 32 bytes or its DER public-key
    // record; absent means the build's setting, empty means none. A key given but unreadable
    // still counts as given, so no update verifies rather than every update passing.
    explicit OpenSslVerifier(MainQueue& main, std::optional<std::string> publicKey = {});
    ~OpenSslVerifier() override;

    bool hasUpdateKey() const override { return hasKey_; }
    void examine(const std::string& path, const std::string& signature, std::function<void(ArchiveFacts)> done) override;

    // The examination itself, on the calling thread. `key` is the 32 bytes of the public key.
    static ArchiveFacts examineNow(const std::string& path, const std::string& signature, const std::string& key);

private:
    MainQueue& main_;
    bool hasKey_ = false;
    std::string key_;
    Lifetime lifetime_;
    // Joined on destruction, so no examination outlives the queue it reports to.
    std::vector<std::thread> workers_;
};

}  // namespace halvyn
