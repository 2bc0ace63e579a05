#pragma once
// Property lists as other applications store their preferences: the old-style text form
// ({ key = value; }, ( a, b ), "quoted" and bare strings, <hex data>, comments) and the XML form.
// Dictionaries become objects (keys in file order), arrays arrays, strings strings, integers and
// reals numbers, Booleans Booleans; dates become ISO 8601 text and data its raw bytes as a string.

#include <optional>
#include <string>
#include <string_view>

#include "runtime/value.h"

namespace halvyn {

// Deeper nesting than this is refused rather than walked.
inline constexpr int kMaxPropertyListDepth = 128;

// The document, or nothing with the reason (and where) in `error`.
std::optional<Value> parsePropertyList(std::string_view text, std::string* error = nullptr);

}  // namespace halvyn
