#pragma once
// The change notes of a release: heading lines ("#" and a marker) open sections, bullet lines
// ("- ") add notes to the current one.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/value.h"

namespace halvyn {

struct ChangelogNote {
    std::string id;    // identifies the row; fresh for every parsed note
    std::string text;  // Markdown

    friend bool operator==(const ChangelogNote&, const ChangelogNote&) = default;
};

struct ChangelogSection {
    std::string symbol;  // system symbol name, or the heading's marker when it is not a known one
    std::string color;   // named colour
    std::string title;   // unique within one changelog
    std::vector<ChangelogNote> body;

    friend bool operator==(const ChangelogSection&, const ChangelogSection&) = default;
};

using Changelog = std::vector<ChangelogSection>;

// Parses the notes; `newId` gives each note its identifier.
Changelog parseChangelog(std::string_view text, const std::function<std::string()>& newId);

Value toValue(const Changelog& changelog);

}  // namespace halvyn
