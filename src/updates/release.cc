#include "updates/release.h"

#include <cmath>
#include <limits>

#include "settings/json_value.h"

namespace halvyn {

namespace {

bool fail(std::string* error, std::string why) {
    if (error) *error = std::move(why);
    return false;
}

bool readString(const Value& object, const char* key, std::string& out, std::string* error, const char* where) {
    const Value* v = object.find(key);
    if (!v) return fail(error, std::string("missing key '") + key + "'" + where);
    if (!v->isString()) return fail(error, std::string("'") + key + "' is not a string" + where);
    out = v->asString();
    return true;
}

bool readURL(const Value& object, const char* key, std::string& out, std::string* error, const char* where) {
    if (!readString(object, key, out, error, where)) return false;
    if (out.empty()) return fail(error, std::string("'") + key + "' is not a URL" + where);
    return true;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// "size" and "digest" of an asset: absent or null means the server did not say.
bool readIntegrity(const Value& object, Asset& asset, std::string* error) {
    if (const Value* size = object.find("size"); size && !size->isNull()) {
        const double d = size->asNumber();
        if (!size->isNumber() || !std::isfinite(d) || std::floor(d) != d || d < 0 || d > 9007199254740992.0)
            return fail(error, "'size' is not a whole number of bytes in an asset");
        asset.size = static_cast<std::uint64_t>(d);
    }
    if (const Value* digest = object.find("digest"); digest && !digest->isNull()) {
        if (!digest->isString()) return fail(error, "'digest' is not a string in an asset");
        const std::string& text = digest->asString();
        constexpr std::string_view kPrefix = "sha256:";
        bool good = text.size() == kPrefix.size() + 64;
        std::string hex;
        for (std::size_t i = 0; good && i < text.size(); ++i) {
            if (i < kPrefix.size()) good = lower(text[i]) == kPrefix[i];
            else if ((good = hexValue(text[i]) >= 0)) hex += lower(text[i]);
        }
        if (!good) return fail(error, "'digest' is not \"sha256:\" and 64 hex digits in an asset");
        asset.sha256 = std::move(hex);
    }
    return true;
}

// Line ends that "." does not cross: LF, VT, FF, CR, and U+0085, U+2028, U+2029 in UTF-8.
std::size_t lineEndAt(std::string_view s, std::size_t i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c == '\n' || c == '\v' || c == '\f' || c == '\r') return 1;
    if (c == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0x85) return 2;
    if (c == 0xE2 && i + 2 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0x80 &&
        (static_cast<unsigned char>(s[i + 2]) == 0xA8 || static_cast<unsigned char>(s[i + 2]) == 0xA9))
        return 3;
    return 0;
}

std::optional<long long> wholeNumber(std::string_view digits) {
    long long n = 0;
    for (char c : digits) {
        if (n > (std::numeric_limits<long long>::max() - (c - '0')) / 10) return std::nullopt;
        n = n * 10 + (c - '0');
    }
    return n;
}

}  // namespace

std::optional<Release> decodeRelease(std::string_view json, std::string* error) {
    auto parsed = parseJson(json);
    if (!parsed) {
        fail(error, "The data couldn't be read because it isn't in the correct format.");
        return std::nullopt;
    }
    const Value& v = *parsed;
    if (!v.isObject()) {
        fail(error, "the release is not an object");
        return std::nullopt;
    }
    Release r;
    const Value* id = v.find("id");
    if (!id) {
        fail(error, "missing key 'id'");
        return std::nullopt;
    }
    const double d = id->asNumber();
    if (!id->isNumber() || !std::isfinite(d) || std::floor(d) != d || std::fabs(d) > 9007199254740992.0) {
        fail(error, "'id' is not an integer");
        return std::nullopt;
    }
    r.id = static_cast<long long>(d);
    if (!readString(v, "tag_name", r.tagName, error, "") || !readString(v, "name", r.name, error, "") ||
        !readString(v, "body", r.body, error, "") || !readString(v, "published_at", r.publishedAt, error, ""))
        return std::nullopt;
    const Value* pre = v.find("prerelease");
    if (!pre || !pre->isBool()) {
        fail(error, pre ? "'prerelease' is not a Boolean" : "missing key 'prerelease'");
        return std::nullopt;
    }
    r.prerelease = pre->asBool();
    if (const Value* page = v.find("html_url"); page && page->isString()) r.htmlURL = page->asString();
    const Value* assets = v.find("assets");
    if (!assets || !assets->isArray()) {
        fail(error, assets ? "'assets' is not an array" : "missing key 'assets'");
        return std::nullopt;
    }
    for (const Value& a : assets->asArray()) {
        if (!a.isObject()) {
            fail(error, "an asset is not an object");
            return std::nullopt;
        }
        Asset asset;
        if (!readString(a, "name", asset.name, error, " in an asset") ||
            !readURL(a, "url", asset.url, error, " in an asset") ||
            !readURL(a, "browser_download_url", asset.browserDownloadURL, error, " in an asset") ||
            !readIntegrity(a, asset, error))
            return std::nullopt;
        r.assets.push_back(std::move(asset));
    }
    return r;
}

Value encodeRelease(const Release& r) {
    Value::Array assets;
    for (const Asset& a : r.assets) {
        Value::Object asset{{"name", Value(a.name)},
                            {"url", Value(a.url)},
                            {"browser_download_url", Value(a.browserDownloadURL)}};
        if (a.size) asset.emplace_back("size", Value(static_cast<double>(*a.size)));
        if (!a.sha256.empty()) asset.emplace_back("digest", Value("sha256:" + a.sha256));
        assets.push_back(Value(std::move(asset)));
    }
    Value::Object out{{"id", Value(r.id)},
                      {"tag_name", Value(r.tagName)},
                      {"name", Value(r.name)},
                      {"body", Value(r.body)},
                      {"assets", Value(std::move(assets))},
                      {"prerelease", Value(r.prerelease)},
                      {"published_at", Value(r.publishedAt)}};
    if (!r.htmlURL.empty()) out.emplace_back("html_url", Value(r.htmlURL));
    return Value(std::move(out));
}

int compareVersions(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            // Compare the digit runs as numbers of any length: skip leading zeros, then the
            // longer run is the greater, then digit by digit.
            std::size_t ie = i, je = j;
            while (ie < a.size() && isDigit(a[ie])) ++ie;
            while (je < b.size() && isDigit(b[je])) ++je;
            std::size_t is = i, js = j;
            while (is + 1 < ie && a[is] == '0') ++is;
            while (js + 1 < je && b[js] == '0') ++js;
            if (ie - is != je - js) return ie - is < je - js ? -1 : 1;
            for (; is < ie; ++is, ++js)
                if (a[is] != b[js]) return a[is] < b[js] ? -1 : 1;
            i = ie;
            j = je;
            continue;
        }
        if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]) ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

