#include "platform/sim/sim_focus_log.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <charconv>
#include <cstdint>
#include <memory>
#include <utility>

#include "platform/log_stream.h"
#include "runtime/main_queue.h"

namespace halvyn {

namespace {

// One code point at `i` (malformed bytes read as U+FFFD, one byte each); `i` moves past it.
UChar32 nextCodePoint(std::string_view s, std::size_t& i) {
    UChar32 c = 0;
    std::int32_t at = static_cast<std::int32_t>(i);
    const auto length = static_cast<std::int32_t>(s.size());
    U8_NEXT(reinterpret_cast<const std::uint8_t*>(s.data()), at, length, c);
    i = static_cast<std::size_t>(at);
    return c < 0 ? 0xFFFD : c;
}

// The regular-expression classes of the patterns: \w (Unicode word characters) and \s.
bool isWord(UChar32 c) {
    if (c < 0x80) return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    if (c == 0x200C || c == 0x200D) return true;
    if (u_hasBinaryProperty(c, UCHAR_ALPHABETIC)) return true;
    const auto type = u_charType(c);
    return type == U_NON_SPACING_MARK || type == U_COMBINING_SPACING_MARK || type == U_ENCLOSING_MARK ||
           type == U_DECIMAL_DIGIT_NUMBER || type == U_CONNECTOR_PUNCTUATION;
}
bool isSpace(UChar32 c) {
    if (c < 0x80) return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
    return u_isUWhiteSpace(c);
}

enum class Allowed { wordDot, wordDotDash, notSemicolon };

bool allowed(UChar32 c, Allowed what) {
    switch (what) {
        case Allowed::wordDot: return c == '.' || isWord(c);
        case Allowed::wordDotDash: return c == '.' || c == '-' || isWord(c);
        case Allowed::notSemicolon: return c != ';';
    }
    return false;
}

// "marker\s*(class+)": the first occurrence of the marker where the value matches.
std::optional<std::string> valueAfter(std::string_view line, std::string_view marker, Allowed what) {
    for (std::size_t at = line.find(marker); at != std::string_view::npos; at = line.find(marker, at + 1)) {
        std::size_t i = at + marker.size();
        std::size_t lastSpace = std::string_view::npos;
        while (i < line.size()) {
            std::size_t next = i;
            if (!isSpace(nextCodePoint(line, next))) break;
            lastSpace = i;
            i = next;
        }
        const std::size_t begin = i;
        while (i < line.size()) {
            std::size_t next = i;
            if (!allowed(nextCodePoint(line, next), what)) break;
            i = next;
        }
        if (i > begin) return std::string(line.substr(begin, i - begin));
        // White space is itself "not a semicolon": the match gives the last space back.
        if (what == Allowed::notSemicolon && lastSpace != std::string_view::npos)
            return std::string(line.substr(lastSpace, begin - lastSpace));
    }
    return std::nullopt;
}

bool contains(std::string_view s, std::string_view part) { return s.find(part) != std::string_view::npos; }

}  // namespace

namespace focus {

std::string tintColor(std::string_view logged) {
    static const std::pair<std::string_view, const char*> table[] = {
        {"systemBlueColor", "SkyColor"},         {"systemBrownColor", "StoneColor"},
        {"systemGrayColor", "StoneLightColor"},  {"systemGreenColor", "GreenColor"},
        {"systemIndigoColor", "IndigoColor"},    {"systemOrangeColor", "ReddishOrangeColor"},
        {"systemPinkColor", "PinkColor"},        {"systemPurpleColor", "PurpleColor"},
        {"systemRedColor", "RoseColor"},         {"systemMintColor", "TealColor"},
        {"systemTealColor", "TealColor"},
    };
    for (auto& [name, colour] : table)
        if (name == logged) return colour;
    return "IndigoColor";
}

std::optional<std::string> identifier(std::string_view line) {
    return valueAfter(line, "modeIdentifier:", Allowed::wordDotDash);
}
std::optional<std::string> name(std::string_view line) { return valueAfter(line, "name:", Allowed::notSemicolon); }
std::optional<std::string> symbol(std::string_view line) {
    return valueAfter(line, "symbolImageName:", Allowed::wordDot);
}
std::optional<std::string> tint(std::string_view line) { return valueAfter(line, "tintColorName:", Allowed::wordDot); }

std::optional<ProcessID> firstProcessID(std::string_view out) {
    std::size_t pos = 0;
    while (pos <= out.size()) {
        std::size_t end = out.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = out.size();
        std::string_view piece = out.substr(pos, end - pos);
        pos = end + 1;
        const auto first = piece.find_first_not_of(" \t\f\v");
        if (first == std::string_view::npos) continue;
        piece = piece.substr(first, piece.find_last_not_of(" \t\f\v") - first + 1);
        if (!piece.empty() && piece[0] == '+') piece.remove_prefix(1);
        if (piece.empty() || piece[0] == '+') continue;
        ProcessID pid = 0;
        auto [ptr, ec] = std::from_chars(piece.data(), piece.data() + piece.size(), pid);
        if (ec == std::errc() && ptr == piece.data() + piece.size()) return pid;
    }
    return std::nullopt;
}

}  // namespace focus

struct SimFocusLog::Following {
    FocusReports reports;
    Subscription stream;
};

namespace {

// One line as the Focus source reads it: a state update names the mode, a registration switches.
void read(const LogEntry& entry, const FocusReports& reports) {
    const std::string_view message = entry.message;
    const std::string said = "message: " + entry.message;
    if (entry.category == "ServiceProvider" && contains(message, "Delivering state update") &&
        contains(message, "name:") && contains(message, "symbolImageName:") && contains(message, "tintColorName:")) {
        const auto tint = focus::tint(message);
        reports.modeActive(ReportedFocusMode{focus::identifier(message), focus::name(message), focus::symbol(message),
                                             tint ? std::optional(focus::tintColor(*tint)) : std::nullopt},
                           said);
    } else if (entry.category == "Registration" && contains(message, "DND Enabled")) {
        reports.switched(contains(message, "YES"), said);
    }
}

}  // namespace

Subscription SimFocusLog::follow(FocusReports reports) {
    auto following = std::make_shared<Following>(Following{std::move(reports), {}});
    std::weak_ptr<Following> weak = following;
    main_.post([this, weak] {
        if (weak.expired()) return;
        std::optional<ProcessID> ids, dnd;
        if (auto out = processes_.pgrep(kStateDaemon)) ids = focus::firstProcessID(*out);
        if (ids)
            if (auto out = processes_.pgrep(kRegistrationDaemon)) dnd = focus::firstProcessID(*out);
        main_.post([this, weak, ids, dnd] {
            auto f = weak.lock();
            if (!f) return;
            if (!ids || !dnd) {
                const auto ended = f->reports.ended;
                ended(std::nullopt);
                return;
            }
            f->stream = log_.open(
                {*ids, *dnd},
                [weak](const LogEntry& entry) {
                    // Copied: a report may end the following.
                    if (auto f = weak.lock()) read(entry, FocusReports(f->reports));
                },
                [weak](const std::string& error) {
                    auto f = weak.lock();
                    if (!f) return;
                    const auto ended = f->reports.ended;
                    ended("Log stream error: " + error);
                });
        });
    });
    return Subscription([following] { following->stream.reset(); });
}

}  // namespace halvyn
