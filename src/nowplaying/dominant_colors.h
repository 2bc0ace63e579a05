#pragma once
// Up to `maxCount` accent colours of an artwork image: the most common colours after a coarse
// quantisation, dropping any closer than `threshold` (in 0…255 RGB distance) to one already chosen.

#include <vector>

#include "nowplaying/track.h"
#include "platform/artwork.h"

namespace halvyn {

std::vector<TrackColor> dominantColors(const ArtworkImage& image, int maxCount = 3, double threshold = 10);

}  // namespace halvyn
