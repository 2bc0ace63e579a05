#pragma once
// The now-playing record: a plain value, copied on assignment.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/artwork.h"
#include "runtime/value.h"

namespace halvyn {

// An accent colour, components 0…1.
struct TrackColor {
    double r = 0, g = 0, b = 0, a = 1;
    friend bool operator==(const TrackColor&, const TrackColor&) = default;
};

struct Track {
    std::string title;
    std::string artist;
    std::string album;
    // Shared: the image is immutable once decoded, and tracks are copied often.
    std::shared_ptr<const ArtworkImage> albumArt;
    std::optional<std::string> albumArtData;
    std::vector<TrackColor> colors = placeholderColors();
    std::string url;
    bool explicit_ = false;

    // Neutral grey at opacity 0.8: the colours of a track without artwork.
    static std::vector<TrackColor> placeholderColors() { return {TrackColor{0.5, 0.5, 0.5, 0.8}}; }
    // No title, artist or album: nothing is known about what plays.
    bool isEmpty() const { return title.empty() && artist.empty() && album.empty(); }

    friend bool operator==(const Track& a, const Track& b) {
        const bool sameArt = a.albumArt == b.albumArt || (a.albumArt && b.albumArt && *a.albumArt == *b.albumArt);
        return a.title == b.title && a.artist == b.artist && a.album == b.album && sameArt &&
               a.albumArtData == b.albumArtData && a.colors == b.colors && a.url == b.url &&
               a.explicit_ == b.explicit_;
    }
};

// "#RRGGBB", with "AA" appended when not opaque.
std::string colorText(const TrackColor& c);
// {title, artist, album, albumArt: [w, h] | null, albumArtData: hex | null, colors, url, explicit}
Value toValue(const Track& t);
std::string hexText(const std::string& bytes);

}  // namespace halvyn
