// The checks on a release archive's entries: names, shape, links and bounds. Each input is a
// list of records, a kind byte, the name, NUL, the link target, NUL; whatever is admitted must
// land inside "Halvyn.app", with a printable name, and a link must resolve inside it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "updates/archive_entry.h"

namespace {

bool printable(std::string_view s) {
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7F) return false;
    return true;
}

// How deep below the top folder the link's target lands, walking its text from the link's folder;
// -1 when it leaves the top folder on the way.
int landing(std::string_view entry, std::string_view target) {
    int depth = -1;  // the link itself does not count
    for (char c : entry) depth += c == '/';
    std::size_t pos = 0;
    while (pos <= target.size()) {
        std::size_t slash = target.find('/', pos);
        if (slash == std::string_view::npos) slash = target.size();
        const std::string_view part = target.substr(pos, slash - pos);
        pos = slash + 1;
        if (part == "..") {
            if (--depth < 0) return -1;
        } else if (!part.empty() && part != ".") {
            ++depth;
        }
    }
    return depth;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    halvyn::UnpackRules rules;
    rules.topFolder = "Halvyn.app";
    rules.maxEntries = 64;
    rules.maxBytes = 4096;
    halvyn::ArchiveEntryCheck check(rules, 2048);
    std::size_t pos = 0, admitted = 0;
    while (pos < text.size()) {
        const auto kind = static_cast<halvyn::EntryKind>(static_cast<unsigned char>(text[pos]) % 4);
        const std::size_t nameEnd = std::min(text.find('\0', pos + 1), text.size());
        const std::string_view name = text.substr(pos + 1, nameEnd - pos - 1);
        const std::size_t targetEnd = std::min(text.find('\0', std::min(nameEnd + 1, text.size())), text.size());
        const std::string_view target = nameEnd < text.size() ? text.substr(nameEnd + 1, targetEnd - nameEnd - 1) : "";
        pos = targetEnd + 1;
        const auto verdict = check.admit(name, kind, target, name.size() * 64);
        if (!verdict.ok()) {
            if (verdict.refusal.find('\n') != std::string::npos) __builtin_trap();  // no forged log lines
            break;
        }
        if (++admitted > rules.maxEntries || kind == halvyn::EntryKind::other || !printable(verdict.path))
            __builtin_trap();
        if (verdict.path != "Halvyn.app" && verdict.path.rfind("Halvyn.app/", 0) != 0) __builtin_trap();
        if (kind == halvyn::EntryKind::link && (landing(verdict.path, target) < 0 || !printable(target))) __builtin_trap();
    }
    (void)check.finish();
    return 0;
}
