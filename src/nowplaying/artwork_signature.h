#pragma once
// Artwork a player names: where it is, and whether bytes read for it may be artwork at all.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace halvyn {

// Whether `text` starts with `prefix` (given in lower case), in any case.
inline bool startsWithAnyCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if ((text[i] >= 'A' && text[i] <= 'Z' ? text[i] + ('a' - 'A') : text[i]) != prefix[i]) return false;
    return true;
}

// Whether a player's artwork address is on the web (http or https): such artwork is fetched by
// the program, not by the helper.
inline bool isWebArtwork(std::string_view url) { return startsWithAnyCase(url, "http://") || startsWithAnyCase(url, "https://"); }

inline bool isFileArtwork(std::string_view url) { return startsWithAnyCase(url, "file:"); }

// The path on this machine a file URL names (no host, or localhost), percent-decoded, without its
// query or fragment; none for another host, a relative path or a path with a NUL in it.
std::optional<std::string> localArtworkPath(std::string_view url);

// Whether bytes a player pointed at start as an image of a common artwork format (PNG, JPEG, GIF,
// WebP, BMP): a cheap gate, so that a text file or a page of HTML is never passed on as artwork.
// It does not prove the image decodes; whoever draws it still treats the bytes as hostile.
inline bool looksLikeArtwork(std::string_view b) {
    auto at = [&](std::size_t offset, std::string_view magic) {
        return b.size() >= offset + magic.size() && b.substr(offset, magic.size()) == magic;
    };
    // PNG: the signature, then the header chunk that must come first.
    if (at(0, "\x89PNG\r\n\x1a\n")) return b.size() >= 24 && at(12, "IHDR");
    if (at(0, "\xff\xd8\xff")) return true;
    if (at(0, "GIF87a") || at(0, "GIF89a")) return b.size() >= 10;
    if (at(0, "RIFF")) return at(8, "WEBPVP8");
    // BMP: the file header, then an information header of one of the known sizes.
    if (at(0, "BM") && b.size() >= 18) {
        const unsigned header = static_cast<unsigned char>(b[14]) | static_cast<unsigned char>(b[15]) << 8 |
                                static_cast<unsigned>(static_cast<unsigned char>(b[16])) << 16 |
                                static_cast<unsigned>(static_cast<unsigned char>(b[17])) << 24;
        return header == 12 || header == 40 || header == 52 || header == 56 || header == 108 || header == 124;
    }
    return false;
}

}  // namespace halvyn
