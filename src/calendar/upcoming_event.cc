#include "calendar/upcoming_event.h"

#include <unicode/ubrk.h>
#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <cctype>
#include <memory>

#include "runtime/properties.h"

namespace halvyn {

namespace {

std::string lowered(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

bool isAsciiSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

bool isDelimiter(char c) { return isAsciiSpace(c) || c == '<' || c == '>' || c == '"' || c == '`' || c == '|'; }

bool isSchemeChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '.' || c == '-'; }

// Common top-level domains: a bare "name.tld" is a link only with one of these (or "www.").
bool knownTopLevel(std::string_view tld) {
    static const std::string_view known[] = {
        "com", "org", "net", "edu", "gov", "io", "us", "co", "uk", "de", "fr", "app", "me", "ai", "dev", "info",
        "biz", "ca", "au", "jp", "ch", "nl", "se", "no", "fi", "es", "it", "eu", "in", "ly", "gl", "tv", "gg",
        "be", "at", "dk", "pl", "br", "nz", "ie", "link", "team", "meet", "zoom", "cloud", "online", "site"};
    return std::find(std::begin(known), std::end(known), lowered(tld)) != std::end(known);
}

// A host such as "zoom.us" or "us02web.zoom.us:443".
bool isHost(std::string_view host, bool www) {
    if (auto colon = host.find(':'); colon != std::string_view::npos) {
        const auto port = host.substr(colon + 1);
        if (port.empty() || !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return false;
        host = host.substr(0, colon);
    }
    std::size_t labels = 0;
    std::string_view last;
    std::size_t start = 0;
    for (;;) {
        const auto dot = host.find('.', start);
        const auto label = host.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
        if (label.empty() || label.front() == '-' || label.back() == '-') return false;
        for (char c : label)
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-') return false;
        ++labels;
        last = label;
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    if (labels < 2 || last.size() < 2) return false;
    if (!std::all_of(last.begin(), last.end(), [](char c) { return std::isalpha(static_cast<unsigned char>(c)); }))
        return false;
    return www || knownTopLevel(last);
}

// Drops closing punctuation that ends a sentence rather than the link; a ")" stays when the
// link opened one. Counted once: a token of a million ")" costs a million steps, not a trillion.
std::string_view trimTrailing(std::string_view t) {
    const auto opened = std::count(t.begin(), t.end(), '(');
    auto closed = std::count(t.begin(), t.end(), ')');
    while (!t.empty()) {
        const char c = t.back();
        if (c == ')') {
            if (opened >= closed) break;
            --closed;
        } else if (std::string_view(".,;:!?'\"]}").find(c) == std::string_view::npos) {
            break;
        }
        t.remove_suffix(1);
    }
    return t;
}

std::optional<std::string> linkIn(std::string_view token) {
    if (const auto sep = token.find("://"); sep != std::string_view::npos && sep > 0) {
        std::size_t begin = sep;
        while (begin > 0 && isSchemeChar(token[begin - 1])) --begin;
        while (begin < sep && !std::isalpha(static_cast<unsigned char>(token[begin]))) ++begin;
        if (begin == sep) return std::nullopt;
        const auto url = trimTrailing(token.substr(begin));
        if (url.size() <= sep - begin + 3) return std::nullopt;  // nothing after the scheme
        return std::string(url);
    }
    while (!token.empty() && std::string_view("([{'").find(token.front()) != std::string_view::npos)
        token.remove_prefix(1);
    token = trimTrailing(token);
    if (token.empty()) return std::nullopt;
    const auto hostEnd = token.find_first_of("/?#");
    const auto host = token.substr(0, hostEnd);
    if (host.find('@') != std::string_view::npos) return std::nullopt;  // an address, not a link
    if (!isHost(host, lowered(host.substr(0, 4)) == "www.")) return std::nullopt;
    // Written without a scheme, a link is taken as a secure one: nothing here opens plain http.
    return "https://" + std::string(token);
}

// A meeting service: its host (and every subdomain of it), and where a join link's path starts.
struct ServiceRow {
    std::string_view host;
    std::string_view path;
    MeetingType type;
};

constexpr ServiceRow kServices[] = {
    {"facetime.apple.com", "/join", MeetingType::facetime},
    {"zoom.us", "/j/", MeetingType::zoom},
    {"zoom.us", "/w/", MeetingType::zoom},
    {"meet.google.com", "", MeetingType::googleMeet},
    {"teams.microsoft.com", "", MeetingType::teams},
    {"webex.com", "", MeetingType::webex},
};

// The service a link joins, if it is a meeting link at all. A calendar's text is anyone's: only a
// secure web link whose host is the service's own (or a subdomain of it, label by label) counts,
// or a link in FaceTime's own scheme. A service's name elsewhere in the address (a path, a user
// name, a longer host), any other scheme (file:, smb:, plain http:) and a host written with
// anything but letters, digits, hyphens and dots (escapes, "@", "\\") is not a meeting.
std::optional<MeetingType> meetingService(std::string_view link) {
    const auto colon = link.find("://");
    if (colon == std::string_view::npos) return std::nullopt;
    const std::string scheme = lowered(link.substr(0, colon));
    if (scheme == "facetime") return MeetingType::facetime;
    if (scheme != "https") return std::nullopt;
    const auto rest = link.substr(colon + 3);
    const auto hostEnd = rest.find_first_of("/?#");
    std::string_view authority = rest.substr(0, hostEnd);
    const std::string_view path = hostEnd == std::string_view::npos ? std::string_view() : rest.substr(hostEnd);
    if (const auto port = authority.find(':'); port != std::string_view::npos) {
        const auto digits = authority.substr(port + 1);
        if (digits.empty() || digits.size() > 5 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return std::nullopt;
        authority = authority.substr(0, port);
    }
    if (authority.empty() || authority.front() == '.' || authority.back() == '.' ||
        authority.find("..") != std::string_view::npos ||
        !std::all_of(authority.begin(), authority.end(), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.';
        }))
        return std::nullopt;
    const std::string host = lowered(authority);
    for (const ServiceRow& row : kServices) {
        const bool ownHost = host == row.host || (host.size() > row.host.size() && host.ends_with(row.host) &&
                                                  host[host.size() - row.host.size() - 1] == '.');
        if (ownHost && path.starts_with(row.path)) return row.type;
    }
    return std::nullopt;
}

std::u16string toUtf16(std::string_view s) {
    std::u16string out(s.size() + 1, u'\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()), &length, s.data(),
                         static_cast<int32_t>(s.size()), 0xFFFD, nullptr, &status);
    if (U_FAILURE(status)) return {};
    out.resize(static_cast<std::size_t>(length));
    return out;
}

std::string toUtf8(std::u16string_view s) {
    std::string out(s.size() * 3 + 1, '\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &length, reinterpret_cast<const UChar*>(s.data()),
                       static_cast<int32_t>(s.size()), 0xFFFD, nullptr, &status);
    if (U_FAILURE(status)) return {};
    out.resize(static_cast<std::size_t>(length));
    return out;
}

// The grapheme clusters of the text, as [begin, end) offsets in UTF-16 units.
std::vector<std::pair<int32_t, int32_t>> graphemes(const std::u16string& text) {
    std::vector<std::pair<int32_t, int32_t>> out;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UBreakIterator, void (*)(UBreakIterator*)> it(
        ubrk_open(UBRK_CHARACTER, "", reinterpret_cast<const UChar*>(text.data()), static_cast<int32_t>(text.size()),
                  &status),
        ubrk_close);
    if (U_FAILURE(status)) return out;
    int32_t begin = ubrk_first(it.get());
    for (int32_t end = ubrk_next(it.get()); end != UBRK_DONE; begin = end, end = ubrk_next(it.get()))
        out.emplace_back(begin, end);
    return out;
}

bool isWhite(UChar32 c) { return u_isUWhiteSpace(c) || c == 0x85 || c == 0x2028 || c == 0x2029; }

}  // namespace

std::vector<std::string> detectLinks(std::string_view text) {
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && isDelimiter(text[i])) ++i;
        const std::size_t begin = i;
        while (i < text.size() && !isDelimiter(text[i])) ++i;
        if (i > begin)
            if (auto link = linkIn(text.substr(begin, i - begin))) out.push_back(std::move(*link));
    }
    return out;
}

std::optional<std::pair<std::string, MeetingType>> findMeetingLink(const CalendarEvent& event) {
    std::vector<std::string> links;
    for (const auto* text : {&event.location, &event.url, &event.notes}) {
        if (!*text) continue;
        auto found = detectLinks(**text);
        links.insert(links.end(), std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()));
    }
    for (auto& link : links)
        if (auto type = meetingService(link)) return std::make_pair(std::move(link), *type);
    return std::nullopt;
}

