// Bytes a player's artwork file or a web server answered, through the check that decides whether
// they may be artwork at all, and the same bytes as the artwork address a player names.
//
// Input: any bytes.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "nowplaying/artwork_signature.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    halvyn::looksLikeArtwork(bytes);
    halvyn::isWebArtwork(bytes);
    halvyn::localArtworkPath(bytes);
    return 0;
}