std::optional<PrereleaseName> matchPrereleaseName(std::string_view s) {
    // Leftmost "v", then the shortest group 1 that is followed by " (digits)"; group 1 cannot
    // cross a line end, so the search from one "v" stops at the first one.
    // A "v" that finds no match before its line ends leaves none for a later "v" on that line,
    // so the search goes on after the line end: linear in the name's length.
    for (std::size_t start = 0; start < s.size(); ++start) {
        if (s[start] != 'v') continue;
        std::size_t end = start + 1;
        for (; end < s.size(); ++end) {
            if (s[end] == ' ' && end + 1 < s.size() && s[end + 1] == '(') {
                std::size_t k = end + 2;
                while (k < s.size() && isDigit(s[k])) ++k;
                if (k > end + 2 && k < s.size() && s[k] == ')')
                    return PrereleaseName{std::string(s.substr(start + 1, end - start - 1)),
                                          wholeNumber(s.substr(end + 2, k - end - 2))};
            }
            if (lineEndAt(s, end)) break;
        }
        start = end;
    }
    return std::nullopt;
}

Candidate candidateOf(const Release& release) {
    Candidate c{release.tagName, release.buildNumber};
    if (release.prerelease)
        if (auto m = matchPrereleaseName(release.name)) c = {std::move(m->version), m->build};
    return c;
}

bool isNewer(const Release& release, std::string_view runningVersion, std::optional<long long> runningBuild,
             bool earlyBird) {
    const Candidate c = candidateOf(release);
    if (compareVersions(c.version, runningVersion) > 0) return true;
    return earlyBird && c.build && runningBuild && *runningBuild < *c.build;
}

