#pragma once
// What the system knows about a downloaded release archive before it is unpacked: its length and
// SHA-256 digest, and whether a detached Ed25519 signature over its bytes comes from the key this
// build trusts for updates. The bytes are read off the main queue.

#include <cstdint>
#include <functional>
#include <string>

namespace halvyn {

struct ArchiveFacts {
    std::string error;        // why the file could not be read; the rest is meaningless then
    std::uint64_t size = 0;
    std::string sha256;       // 64 lower-case hex digits
    bool signatureValid = false;  // only when a signature was given and the build names a key
};

class ArchiveVerifier {
public:
    virtual ~ArchiveVerifier() = default;

    // Whether this build names a public key for updates; every archive must then carry a
    // signature that verifies with it.
    virtual bool hasUpdateKey() const = 0;
    // Reads the regular file at `path` (never through a link) and hands what it found to `done`,
    // once, on the main queue. `signature` is the 64 bytes of a detached signature, or empty.
    virtual void examine(const std::string& path, const std::string& signature,
                         std::function<void(ArchiveFacts)> done) = 0;
};

}  // namespace halvyn
