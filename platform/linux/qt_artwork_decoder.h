#pragma once
// Artwork decoding with Qt's image readers (JPEG, PNG, GIF, WebP … as installed). Reentrant:
// called on the background queue.

#include "platform/artwork.h"

namespace halvyn {

class QtArtworkDecoder final : public ArtworkDecoder {
public:
    std::optional<ArtworkImage> decode(const std::string& bytes, int box) override;
};

}  // namespace halvyn
