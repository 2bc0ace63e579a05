#pragma once
// Where the desktop program and its companion helper meet on the session bus: one object whose
// methods are the helper's requests (by their own names) and whose signals are its callbacks.

namespace halvyn::helperbus {

inline constexpr const char* kService = "org.halvyn.Helper";
inline constexpr const char* kPath = "/org/halvyn/Helper";
inline constexpr const char* kInterface = "org.halvyn.Helper";
// The helper's executable, installed next to the program.
inline constexpr const char* kExecutable = "halvyn-helper";

}  // namespace halvyn::helperbus
