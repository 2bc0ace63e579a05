// Change notes as any server may send them: every section title is unique and no note keeps a
// "- " or a carriage return.

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "updates/changelog.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    int n = 0;
    auto changelog = halvyn::parseChangelog(text, [&n] { return std::to_string(++n); });
    std::set<std::string> titles;
    for (const auto& section : changelog) {
        if (!titles.insert(section.title).second) __builtin_trap();
        for (const auto& note : section.body)
            if (note.text.find('\r') != std::string::npos) __builtin_trap();
    }
    return 0;
}
