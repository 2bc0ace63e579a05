#include "runtime/value.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace halvyn {

namespace {
const std::string kEmptyString;
const Value::Array kEmptyArray;
const Value::Object kEmptyObject;
}  // namespace

Value::Value(Array a) : kind_(Kind::array), array_(std::make_unique<Array>(std::move(a))) {}
Value::Value(Object o) : kind_(Kind::object), object_(std::make_unique<Object>(std::move(o))) {}

Value::Value(const Value& o)
    : kind_(o.kind_), bool_(o.bool_), number_(o.number_), string_(o.string_),
      array_(o.array_ ? std::make_unique<Array>(*o.array_) : nullptr),
      object_(o.object_ ? std::make_unique<Object>(*o.object_) : nullptr) {}

Value& Value::operator=(const Value& o) {
    if (this != &o) {
        Value copy(o);
        *this = std::move(copy);
    }
    return *this;
}

const std::string& Value::asString() const { return kind_ == Kind::string ? string_ : kEmptyString; }
const Value::Array& Value::asArray() const { return kind_ == Kind::array ? *array_ : kEmptyArray; }
const Value::Object& Value::asObject() const { return kind_ == Kind::object ? *object_ : kEmptyObject; }

Value::Array& Value::mutableArray() {
    if (kind_ != Kind::array) *this = Value(Array{});
    return *array_;
}

Value::Object& Value::mutableObject() {
    if (kind_ != Kind::object) *this = Value(Object{});
    return *object_;
}

const Value* Value::find(std::string_view key) const {
    if (kind_ != Kind::object) return nullptr;
    for (auto& [k, v] : *object_)
        if (k == key) return &v;
    return nullptr;
}

Value& Value::set(std::string_view key, Value v) {
    auto& obj = mutableObject();
    for (auto& [k, existing] : obj) {
        if (k == key) {
            existing = std::move(v);
            return existing;
        }
    }
    obj.emplace_back(std::string(key), std::move(v));
    return obj.back().second;
}

void Value::push(Value v) { mutableArray().push_back(std::move(v)); }

bool operator==(const Value& a, const Value& b) {
    if (a.kind_ != b.kind_) return false;
    switch (a.kind_) {
        case Value::Kind::null: return true;
        case Value::Kind::boolean: return a.bool_ == b.bool_;
        case Value::Kind::number: return a.number_ == b.number_;
        case Value::Kind::string: return a.string_ == b.string_;
        case Value::Kind::array: return *a.array_ == *b.array_;
        case Value::Kind::object: return *a.object_ == *b.object_;
    }
    return false;
}

void appendNumber(std::string& out, double d) {
    if (!std::isfinite(d)) {
        out += "null";
        return;
    }
    const double magnitude = std::fabs(d);
    // Integers print without a fraction; "%.0f" is exact and stays short below 1e17.
    if (magnitude >= 1e15 && magnitude < 1e17 && d == std::floor(d)) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.0f", d);
        out += buf;
        return;
    }
    if (magnitude < 1e15) {
        char buf[48];
        // Everything else with at most six decimals.
        double rounded = std::round(d * 1e6) / 1e6;
        if (rounded == 0) rounded = 0;  // no "-0"
        if (rounded == std::floor(rounded)) {
            std::snprintf(buf, sizeof buf, "%.0f", rounded);
        } else {
            std::snprintf(buf, sizeof buf, "%.6f", rounded);
            char* end = buf + std::strlen(buf);
            while (end[-1] == '0') --end;
            if (end[-1] == '.') --end;
            *end = '\0';
        }
        // Six decimals say all there is below 2^33; above, a double is coarser than a millionth
        // and the text must give back the very same number.
        if (magnitude < 0x1p33 || std::strtod(buf, nullptr) == d) {
            out += buf;
            return;
        }
    }
    // The shortest text that reads back as the same number ("1e+100").
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, d);
    out.append(buf, r.ptr);
}

void appendQuoted(std::string& out, std::string_view s) {
    out += '"';
    for (unsigned char c : s) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    out += '"';
}

void Value::appendJson(std::string& out) const {
    switch (kind_) {
        case Kind::null: out += "null"; break;
        case Kind::boolean: out += bool_ ? "true" : "false"; break;
        case Kind::number: appendNumber(out, number_); break;
        case Kind::string: appendQuoted(out, string_); break;
        case Kind::array: {
            out += '[';
            bool first = true;
            for (auto& v : *array_) {
                if (!first) out += ',';
                first = false;
                v.appendJson(out);
            }
            out += ']';
            break;
        }
        case Kind::object: {
            out += '{';
            bool first = true;
            for (auto& [k, v] : *object_) {
                if (!first) out += ',';
                first = false;
                appendQuoted(out, k);
                out += ':';
                v.appendJson(out);
            }
            out += '}';
            break;
        }
    }
}

std::string Value::toJson() const {
    std::string out;
    appendJson(out);
    return out;
}

}  // namespace halvyn
