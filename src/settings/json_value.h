#pragma once
// Conversions between Value and JSON documents, for the settings file, the cloud folder and
// JSON-text settings. Only for .cc files: it pulls in the JSON library.

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "runtime/value.h"

namespace halvyn {

using Json = nlohmann::ordered_json;

// Documents nested deeper than this are refused rather than walked recursively.
inline constexpr int kMaxJsonDepth = 128;

Json toJson(const Value& v);
// Nothing when the document is nested too deeply.
std::optional<Value> fromJson(const Json& j);
// Nothing when the text is not one well-formed JSON document.
std::optional<Value> parseJson(std::string_view text);

}  // namespace halvyn
