#pragma once
// A release as the update server describes it, the rules that decide whether it is newer than
// the running build, and the checks on what the server names.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/value.h"

namespace halvyn {

struct Asset {
    std::string name;
    std::string url;
    std::string browserDownloadURL;
    // What the server publishes about the bytes, when it does: "size" and "digest"
    // ("sha256:<hex>"); the downloaded archive must match both.
    std::optional<std::uint64_t> size;
    std::string sha256;  // 64 lower-case hex digits, or empty

    friend bool operator==(const Asset&, const Asset&) = default;
};

struct Release {
    long long id = 0;
    std::string tagName;
    std::string name;
    std::string body;
    std::vector<Asset> assets;
    bool prerelease = false;
    std::string publishedAt;
    std::optional<long long> buildNumber;  // never in the JSON
    // The release's page for people ("html_url", optional): where to get it by hand.
    std::string htmlURL;

    friend bool operator==(const Release&, const Release&) = default;
};

// Decodes one release object. All seven keys are required and typed; an asset needs its three
// keys, its addresses non-empty; its "size" (a whole number of bytes) and "digest" ("sha256:" and
// 64 hex digits) may be absent or null, but are refused when present and malformed; "html_url" is
// read when it is there. Nothing, with the reason in `error`, when any of it is wrong.
std::optional<Release> decodeRelease(std::string_view json, std::string* error = nullptr);
// The JSON keys of the release (without the build number), for traces and the server's tests.
Value encodeRelease(const Release& release);

// Numeric string order: runs of digits compare as numbers, everything else by character, so
// "1.10" > "1.9". Negative, zero or positive like strcmp.
int compareVersions(std::string_view a, std::string_view b);

// The version and build a release offers. A prerelease named like "v2.0.0 (415)" offers version
// "2.0.0" and build 415; anything else offers its tag and no build.
struct Candidate {
    std::string version;
    std::optional<long long> build;
};
Candidate candidateOf(const Release& release);

// The first match of v(.*?) \((\d+)\) in `name` ("." stops at line ends): group 1 and group 2,
// the latter absent when it is not a whole number that fits.
struct PrereleaseName {
    std::string version;
    std::optional<long long> build;
};
std::optional<PrereleaseName> matchPrereleaseName(std::string_view name);

// Whether the release is newer than the running build: a greater version, or with early-bird
// updates the same line with a greater build number.
bool isNewer(const Release& release, std::string_view runningVersion, std::optional<long long> runningBuild,
             bool earlyBird);

// A name the server gives that is used as one file name: not empty, no "/" or "\\", no NUL,
// not "." or "..", at most 255 bytes.
bool isPlainFileName(std::string_view name);

// An address updates may come from: https, or plain http to this machine only (127.0.0.0/8,
// [::1], localhost) for local testing. Nothing with white space, control characters or "\\".
bool isSecureUpdateURL(std::string_view url);
bool isLoopbackHost(std::string_view host);

// A detached Ed25519 signature as a release publishes it: the 64 bytes themselves, or those bytes
// as hex or base64 text (white space around it ignored). Nothing when it is none of these.
std::optional<std::string> decodeSignature(std::string_view published);
// Hex (either case) or standard base64 text to bytes; nothing when it is neither.
std::optional<std::string> decodeHexOrBase64(std::string_view text);

}  // namespace halvyn
