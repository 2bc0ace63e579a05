#include "updates/changelog.h"

#include <unordered_map>

namespace halvyn {

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }
bool isSpaceOrNewline(char c) { return isSpace(c) || c == '\n' || c == '\r'; }

// Trims ASCII white space and the Unicode spaces a sender's editor may leave (no-break space,
// the en/em spaces, U+2028/2029 counted as newlines).
std::size_t spaceAt(std::string_view s, std::size_t i, bool newlines) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (newlines ? isSpaceOrNewline(s[i]) : isSpace(s[i])) return 1;
    if (c == 0xC2 && i + 1 < s.size() && (static_cast<unsigned char>(s[i + 1]) == 0xA0 ||
                                          (newlines && static_cast<unsigned char>(s[i + 1]) == 0x85)))
        return 2;
    if (c == 0xE2 && i + 2 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0x80) {
        const unsigned char d = static_cast<unsigned char>(s[i + 2]);
        if ((d >= 0x80 && d <= 0x8A) || d == 0xAF) return 3;
        if (newlines && (d == 0xA8 || d == 0xA9)) return 3;
    }
    if (c == 0xE3 && i + 2 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0x80 &&
        static_cast<unsigned char>(s[i + 2]) == 0x80)
        return 3;
    return 0;
}

std::string_view trimFront(std::string_view s, bool newlines) {
    std::size_t i = 0;
    while (i < s.size()) {
        const std::size_t n = spaceAt(s, i, newlines);
        if (!n) break;
        i += n;
    }
    return s.substr(i);
}

std::string_view trim(std::string_view s, bool newlines) {
    s = trimFront(s, newlines);
    // From the back: find the last position that does not begin a run of spaces to the end.
    std::size_t keep = 0, i = 0;
    while (i < s.size()) {
        const std::size_t n = spaceAt(s, i, newlines);
        if (n) {
            i += n;
        } else {
            i += 1;
            keep = i;
        }
    }
    // Keep whole UTF-8 sequences: extend over continuation bytes of the last kept character.
    while (keep < s.size() && (static_cast<unsigned char>(s[keep]) & 0xC0) == 0x80) ++keep;
    return s.substr(0, keep);
}

// Length of the first character (one grapheme's leading code point plus what joins it: variation
// selectors, zero-width joiners with their following code point, skin tones, combining marks).
std::size_t codePointLength(std::string_view s, std::size_t i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 1;
    return std::min(n, s.size() - i);
}

std::uint32_t codePoint(std::string_view s, std::size_t i, std::size_t n) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    std::uint32_t cp = n == 1 ? c : n == 2 ? (c & 0x1F) : n == 3 ? (c & 0x0F) : (c & 0x07);
    for (std::size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    return cp;
}

bool extends(std::uint32_t cp) {
    return (cp >= 0x300 && cp <= 0x36F) || (cp >= 0xFE00 && cp <= 0xFE0F) || (cp >= 0x1F3FB && cp <= 0x1F3FF) ||
           cp == 0x200D || (cp >= 0x20D0 && cp <= 0x20FF) || (cp >= 0xE0020 && cp <= 0xE007F);
}

std::size_t firstCharacterLength(std::string_view s) {
    std::size_t i = codePointLength(s, 0);
    bool joined = false;
    while (i < s.size()) {
        const std::size_t n = codePointLength(s, i);
        const std::uint32_t cp = codePoint(s, i, n);
        if (joined || extends(cp)) {
            joined = cp == 0x200D;
            i += n;
        } else {
            break;
        }
    }
    return i;
}

std::string removeAll(std::string_view s, std::string_view what) {
    std::string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        if (s.compare(i, what.size(), what) == 0) {
            i += what.size();
        } else {
            out += s[i++];
        }
    }
    return out;
}

}  // namespace

Changelog parseChangelog(std::string_view text, const std::function<std::string()>& newId) {
    Changelog changelog;
    std::unordered_map<std::string, std::size_t> byTitle;  // title → index of its section
    // The section the current title names (titles are unique, so the first equal one).
    std::size_t current = 0;
    bool hasCurrent = false;

    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t nl = text.find('\n', pos);
        if (nl == std::string_view::npos) nl = text.size();
        std::string_view raw = text.substr(pos, nl - pos);
        pos = nl + 1;
        // Carriage returns go before lines are judged, so CR LF reads like LF.
        std::string line;
        if (raw.find('\r') != std::string_view::npos) {
            line = removeAll(raw, "\r");
            raw = line;
        }
        if (raw.empty()) continue;

        if (raw.front() == '#') {
            const std::string heading = std::string(trim(removeAll(raw, "#"), true));
            if (heading.empty()) continue;  // a heading without a marker opens nothing
            const std::size_t markerLength = firstCharacterLength(heading);
            const std::string marker = heading.substr(0, markerLength);
            std::string title = heading.substr(markerLength);
            std::string symbol = marker == "📣" ? "megaphone.fill" : marker == "✨" ? "sparkles"
                                 : marker == "🐞" ? "ladybug.fill" : marker;
            std::string color = symbol == "megaphone.fill" ? "TealColor" : symbol == "sparkles" ? "PinkColor" : "StoneColor";
            auto [it, added] = byTitle.emplace(title, changelog.size());
            if (added) changelog.push_back({std::move(symbol), std::move(color), std::move(title), {}});
            current = it->second;
            hasCurrent = true;
        } else if (hasCurrent && raw.size() >= 2 && raw[0] == '-' && raw[1] == ' ') {
            const std::string note = removeAll(raw, "- ");
            changelog[current].body.push_back({newId(), std::string(trim(note, false))});
        }
    }
    return changelog;
}

Value toValue(const Changelog& changelog) {
    Value::Array sections;
    for (const ChangelogSection& s : changelog) {
        Value::Array notes;
        for (const ChangelogNote& n : s.body)
            notes.push_back(Value(Value::Object{{"id", Value(n.id)}, {"text", Value(n.text)}}));
        sections.push_back(Value(Value::Object{{"symbol", Value(s.symbol)},
                                               {"color", Value(s.color)},
                                               {"title", Value(s.title)},
                                               {"body", Value(std::move(notes))}}));
    }
    return Value(std::move(sections));
}

}  // namespace halvyn
