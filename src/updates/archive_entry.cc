#include "updates/archive_entry.h"

#include <cstdio>
#include <vector>

namespace halvyn {

namespace {

// Splits at "/" and resolves "." and ".." against `stack`; false when ".." would take it below
// `floor` names.
bool walk(std::string_view path, std::vector<std::string_view>& stack, std::size_t floor = 0) {
    std::size_t pos = 0;
    while (pos <= path.size()) {
        std::size_t slash = path.find('/', pos);
        if (slash == std::string_view::npos) slash = path.size();
        const std::string_view part = path.substr(pos, slash - pos);
        pos = slash + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (stack.size() <= floor) return false;
            stack.pop_back();
        } else {
            stack.push_back(part);
        }
    }
    return true;
}

bool hasControl(std::string_view s) {
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7F) return true;
    return false;
}

std::string mib(std::uint64_t bytes) { return std::to_string((bytes + (1u << 20) - 1) >> 20) + " MiB"; }

}  // namespace

std::optional<std::string> safeEntryPath(std::string_view path) {
    if (path.empty() || path.front() == '/' || path.find('\0') != std::string_view::npos) return std::nullopt;
    // Any ".." is refused, even one that would stay inside: no honest archive needs it.
    std::size_t pos = 0;
    while (pos <= path.size()) {
        std::size_t slash = path.find('/', pos);
        if (slash == std::string_view::npos) slash = path.size();
        if (path.substr(pos, slash - pos) == "..") return std::nullopt;
        pos = slash + 1;
    }
    std::vector<std::string_view> parts;
    walk(path, parts);
    if (parts.empty()) return std::nullopt;
    std::string out;
    for (auto part : parts) {
        if (!out.empty()) out += '/';
        out += part;
    }
    return out;
}

bool linkStaysInside(std::string_view entry, std::string_view target) {
    if (target.empty() || target.front() == '/' || target.find('\0') != std::string_view::npos) return false;
    // ".." only at the start of the target: after a name, which may itself be a link, a ".."
    // would climb from wherever that link leads, not from where the text suggests.
    bool named = false;
    std::size_t pos = 0;
    while (pos <= target.size()) {
        std::size_t slash = target.find('/', pos);
        if (slash == std::string_view::npos) slash = target.size();
        const std::string_view part = target.substr(pos, slash - pos);
        pos = slash + 1;
        if (part == "..") {
            if (named) return false;
        } else if (!part.empty() && part != ".") {
            named = true;
        }
    }
    std::vector<std::string_view> stack;
    if (!walk(entry, stack) || stack.size() < 2) return false;
    stack.pop_back();  // a link's target is relative to the folder holding it
    // Never above the top folder: it is renamed when installed, so nothing may name it.
    return walk(target, stack, 1);
}

std::string printableEntryName(std::string_view name) {
    constexpr std::size_t kMax = 200;
    std::string out;
    for (std::size_t i = 0; i < name.size() && i < kMax; ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || c == 0x7F) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    if (name.size() > kMax) out += "…";
    return out;
}

ArchiveEntryCheck::ArchiveEntryCheck(UnpackRules rules, std::uint64_t freeBytes)
    : rules_(std::move(rules)), free_(freeBytes) {}

ArchiveEntryCheck::Verdict ArchiveEntryCheck::admit(std::string_view name, EntryKind kind, std::string_view linkTarget,
                                                    std::optional<std::uint64_t> size) {
    // Built by appending: GCC 12's optimiser warns wrongly about "literal" + temporary string.
    std::string shown = "\"";
    shown += printableEntryName(name);
    shown += '"';
    auto refuse = [&](const std::string& why) { return Verdict{{}, "refused the archive entry " + shown + why}; };
    if (++entries_ > rules_.maxEntries)
        return {{}, "The archive holds more than " + std::to_string(rules_.maxEntries) + " entries."};
    // A newline in a name would forge a line of the log that reports it.
    if (hasControl(name)) return refuse(": its name holds a control character");
    auto clean = safeEntryPath(name);
    if (!clean) return refuse("");
    const std::size_t slash = clean->find('/');
    const std::string_view top = std::string_view(*clean).substr(0, slash);
    if (top != rules_.topFolder || (slash == std::string::npos && kind != EntryKind::directory))
        return refuse(": the archive must hold the folder \"" + rules_.topFolder + "\" and nothing beside it");
    switch (kind) {
        case EntryKind::directory: break;
        case EntryKind::file:
            if (size) {
                declared_ += *size;
                if (declared_ > rules_.maxBytes) return {{}, "The archive unpacks to more than " + mib(rules_.maxBytes) + "."};
                if (declared_ > free_)
                    return {{}, "Not enough free space: the new version needs " + mib(declared_) + ", " + mib(free_) +
                                    " are free."};
            }
            break;
        case EntryKind::link:
            if (hasControl(linkTarget) || !linkStaysInside(*clean, linkTarget))
                return {{}, "refused the link " + shown + " to \"" + printableEntryName(linkTarget) + "\""};
            break;
        case EntryKind::other: return refuse("");
    }
    return {*clean, {}};
}

std::string ArchiveEntryCheck::spend(std::uint64_t bytes) {
    written_ += bytes;
    if (written_ > rules_.maxBytes) return "The archive unpacks to more than " + mib(rules_.maxBytes) + ".";
    return {};
}

std::string ArchiveEntryCheck::finish() const {
    if (entries_ == 0) return "The archive is empty.";
    return {};
}

}  // namespace halvyn
