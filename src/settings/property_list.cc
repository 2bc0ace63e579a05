#include "settings/property_list.h"

#include <cmath>
#include <cstdint>
#include <cctype>
#include <cstdlib>
#include <unordered_map>

namespace halvyn {

namespace {

// Entries in file order, a repeated key replacing the earlier value in place; the index keeps a
// dictionary of a million keys linear to build.
class DictionaryBuilder {
public:
    void set(std::string key, Value v) {
        auto [it, added] = index_.try_emplace(key, entries_.size());
        if (added)
            entries_.emplace_back(std::move(key), std::move(v));
        else
            entries_[it->second].second = std::move(v);
    }
    Value take() { return Value(std::move(entries_)); }

private:
    Value::Object entries_;
    std::unordered_map<std::string, std::size_t> index_;
};

struct Failure {
    std::string why;
    std::size_t at;
};

void appendUtf8(std::string& out, std::uint32_t c) {
    if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;  // a lone surrogate is no character
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c <= 0x10FFFF) {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        appendUtf8(out, 0xFFFD);
    }
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// MARK: - Old-style text

class TextParser {
public:
    explicit TextParser(std::string_view s) : s_(s) {}

    Value document() {
        skip();
        if (at_ == s_.size()) throw Failure{"empty property list", at_};
        Value v = value(0);
        skip();
        if (at_ != s_.size()) {
            // A top-level "key = value;" list without braces is a dictionary too.
            if (v.isString() && peek() == '=') return bareDictionary(std::move(v));
            throw Failure{"unexpected text after the value", at_};
        }
        return v;
    }

private:
    char peek() const { return at_ < s_.size() ? s_[at_] : '\0'; }

    void skip() {
        while (at_ < s_.size()) {
            const char c = s_[at_];
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
                ++at_;
            } else if (c == '/' && at_ + 1 < s_.size() && s_[at_ + 1] == '/') {
                while (at_ < s_.size() && s_[at_] != '\n') ++at_;
            } else if (c == '/' && at_ + 1 < s_.size() && s_[at_ + 1] == '*') {
                const auto end = s_.find("*/", at_ + 2);
                if (end == std::string_view::npos) throw Failure{"unterminated comment", at_};
                at_ = end + 2;
            } else {
                break;
            }
        }
    }

    static bool bare(char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
               c == '+' || c == '/' || c == ':' || c == '.' || c == '-' || static_cast<unsigned char>(c) >= 0x80;
    }

    Value value(int depth) {
        if (depth >= kMaxPropertyListDepth) throw Failure{"nested too deeply", at_};
        skip();
        const char c = peek();
        if (c == '{') return dictionary(depth);
        if (c == '(') return array(depth);
        if (c == '<') return data();
        if (c == '"' || c == '\'') return quoted();
        if (bare(c)) {
            const std::size_t begin = at_;
            while (at_ < s_.size() && bare(s_[at_])) ++at_;
            return Value(std::string(s_.substr(begin, at_ - begin)));
        }
        throw Failure{at_ == s_.size() ? "unexpected end" : "unexpected character", at_};
    }

    Value dictionary(int depth) {
        ++at_;
        DictionaryBuilder out;
        for (;;) {
            skip();
            if (peek() == '}') {
                ++at_;
                return out.take();
            }
            entry(out, depth);
        }
    }

    void entry(DictionaryBuilder& out, int depth) {
        Value key = value(depth + 1);
        if (!key.isString()) throw Failure{"a key must be a string", at_};
        skip();
        if (peek() != '=') throw Failure{"expected '='", at_};
        ++at_;
        Value v = value(depth + 1);
        skip();
        if (peek() != ';') throw Failure{"expected ';'", at_};
        ++at_;
        out.set(key.asString(), std::move(v));
    }

    Value bareDictionary(Value firstKey) {
        DictionaryBuilder out;
        ++at_;  // '='
        Value v = value(1);
        skip();
        if (peek() != ';') throw Failure{"expected ';'", at_};
        ++at_;
        out.set(firstKey.asString(), std::move(v));
        for (;;) {
            skip();
            if (at_ == s_.size()) return out.take();
            entry(out, 0);
        }
    }

