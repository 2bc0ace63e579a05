#include "platform/linux/caf_audio.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace halvyn {

namespace {
std::uint64_t bigEndian(std::string_view s, std::size_t at, int bytes) {
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v = (v << 8) | static_cast<unsigned char>(s[at + i]);
    return v;
}

void little(std::string& out, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}
}  // namespace

std::optional<std::string> wavFromCaf(std::string_view caf, std::string& error) {
    if (caf.size() < 8 || caf.substr(0, 4) != "caff" || bigEndian(caf, 4, 2) != 1) {
        error = "not a CAF file";
        return std::nullopt;
    }
    bool haveDesc = false;
    double rate = 0;
    std::uint32_t flags = 0, channels = 0, bits = 0, bytesPerPacket = 0;
    std::string_view samples;
    bool haveData = false;
    std::size_t at = 8;
    while (at + 12 <= caf.size()) {
        const std::string_view type = caf.substr(at, 4);
        const auto declared = static_cast<std::int64_t>(bigEndian(caf, at + 4, 8));
        at += 12;
        const std::size_t left = caf.size() - at;
        // Only the data chunk may leave its size open (-1: to the end of the file).
        std::size_t size;
        if (declared == -1 && type == "data")
            size = left;
        else if (declared < 0 || static_cast<std::uint64_t>(declared) > left) {
            error = "damaged chunk";
            return std::nullopt;
        } else
            size = static_cast<std::size_t>(declared);
        if (type == "desc") {
            if (size < 32 || caf.substr(at + 8, 4) != "lpcm") {
                error = "not linear PCM";
                return std::nullopt;
            }
            rate = std::bit_cast<double>(bigEndian(caf, at, 8));
            flags = static_cast<std::uint32_t>(bigEndian(caf, at + 12, 4));
            bytesPerPacket = static_cast<std::uint32_t>(bigEndian(caf, at + 16, 4));
            channels = static_cast<std::uint32_t>(bigEndian(caf, at + 24, 4));
            bits = static_cast<std::uint32_t>(bigEndian(caf, at + 28, 4));
            haveDesc = true;
        } else if (type == "data") {
            if (size < 4) {
                error = "damaged data chunk";
                return std::nullopt;
            }
            samples = caf.substr(at + 4, size - 4);  // after the edit count
            haveData = true;
        }
        at += size;
    }
    constexpr std::uint32_t kFloat = 1, kLittleEndian = 2;
    if (!haveDesc || !haveData) {
        error = "no format or no samples";
        return std::nullopt;
    }
    if ((flags & kFloat) || bits != 16 || channels == 0 || channels > 8 || bytesPerPacket != 2 * channels ||
        !std::isfinite(rate) || rate < 1000 || rate > 384000) {
        error = "unsupported sample format";
        return std::nullopt;
    }
    const std::size_t frameBytes = 2 * channels;
    const std::size_t length = samples.size() - samples.size() % frameBytes;
    if (length > 0xffffffffu - 36) {
        error = "too long for a WAV file";
        return std::nullopt;
    }
    const auto sampleRate = static_cast<std::uint32_t>(std::lround(rate));

    std::string wav;
    wav.reserve(44 + length);
    wav += "RIFF";
    little(wav, static_cast<std::uint32_t>(36 + length), 4);
    wav += "WAVEfmt ";
    little(wav, 16, 4);
    little(wav, 1, 2);  // PCM
    little(wav, channels, 2);
    little(wav, sampleRate, 4);
    little(wav, static_cast<std::uint32_t>(sampleRate * frameBytes), 4);
    little(wav, static_cast<std::uint32_t>(frameBytes), 2);
    little(wav, 16, 2);
    wav += "data";
    little(wav, static_cast<std::uint32_t>(length), 4);
    if (flags & kLittleEndian) {
        wav.append(samples.substr(0, length));
    } else {
        for (std::size_t i = 0; i + 1 < length; i += 2) {
            wav.push_back(samples[i + 1]);
            wav.push_back(samples[i]);
        }
    }
    return wav;
}

}  // namespace halvyn
