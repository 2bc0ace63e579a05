#include "platform/linux/capture_names.h"

#include <algorithm>

namespace halvyn {

namespace {
// The length of the UTF-8 sequence that starts `s` at `i`, 0 when it is not a valid one.
std::size_t sequenceLength(std::string_view s, std::size_t i) {
    const auto b = static_cast<unsigned char>(s[i]);
    std::size_t n;
    std::uint32_t cp;
    if (b < 0x80) return 1;
    if ((b & 0xE0) == 0xC0) n = 2, cp = b & 0x1F;
    else if ((b & 0xF0) == 0xE0) n = 3, cp = b & 0x0F;
    else if ((b & 0xF8) == 0xF0) n = 4, cp = b & 0x07;
    else return 0;
    if (i + n > s.size()) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        const auto c = static_cast<unsigned char>(s[i + k]);
        if ((c & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (c & 0x3F);
    }
    // Overlong forms, surrogates and values past Unicode are not characters.
    static constexpr std::uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kLeast[n] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return 0;
    // C1 controls, and the bidirectional overrides and isolates that could disguise a name.
    if (cp <= 0x9F || (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069)) return 0;
    return n;
}
}  // namespace

std::string captureApplicationName(std::string_view raw) {
    // Nothing longer than a few names' worth is read at all.
    raw = raw.substr(0, 4 * kMaxApplicationNameBytes);
    std::string out;
    bool space = false;
    for (std::size_t i = 0; i < raw.size();) {
        const auto b = static_cast<unsigned char>(raw[i]);
        if (b < 0x20 || b == 0x7F || b == ' ') {
            space = space || b == ' ' || b == '\t' || b == '\n' || b == '\r';
            ++i;
            continue;
        }
        const std::size_t n = sequenceLength(raw, i);
        if (n == 0) {
            ++i;
            continue;
        }
        const std::size_t extra = space && !out.empty() ? 1 : 0;
        if (out.size() + extra + n > kMaxApplicationNameBytes) break;
        if (extra) out += ' ';
        space = false;
        out.append(raw.substr(i, n));
        i += n;
    }
    return out;
}

std::optional<std::int64_t> processId(std::string_view text) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    std::int64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    if (v < 1 || v > 2147483647) return std::nullopt;
    return v;
}

bool isVideoDeviceName(std::string_view name) {
    if (!name.starts_with("video")) return false;
    const std::string_view digits = name.substr(5);
    if (digits.empty() || digits.size() > 3 || (digits.size() > 1 && digits[0] == '0')) return false;
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) return false;
    return std::stoi(std::string(digits)) <= 255;
}

bool isPulseLevelMeter(const PulseStreamHints& hints) {
    return hints.sourceIsMonitor || hints.resampleMethod == "peaks" || hints.streamMonitor == "true" ||
           hints.mediaRole == "peak" || hints.mediaRole == "filter";
}

}  // namespace halvyn
