// The update server's release JSON: decoding (assets' sizes and digests included), the version and
// build rules on what it names, the file-name and address checks of its assets, the signature
// reading, and the change notes of its body.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "updates/changelog.h"
#include "updates/release.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    auto release = halvyn::decodeRelease(text, &error);
    if (!release) return 0;
    (void)halvyn::isNewer(*release, "1.9.0", 100, true);
    (void)halvyn::compareVersions(release->tagName, release->name);
    for (const auto& asset : release->assets) {
        (void)halvyn::isPlainFileName(asset.name + "_" + release->tagName);
        (void)halvyn::isSecureUpdateURL(asset.url);
        (void)halvyn::isSecureUpdateURL(asset.browserDownloadURL);
        // A digest, when there is one, is always 64 lower-case hex digits.
        if (!asset.sha256.empty() && (asset.sha256.size() != 64 ||
                                      asset.sha256.find_first_not_of("0123456789abcdef") != std::string::npos))
            __builtin_trap();
    }
    (void)halvyn::decodeSignature(release->body);
    int n = 0;
    auto changelog = halvyn::parseChangelog(release->body, [&n] { return std::to_string(++n); });
    // What was decoded encodes to JSON that decodes to the same release (the identifier is a
    // trace number, printed with limited precision).
    auto again = halvyn::decodeRelease(halvyn::encodeRelease(*release).toJson());
    if (!again) __builtin_trap();
    again->id = release->id;
    if (!(*again == *release)) __builtin_trap();
    return 0;
}
