#pragma once
// Artwork decoding with Qt's image readers (JPEG, PNG, GIF, WebP and BMP, as installed; nothing
// else). Reentrant: called on the background queue.

#include "platform/artwork.h"

namespace halvyn {

class QtArtworkDecoder final : public ArtworkDecoder {
public:
    // Artwork is drawn a few hundred points wide: a larger image is refused, not decoded.
    static constexpr int kMaxSide = 8192;

    std::optional<ArtworkImage> decode(const std::string& bytes, int box) override;
};

}  // namespace halvyn
