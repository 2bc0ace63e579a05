#include "updates/archive_entry.h"

#include <vector>

namespace halvyn {

namespace {

// Splits at "/" and resolves "." and ".." against `stack`; false when ".." leaves the root.
bool walk(std::string_view path, std::vector<std::string_view>& stack) {
    std::size_t pos = 0;
    while (pos <= path.size()) {
        std::size_t slash = path.find('/', pos);
        if (slash == std::string_view::npos) slash = path.size();
        const std::string_view part = path.substr(pos, slash - pos);
        pos = slash + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (stack.empty()) return false;
            stack.pop_back();
        } else {
            stack.push_back(part);
        }
    }
    return true;
}

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
    if (!walk(entry, stack) || stack.empty()) return false;
    stack.pop_back();  // a link's target is relative to the folder holding it
    return walk(target, stack);
}

}  // namespace halvyn