bool isPlainFileName(std::string_view name) {
    if (name.empty() || name.size() > 255 || name == "." || name == "..") return false;
    return name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

bool isLoopbackHost(std::string_view host) {
    std::string h;
    for (char c : host) h += lower(c);
    if (h == "localhost" || h == "localhost." || h == "[::1]" || h == "::1") return true;
    // Dotted decimal with four parts, the first 127.
    int parts = 0;
    std::size_t i = 0;
    while (i <= h.size()) {
        std::size_t j = i;
        while (j < h.size() && isDigit(h[j])) ++j;
        if (j == i || j - i > 3) return false;
        const int n = std::stoi(h.substr(i, j - i));
        if (n > 255 || (parts == 0 && n != 127)) return false;
        ++parts;
        if (j == h.size()) break;
        if (h[j] != '.') return false;
        i = j + 1;
    }
    return parts == 4;
}

bool isSecureUpdateURL(std::string_view url) {
    for (char c : url)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F || c == '\\') return false;
    const std::size_t colon = url.find("://");
    if (colon == std::string_view::npos) return false;
    std::string scheme;
    for (char c : url.substr(0, colon)) scheme += lower(c);
    std::string_view authority = url.substr(colon + 3);
    authority = authority.substr(0, authority.find_first_of("/?#"));
    // Credentials before the host are not something an update address has.
    if (authority.find('@') != std::string_view::npos) return false;
    std::string_view host = authority;
    if (!host.empty() && host.front() == '[') {
        const std::size_t close = host.find(']');
        if (close == std::string_view::npos) return false;
        host = host.substr(0, close + 1);
    } else {
        host = host.substr(0, host.find(':'));
    }
    if (host.empty()) return false;
    if (scheme == "https") return true;
    return scheme == "http" && isLoopbackHost(host);
}

std::optional<std::string> decodeHexOrBase64(std::string_view text) {
    std::string out;
    bool hex = !text.empty() && text.size() % 2 == 0;
    for (char c : text) hex = hex && hexValue(c) >= 0;
    if (hex) {
        for (std::size_t i = 0; i < text.size(); i += 2)
            out += static_cast<char>(hexValue(text[i]) * 16 + hexValue(text[i + 1]));
        return out;
    }
    if (text.empty() || text.size() % 4 != 0) return std::nullopt;
    auto sextet = [](char c) -> int {
        if (c >= 'A' && c <= 'Z') return c - 'A';
        if (c >= 'a' && c <= 'z') return c - 'a' + 26;
        if (c >= '0' && c <= '9') return c - '0' + 52;
        if (c == '+') return 62;
        if (c == '/') return 63;
        return -1;
    };
    std::size_t padding = 0;
    while (padding < 2 && text[text.size() - 1 - padding] == '=') ++padding;
    std::uint32_t bits = 0;
    int count = 0;
    for (std::size_t i = 0; i < text.size() - padding; ++i) {
        const int v = sextet(text[i]);
        if (v < 0) return std::nullopt;
        bits = (bits << 6) | static_cast<std::uint32_t>(v);
        if (++count == 4) {
            out += static_cast<char>((bits >> 16) & 0xFF);
            out += static_cast<char>((bits >> 8) & 0xFF);
            out += static_cast<char>(bits & 0xFF);
            bits = 0;
            count = 0;
        }
    }
    if (count == 3) {
        out += static_cast<char>((bits >> 10) & 0xFF);
        out += static_cast<char>((bits >> 2) & 0xFF);
    } else if (count == 2) {
        out += static_cast<char>((bits >> 4) & 0xFF);
    }
    return out;
}

std::optional<std::string> decodeSignature(std::string_view published) {
    constexpr std::size_t kSignatureBytes = 64;
    if (published.size() == kSignatureBytes) return std::string(published);
    const auto space = [](char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; };
    while (!published.empty() && space(published.front())) published.remove_prefix(1);
    while (!published.empty() && space(published.back())) published.remove_suffix(1);
    auto bytes = decodeHexOrBase64(published);
    if (!bytes || bytes->size() != kSignatureBytes) return std::nullopt;
    return bytes;
}

}  // namespace halvyn