    Value array(int depth) {
        ++at_;
        Value out = Value::array();
        skip();
        if (peek() == ')') {
            ++at_;
            return out;
        }
        for (;;) {
            out.push(value(depth + 1));
            skip();
            if (peek() == ',') {
                ++at_;
                skip();
                if (peek() == ')') {  // a trailing comma is allowed
                    ++at_;
                    return out;
                }
                continue;
            }
            if (peek() == ')') {
                ++at_;
                return out;
            }
            throw Failure{"expected ',' or ')'", at_};
        }
    }

    Value data() {
        ++at_;
        std::string bytes;
        int high = -1;
        for (;;) {
            if (at_ == s_.size()) throw Failure{"unterminated data", at_};
            const char c = s_[at_++];
            if (c == '>') break;
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r') continue;
            const int d = hexDigit(c);
            if (d < 0) throw Failure{"bad character in data", at_ - 1};
            if (high < 0) {
                high = d;
            } else {
                bytes += static_cast<char>(high * 16 + d);
                high = -1;
            }
        }
        if (high >= 0) throw Failure{"odd number of hex digits in data", at_};
        return Value(std::move(bytes));
    }

    Value quoted() {
        const char quote = s_[at_++];
        std::string out;
        for (;;) {
            if (at_ == s_.size()) throw Failure{"unterminated string", at_};
            const char c = s_[at_++];
            if (c == quote) return Value(std::move(out));
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at_ == s_.size()) throw Failure{"unterminated string", at_};
            const char e = s_[at_++];
            switch (e) {
                case 'a': out += '\a'; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                case 'v': out += '\v'; break;
                case 'U':
                case 'u': {
                    std::uint32_t code = 0;
                    int n = 0;
                    while (n < 4 && at_ < s_.size() && hexDigit(s_[at_]) >= 0) code = code * 16 + hexDigit(s_[at_++]), ++n;
                    if (n == 0) throw Failure{"bad \\U escape", at_};
                    // A surrogate pair written as two escapes is one character.
                    if (code >= 0xD800 && code <= 0xDBFF && at_ + 1 < s_.size() && s_[at_] == '\\' &&
                        (s_[at_ + 1] == 'U' || s_[at_ + 1] == 'u')) {
                        std::size_t j = at_ + 2;
                        std::uint32_t low = 0;
                        int m = 0;
                        while (m < 4 && j < s_.size() && hexDigit(s_[j]) >= 0) low = low * 16 + hexDigit(s_[j++]), ++m;
                        if (m == 4 && low >= 0xDC00 && low <= 0xDFFF) {
                            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                            at_ = j;
                        }
                    }
                    appendUtf8(out, code);
                    break;
                }
                default:
                    if (e >= '0' && e <= '7') {
                        // Up to three octal digits: a byte.
                        unsigned code = static_cast<unsigned>(e - '0');
                        for (int n = 1; n < 3 && at_ < s_.size() && s_[at_] >= '0' && s_[at_] <= '7'; ++n)
                            code = code * 8 + static_cast<unsigned>(s_[at_++] - '0');
                        out += static_cast<char>(code & 0xFF);
                    } else {
                        out += e;  // \" \\ \' and any other character stand for themselves
                    }
            }
        }
    }

    std::string_view s_;
    std::size_t at_ = 0;
};

// MARK: - XML

class XmlParser {
public:
    explicit XmlParser(std::string_view s) : s_(s) {}

    Value document() {
        prolog();
        Tag tag = openTag();
        Value v;
        if (tag.name == "plist") {
            if (tag.empty) throw Failure{"empty plist element", at_};
            misc();
            v = element(openTag(), 1);
            misc();
            closeTag("plist");
        } else {
            v = element(tag, 0);
        }
        misc();
        if (at_ != s_.size()) throw Failure{"unexpected text after the document", at_};
        return v;
    }

private:
    struct Tag {
        std::string_view name;
        bool empty = false;
    };

    bool startsWith(std::string_view p) const { return s_.substr(at_, p.size()) == p; }

    void spaces() {
        while (at_ < s_.size() && (s_[at_] == ' ' || s_[at_] == '\t' || s_[at_] == '\n' || s_[at_] == '\r')) ++at_;
    }

    void skipPast(std::string_view end, const char* what) {
        const auto pos = s_.find(end, at_);
        if (pos == std::string_view::npos) throw Failure{std::string("unterminated ") + what, at_};
        at_ = pos + end.size();
    }

