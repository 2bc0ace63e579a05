#pragma once
// Reading what the system says about who records: application names from stream properties and
// process files, process entries of /proc, device names, and which PulseAudio streams are level
// meters. Every input here is another program's word, so each reader bounds and checks it.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace halvyn {

// The bytes an application name keeps at most (cut at a character's start).
inline constexpr std::size_t kMaxApplicationNameBytes = 64;

// A name fit to show: invalid UTF-8 and control characters dropped, runs of white space made one
// space, trimmed, bounded to kMaxApplicationNameBytes; empty when nothing readable is left.
std::string captureApplicationName(std::string_view raw);

// A process id from a /proc entry or a stream's "application.process.id": decimal digits only,
// 1 to 2^31 - 1.
std::optional<std::int64_t> processId(std::string_view text);

// "video0" … "video255": the names of V4L2 capture nodes.
bool isVideoDeviceName(std::string_view name);

// What a PulseAudio source output says about itself.
struct PulseStreamHints {
    std::string resampleMethod;  // "peaks" for a stream made with PA_STREAM_PEAK_DETECT
    std::string streamMonitor;   // PipeWire's "stream.monitor" property
    std::string mediaRole;       // "media.role"
    bool sourceIsMonitor = false;
};

// A level meter rather than a recording: a peak-detecting stream (PulseAudio's resampler
// "peaks", PipeWire's "stream.monitor"), a stream from the monitor of an output, or one whose
// role says it only measures ("peak" or "filter").
bool isPulseLevelMeter(const PulseStreamHints& hints);

}  // namespace halvyn
