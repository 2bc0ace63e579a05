#pragma once
// The program's alert sounds are Core Audio Format files of linear PCM; the toolkit's effect
// player reads WAV only. This turns one into the other without touching the samples' values.

#include <optional>
#include <string>
#include <string_view>

namespace halvyn {

// A WAV file with the same samples as the CAF file `caf` (16-bit linear PCM, either byte order,
// any rate and channel count); nothing, with `error` set, for anything else or a damaged file.
std::optional<std::string> wavFromCaf(std::string_view caf, std::string& error);

}  // namespace halvyn
