#include "nowplaying/artwork_signature.h"

namespace halvyn {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::optional<std::string> localArtworkPath(std::string_view url) {
    if (!isFileArtwork(url)) return std::nullopt;
    std::string_view rest = url.substr(5);
    if (rest.starts_with("//")) {
        rest.remove_prefix(2);
        const std::size_t slash = rest.find('/');
        if (slash == std::string_view::npos) return std::nullopt;
        const std::string_view host = rest.substr(0, slash);
        if (!host.empty() && !(host.size() == 9 && startsWithAnyCase(host, "localhost"))) return std::nullopt;
        rest.remove_prefix(slash);
    }
    rest = rest.substr(0, rest.find_first_of("?#"));
    if (!rest.starts_with('/')) return std::nullopt;
    std::string path;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        const int hi = rest[i] == '%' && i + 2 < rest.size() ? hexDigit(rest[i + 1]) : -1;
        const int lo = hi >= 0 ? hexDigit(rest[i + 2]) : -1;
        if (lo >= 0) {
            path += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else {
            path += rest[i];  // a lone '%' stands for itself
        }
    }
    if (path.find('\0') != std::string::npos) return std::nullopt;
    return path;
}

}  // namespace halvyn