std::string displayTitle(std::string_view title) {
    const std::u16string text = toUtf16(title);
    std::vector<std::u16string_view> kept;
    for (auto [begin, end] : graphemes(text)) {
        const std::u16string_view g(text.data() + begin, static_cast<std::size_t>(end - begin));
        UChar32 first = 0;
        int32_t at = 0;
        U16_NEXT(g.data(), at, static_cast<int32_t>(g.size()), first);
        bool emoji = false;
        for (int32_t j = 0; j < static_cast<int32_t>(g.size()) && !emoji;) {
            UChar32 c = 0;
            U16_NEXT(g.data(), j, static_cast<int32_t>(g.size()), c);
            emoji = u_hasBinaryProperty(c, UCHAR_EMOJI_PRESENTATION) || u_hasBinaryProperty(c, UCHAR_EMOJI);
        }
        const bool number = u_getIntPropertyValue(first, UCHAR_NUMERIC_TYPE) != U_NT_NONE;
        if (emoji && !number) continue;
        kept.push_back(g);
    }
    auto white = [](std::u16string_view g) {
        UChar32 c = 0;
        int32_t at = 0;
        U16_NEXT(g.data(), at, static_cast<int32_t>(g.size()), c);
        return isWhite(c);
    };
    std::size_t b = 0, e = kept.size();
    while (b < e && white(kept[b])) ++b;
    while (e > b && white(kept[e - 1])) --e;
    std::u16string out;
    const bool cut = e - b >= 19;
    for (std::size_t k = b; k < (cut ? b + 18 : e); ++k) out.append(kept[k]);
    std::string result = toUtf8(out);
    if (cut) result += "...";
    return result;
}

std::string UpcomingEvent::displayTitle() const { return halvyn::displayTitle(title); }

Value toValue(const UpcomingEvent& e) {
    Value location;
    if (e.location)
        location = Value(Value::Object{{"latitude", Value(e.location->latitude)},
                                       {"longitude", Value(e.location->longitude)}});
    return Value(Value::Object{
        {"id", Value(e.id)},
        {"title", Value(e.title)},
        {"startDate", toValue(e.startDate)},
        {"endDate", toValue(e.endDate)},
        {"color", Value(e.color)},
        {"url", toValue(e.url)},
        {"meetingType", e.meetingType ? Value(caseName(*e.meetingType)) : Value()},
        {"location", std::move(location)},
        {"displayTitle", Value(e.displayTitle())},
    });
}

}  // namespace halvyn
