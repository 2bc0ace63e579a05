#pragma once
// The name and version every program of the project reports; the packaging reads the version here.

namespace halvyn {

inline constexpr const char* kProgramName = "Halvyn";
inline constexpr const char* kProgramVersion = "1.0.0";

}  // namespace halvyn
