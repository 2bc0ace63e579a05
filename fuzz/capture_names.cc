// What other programs say about who records: a stream's application name and process id, a
// /proc entry, a /dev entry, and a stream's level-meter hints, each read as the adapters read it.
//
// Input: up to five fields separated by NUL bytes, used in turn as each reader's text.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/capture_names.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace halvyn;
    const std::string_view in(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> parts;
    for (std::size_t start = 0; parts.size() < 5;) {
        const std::size_t end = in.find('\0', start);
        parts.push_back(in.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    for (std::string_view p : parts) {
        const std::string name = captureApplicationName(p);
        // A shown name is bounded, has no control byte and reads the same when cleaned again.
        if (name.size() > kMaxApplicationNameBytes || captureApplicationName(name) != name) __builtin_trap();
        for (unsigned char c : name)
            if (c < 0x20 || c == 0x7F) __builtin_trap();
        if (auto pid = processId(p); pid && (*pid < 1 || *pid > 2147483647)) __builtin_trap();
        isVideoDeviceName(p);
    }
    PulseStreamHints hints;
    hints.resampleMethod = std::string(parts[0]);
    if (parts.size() > 1) hints.streamMonitor = std::string(parts[1]);
    if (parts.size() > 2) hints.mediaRole = std::string(parts[2]);
    hints.sourceIsMonitor = size % 2;
    isPulseLevelMeter(hints);
    return 0;
}
