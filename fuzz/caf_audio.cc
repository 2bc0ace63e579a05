// The alert-sound reader: CAF bytes in, a WAV file or an error out, never a crash.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/linux/caf_audio.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string error;
    (void)halvyn::wavFromCaf(std::string_view(reinterpret_cast<const char*>(data), size), error);
    return 0;
}
