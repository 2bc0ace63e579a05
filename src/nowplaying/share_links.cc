#include "nowplaying/share_links.h"

#include <cmath>
#include <vector>

namespace halvyn {

namespace {

std::optional<std::string> textEntry(const HelperDictionary& d, const char* key) {
    auto it = d.find(key);
    if (it == d.end()) return std::nullopt;
    if (auto* s = std::get_if<std::string>(&it->second)) return *s;
    return std::nullopt;
}

// A store identifier: a whole, non-negative number.
std::optional<long long> idEntry(const HelperDictionary& d, const char* key) {
    auto it = d.find(key);
    if (it == d.end()) return std::nullopt;
    auto* n = std::get_if<double>(&it->second);
    if (!n || !std::isfinite(*n) || *n < 0 || *n > 9.0e15 || std::floor(*n) != *n) return std::nullopt;
    return static_cast<long long>(*n);
}

bool unreserved(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

bool lowerAscii(std::string& s) {
    for (auto& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return true;
}

bool hostIs(std::string_view host, std::string_view domain) {
    if (host == domain) return true;
    return host.size() > domain.size() && host.substr(host.size() - domain.size()) == domain &&
           host[host.size() - domain.size() - 1] == '.';
}

}  // namespace

std::string albumSlug(std::string_view album) {
    std::string lowered(album);
    lowerAscii(lowered);
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : lowered) {
        if (c == ' ') {
            out += '-';
        } else if (unreserved(c) || c == '!' || c == '$' || c == '&' || c == '\'' || c == '(' || c == ')' ||
                   c == '*' || c == '+' || c == ',' || c == ';' || c == '=' || c == ':' || c == '@') {
            out += static_cast<char>(c);
        } else {
            // "/" too: an album named "AC/DC" stays one path segment.
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::optional<std::string> musicStoreLink(const HelperDictionary& info, const std::optional<std::string>& region) {
    auto album = textEntry(info, "kMRMediaRemoteNowPlayingInfoAlbum");
    auto albumId = idEntry(info, "kMRMediaRemoteNowPlayingInfoAlbumiTunesStoreAdamIdentifier");
    auto itemId = idEntry(info, "kMRMediaRemoteNowPlayingInfoiTunesStoreIdentifier");
    if (!album || !albumId || !itemId) return std::nullopt;
    std::string reg = region.value_or("");
    lowerAscii(reg);
    // A region code is letters only; anything else would break the path.
    bool valid = !reg.empty() && reg.size() <= 3;
    for (char c : reg) valid = valid && c >= 'a' && c <= 'z';
    if (!valid) reg = "us";
    return "https://" + std::string(kMusicStoreHost) + "/" + reg + "/album/" + albumSlug(*album) + "/" +
           std::to_string(*albumId) + "?i=" + std::to_string(*itemId);
}

std::string spotifyTrackLink(std::string_view spotifyUrl) {
    const auto colon = spotifyUrl.rfind(':');
    const std::string_view id = colon == std::string_view::npos ? spotifyUrl : spotifyUrl.substr(colon + 1);
    if (id.empty()) return {};
    std::string out = "https://" + std::string(kSpotifyWebHost) + "/track/";
    for (unsigned char c : id) {
        if (!unreserved(c)) return {};  // not an identifier: no link rather than a broken one
        out += static_cast<char>(c);
    }
    return out;
}

std::optional<ParsedUrl> parseUrl(std::string_view url) {
    const auto schemeEnd = url.find("://");
    if (schemeEnd == std::string_view::npos || schemeEnd == 0) return std::nullopt;
    ParsedUrl p;
    p.scheme = std::string(url.substr(0, schemeEnd));
    std::string_view rest = url.substr(schemeEnd + 3);
    if (auto hash = rest.find('#'); hash != std::string_view::npos) rest = rest.substr(0, hash);
    const auto hostEnd = rest.find_first_of("/?");
    std::string_view authority = rest.substr(0, hostEnd);
    if (auto at = authority.rfind('@'); at != std::string_view::npos) authority = authority.substr(at + 1);
    if (auto port = authority.find(':'); port != std::string_view::npos) authority = authority.substr(0, port);
    p.host = std::string(authority);
    lowerAscii(p.host);
    if (p.host.empty()) return std::nullopt;
    if (hostEnd != std::string_view::npos) {
        std::string_view tail = rest.substr(hostEnd);
        const auto q = tail.find('?');
        p.path = std::string(tail.substr(0, q));
        if (q != std::string_view::npos) p.query = std::string(tail.substr(q + 1));
    }
    return p;
}

std::optional<std::string> queryItem(std::string_view query, std::string_view name) {
    while (!query.empty()) {
        const auto amp = query.find('&');
        std::string_view item = query.substr(0, amp);
        const auto eq = item.find('=');
        if (item.substr(0, eq) == name) return std::string(eq == std::string_view::npos ? "" : item.substr(eq + 1));
        if (amp == std::string_view::npos) break;
        query = query.substr(amp + 1);
    }
    return std::nullopt;
}

std::string videoShareLink(std::string_view tabUrl) {
    auto url = parseUrl(tabUrl);
    if (!url || (url->scheme != "https" && url->scheme != "http")) return {};
    if (hostIs(url->host, kVideoWatchHost)) {
        auto v = queryItem(url->query, "v");
        if (!v || v->empty()) return {};
        for (unsigned char c : *v)
            if (!unreserved(c)) return {};
        return "https://" + std::string(kVideoShortHost) + "/" + *v;
    }
    if (hostIs(url->host, kVideoShortHost)) return std::string(tabUrl);
    return {};
}

std::string appleScriptQuoted(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20 || c == 0x7f) break;  // other control characters carry no meaning in a title
                // U+2028 and U+2029 end a line in some readers of the script: a space instead.
                if (c == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
                    (static_cast<unsigned char>(text[i + 2]) == 0xA8 || static_cast<unsigned char>(text[i + 2]) == 0xA9)) {
                    out += ' ';
                    i += 2;
                    break;
                }
                out += static_cast<char>(c);
        }
    }
    return out;
}

std::string browserScript(Browser browser, TabScript kind, std::string_view title) {
    const std::string app = browser == Browser::safari ? "Safari" : "Google Chrome";
    const std::string field = browser == Browser::safari ? "name of t" : "title of t";
    const std::string test = "if (" + field + " as text) contains \"" + appleScriptQuoted(title) + "\" then";
    std::vector<std::string> lines{"if application \"" + app + "\" is running then", "tell application \"" + app + "\"",
                                   "repeat with w in windows"};
    if (kind == TabScript::lookup) {
        for (const char* l : {"repeat with t in tabs of w"}) lines.push_back(l);
        lines.push_back(test);
        for (const char* l : {"return URL of t as text", "end if", "end repeat", "end repeat", "return \"\"",
                              "end tell", "else", "return \"\"", "end if"})
            lines.push_back(l);
    } else {
        for (const char* l : {"set tabIndex to 0", "repeat with t in tabs of w", "set tabIndex to tabIndex + 1"})
            lines.push_back(l);
        lines.push_back(test);
        lines.push_back(browser == Browser::safari ? "set current tab of w to t" : "set active tab index of w to tabIndex");
        for (const char* l : {"set index of w to 1", "return", "end if", "end repeat", "end repeat", "end tell", "end if"})
            lines.push_back(l);
    }
    std::string out;
    for (auto& l : lines) out += l + "\n";
    return out;
}

}  // namespace halvyn
