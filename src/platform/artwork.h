#pragma once
// Decoding artwork bytes into a small image. Blocking: called on the background queue only.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace halvyn {

// 32-bit 0xAARRGGBB pixels, row by row.
struct ArtworkImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    friend bool operator==(const ArtworkImage&, const ArtworkImage&) = default;
};

class ArtworkDecoder {
public:
    virtual ~ArtworkDecoder() = default;
    // Decodes `bytes` and redraws the image to fit a box × box square with its aspect kept;
    // nullopt when the bytes are not an image.
    virtual std::optional<ArtworkImage> decode(const std::string& bytes, int box) = 0;
};

// The size that fits w × h into box × box with the aspect kept (wide: box × box÷aspect; tall:
// box·aspect × box); at least 1 × 1.
inline std::pair<int, int> fitInBox(int w, int h, int box) {
    if (w <= 0 || h <= 0) return {1, 1};
    const double aspect = static_cast<double>(w) / h;
    int fw = box, fh = box;
    if (aspect >= 1) fh = static_cast<int>(box / aspect + 0.5);
    else fw = static_cast<int>(box * aspect + 0.5);
    return {fw < 1 ? 1 : fw, fh < 1 ? 1 : fh};
}

}  // namespace halvyn
