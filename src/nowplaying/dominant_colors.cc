#include "nowplaying/dominant_colors.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace halvyn {

std::vector<TrackColor> dominantColors(const ArtworkImage& image, int maxCount, double threshold) {
    // 5 bits per channel: 32768 buckets, each keeping its count and the sum of its pixels so the
    // colour returned is the bucket's mean, not its corner.
    struct Bucket {
        std::uint32_t count = 0;
        std::uint64_t r = 0, g = 0, b = 0;
    };
    std::vector<Bucket> buckets(1u << 15);
    const std::size_t n = std::min(image.pixels.size(), static_cast<std::size_t>(std::max(0, image.width)) *
                                                            static_cast<std::size_t>(std::max(0, image.height)));
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t p = image.pixels[i];
        if ((p >> 24) < 128) continue;  // mostly transparent pixels are not the artwork's colour
        const std::uint32_t r = (p >> 16) & 0xff, g = (p >> 8) & 0xff, b = p & 0xff;
        Bucket& k = buckets[((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3)];
        ++k.count;
        k.r += r;
        k.g += g;
        k.b += b;
    }
    std::vector<std::uint32_t> order;
    for (std::uint32_t i = 0; i < buckets.size(); ++i)
        if (buckets[i].count) order.push_back(i);
    // Most common first; ties by bucket index so the result never depends on the sort.
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return buckets[a].count != buckets[b].count ? buckets[a].count > buckets[b].count : a < b;
    });
    std::vector<std::array<double, 3>> chosen;
    std::vector<TrackColor> out;
    for (std::uint32_t i : order) {
        if (static_cast<int>(out.size()) >= maxCount) break;
        const Bucket& k = buckets[i];
        const std::array<double, 3> c{double(k.r) / k.count, double(k.g) / k.count, double(k.b) / k.count};
        bool near = false;
        for (auto& o : chosen)
            near = near || std::hypot(c[0] - o[0], c[1] - o[1], c[2] - o[2]) < threshold;
        if (near) continue;
        chosen.push_back(c);
        out.push_back({c[0] / 255.0, c[1] / 255.0, c[2] / 255.0, 1.0});
    }
    return out;
}

}  // namespace halvyn