    // White space, comments and processing instructions.
    void misc() {
        for (;;) {
            spaces();
            if (startsWith("<!--")) skipPast("-->", "comment");
            else if (startsWith("<?")) skipPast("?>", "processing instruction");
            else return;
        }
    }

    void prolog() {
        if (startsWith("\xEF\xBB\xBF")) at_ += 3;
        for (;;) {
            misc();
            if (startsWith("<!DOCTYPE")) {
                // The plist DOCTYPE has no internal subset; one with brackets is skipped whole.
                const auto close = s_.find('>', at_);
                const auto bracket = s_.find('[', at_);
                if (bracket != std::string_view::npos && (close == std::string_view::npos || bracket < close))
                    skipPast("]>", "DOCTYPE");
                else
                    skipPast(">", "DOCTYPE");
            } else {
                return;
            }
        }
    }

    Tag openTag() {
        if (at_ >= s_.size() || s_[at_] != '<' || startsWith("</")) throw Failure{"expected an element", at_};
        ++at_;
        const std::size_t begin = at_;
        while (at_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[at_])) || s_[at_] == '_' || s_[at_] == '-'))
            ++at_;
        Tag tag{s_.substr(begin, at_ - begin)};
        if (tag.name.empty()) throw Failure{"expected an element name", at_};
        // Attributes (plist's "version") are skipped, quotes respected.
        for (;;) {
            if (at_ >= s_.size()) throw Failure{"unterminated tag", at_};
            const char c = s_[at_];
            if (c == '"' || c == '\'') {
                const auto end = s_.find(c, at_ + 1);
                if (end == std::string_view::npos) throw Failure{"unterminated attribute", at_};
                at_ = end + 1;
            } else if (c == '/' && at_ + 1 < s_.size() && s_[at_ + 1] == '>') {
                at_ += 2;
                tag.empty = true;
                return tag;
            } else if (c == '>') {
                ++at_;
                return tag;
            } else {
                ++at_;
            }
        }
    }

    void closeTag(std::string_view name) {
        misc();
        if (!startsWith("</")) throw Failure{"expected </" + std::string(name) + ">", at_};
        at_ += 2;
        if (s_.substr(at_, name.size()) != name) throw Failure{"mismatched </" + std::string(name) + ">", at_};
        at_ += name.size();
        spaces();
        if (at_ >= s_.size() || s_[at_] != '>') throw Failure{"bad closing tag", at_};
        ++at_;
    }

    // Character data up to the next tag, entities and CDATA resolved, comments dropped.
    std::string text() {
        std::string out;
        for (;;) {
            if (at_ >= s_.size()) throw Failure{"unterminated text", at_};
            if (startsWith("<![CDATA[")) {
                at_ += 9;
                const auto end = s_.find("]]>", at_);
                if (end == std::string_view::npos) throw Failure{"unterminated CDATA", at_};
                out.append(s_.substr(at_, end - at_));
                at_ = end + 3;
                continue;
            }
            if (startsWith("<!--")) {
                skipPast("-->", "comment");
                continue;
            }
            const char c = s_[at_];
            if (c == '<') return out;
            if (c == '&') {
                entity(out);
                continue;
            }
            out += c;
            ++at_;
        }
    }

    void entity(std::string& out) {
        const auto end = s_.find(';', at_);
        if (end == std::string_view::npos || end - at_ > 12) throw Failure{"bad entity", at_};
        const std::string_view name = s_.substr(at_ + 1, end - at_ - 1);
        at_ = end + 1;
        if (name == "lt") out += '<';
        else if (name == "gt") out += '>';
        else if (name == "amp") out += '&';
        else if (name == "quot") out += '"';
        else if (name == "apos") out += '\'';
        else if (name.size() > 1 && name[0] == '#') {
            const bool hex = name[1] == 'x' || name[1] == 'X';
            const std::string digits(name.substr(hex ? 2 : 1));
            if (digits.empty() || digits.size() > 8) throw Failure{"bad character reference", at_};
            char* stop = nullptr;
            const unsigned long code = std::strtoul(digits.c_str(), &stop, hex ? 16 : 10);
            if (*stop != '\0' || code == 0) throw Failure{"bad character reference", at_};
            appendUtf8(out, static_cast<std::uint32_t>(std::min(code, 0x110000UL)));
        } else {
            throw Failure{"unknown entity", at_};
        }
    }

    std::string leaf(const Tag& tag) {
        if (tag.empty) return {};
        std::string t = text();
        closeTag(tag.name);
        return t;
    }

    static std::string_view trimmed(std::string_view t) {
        const auto b = t.find_first_not_of(" \t\r\n");
        if (b == std::string_view::npos) return {};
        return t.substr(b, t.find_last_not_of(" \t\r\n") - b + 1);
    }

    Value element(const Tag& tag, int depth) {
        if (depth >= kMaxPropertyListDepth) throw Failure{"nested too deeply", at_};
        const std::string_view n = tag.name;
        if (n == "dict") {
            if (tag.empty) return Value::object();
            DictionaryBuilder out;
            for (;;) {
                misc();
                if (startsWith("</")) break;
                Tag key = openTag();
                if (key.name != "key") throw Failure{"expected <key>", at_};
                std::string name = leaf(key);
                misc();
                Value v = element(openTag(), depth + 1);
                out.set(std::move(name), std::move(v));
            }
            closeTag("dict");
            return out.take();
        }
        if (n == "array") {
            Value out = Value::array();
            if (tag.empty) return out;
            for (;;) {
                misc();
                if (startsWith("</")) break;
                out.push(element(openTag(), depth + 1));
            }
            closeTag("array");
            return out;
        }
        if (n == "true" || n == "false") {
            if (!tag.empty) closeTag(n);
            return Value(n == "true");
        }
        if (n == "string") return Value(leaf(tag));
        if (n == "date") return Value(std::string(trimmed(leaf(tag))));
        if (n == "integer" || n == "real") {
            const std::string t(trimmed(leaf(tag)));
            if (t.empty()) throw Failure{"empty number", at_};
            char* stop = nullptr;
            double d = 0;
            if (n == "integer" && (t.rfind("0x", 0) == 0 || t.rfind("-0x", 0) == 0))
                d = static_cast<double>(std::strtoll(t.c_str(), &stop, 16));
            else
                d = std::strtod(t.c_str(), &stop);
            if (*stop != '\0') throw Failure{"bad number", at_};
            if (n == "integer" && (!std::isfinite(d) || std::floor(d) != d)) throw Failure{"bad integer", at_};
            return Value(d);
        }
        if (n == "data") return Value(base64(leaf(tag)));
        throw Failure{"unknown element <" + std::string(n) + ">", at_};
    }

    std::string base64(std::string_view t) const {
        std::string out;
        std::uint32_t bits = 0;
        int count = 0;
        for (char c : t) {
            int v = -1;
            if (c >= 'A' && c <= 'Z') v = c - 'A';
            else if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
            else if (c >= '0' && c <= '9') v = c - '0' + 52;
            else if (c == '+') v = 62;
            else if (c == '/') v = 63;
            else if (c == '=' || c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
            else throw Failure{"bad character in data", at_};
            bits = (bits << 6) | static_cast<std::uint32_t>(v);
            if (++count == 4) {
                out += static_cast<char>((bits >> 16) & 0xFF);
                out += static_cast<char>((bits >> 8) & 0xFF);
                out += static_cast<char>(bits & 0xFF);
                bits = 0;
                count = 0;
            }
        }
        if (count == 2) out += static_cast<char>((bits >> 4) & 0xFF);
        if (count == 3) {
            out += static_cast<char>((bits >> 10) & 0xFF);
            out += static_cast<char>((bits >> 2) & 0xFF);
        }
        return out;
    }

    std::string_view s_;
    std::size_t at_ = 0;
};

bool looksLikeXml(std::string_view s) {
    std::size_t i = s.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r')) ++i;
    return s.substr(i, 5) == "<?xml" || s.substr(i, 9) == "<!DOCTYPE" || s.substr(i, 6) == "<plist" || s.substr(i, 4) == "<!--";
}

}  // namespace

std::optional<Value> parsePropertyList(std::string_view text, std::string* error) {
    try {
        if (text.substr(0, 6) == "bplist") throw Failure{"binary property lists are not read", 0};
        if (looksLikeXml(text)) return XmlParser(text).document();
        return TextParser(text).document();
    } catch (const Failure& f) {
        if (error) *error = f.why + " at byte " + std::to_string(f.at);
        return std::nullopt;
    }
}

}  // namespace halvyn
