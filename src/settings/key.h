#pragma once
// A typed setting: its name in the preferences domain, its default and whether it belongs to the
// cloud-synchronised set. `Codec<T>` converts between the value and its stored form; a stored
// object that does not convert reads as the default.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/value.h"
#include "settings/options.h"

namespace halvyn {

enum class Sync : bool { no = false, yes = true };

template <class T>
struct Key {
    std::string_view name;
    T defaultValue;
    Sync sync;
};

// A record kept as JSON text, e.g. the weather subsystem's cached weather. Its owner encodes
// the record into a JSON object and decodes it back; the store only checks that the text
// parses as an object.
using JsonRecord = std::optional<Value>;
// The order of the lock-screen widgets.
using WidgetOrder = std::vector<LockScreenWidgetType>;

// JSON text of an object, in full precision; parsing gives nothing unless the text is one object.
std::string jsonText(const Value& v);
std::optional<Value> parseJsonObject(std::string_view text);

template <class T>
struct Codec;

template <>
struct Codec<bool> {
    static Value encode(bool b) { return Value(b); }
    static std::optional<bool> decode(const Value& v) {
        if (!v.isBool()) return std::nullopt;
        return v.asBool();
    }
};

template <>
struct Codec<double> {
    static Value encode(double d) { return Value(d); }
    static std::optional<double> decode(const Value& v) {
        if (!v.isNumber()) return std::nullopt;
        return v.asNumber();
    }
};

template <OptionEnum E>
struct Codec<E> {
    static Value encode(E e) { return Value(rawValue(e)); }
    static std::optional<E> decode(const Value& v) {
        if (!v.isString()) return std::nullopt;
        return fromRaw<E>(v.asString());
    }
};

// A list of options is stored as an array of raw strings; one unknown element makes the whole
// stored list unreadable, so the default order applies rather than a silently shortened list.
template <OptionEnum E>
struct Codec<std::vector<E>> {
    static Value encode(const std::vector<E>& list) {
        Value::Array out;
        out.reserve(list.size());
        for (E e : list) out.emplace_back(rawValue(e));
        return Value(std::move(out));
    }
    static std::optional<std::vector<E>> decode(const Value& v) {
        if (!v.isArray()) return std::nullopt;
        std::vector<E> out;
        out.reserve(v.asArray().size());
        for (const Value& item : v.asArray()) {
            if (!item.isString()) return std::nullopt;
            auto e = fromRaw<E>(item.asString());
            if (!e) return std::nullopt;
            out.push_back(*e);
        }
        return out;
    }
};

// A text (a folder's path: empty is none).
template <>
struct Codec<std::string> {
    static Value encode(const std::string& s) { return Value(s); }
    static std::optional<std::string> decode(const Value& v) {
        if (!v.isString()) return std::nullopt;
        return v.asString();
    }
};

template <>
struct Codec<JsonRecord> {
    // No record is no object (null removes it).
    static Value encode(const JsonRecord& r) { return r ? Value(jsonText(*r)) : Value(); }
    static std::optional<JsonRecord> decode(const Value& v) {
        if (!v.isString()) return std::nullopt;
        auto object = parseJsonObject(v.asString());
        if (!object) return std::nullopt;
        return JsonRecord(std::move(*object));
    }
};

inline Value toValue(const WidgetOrder& order) { return Codec<WidgetOrder>::encode(order); }
inline Value toValue(const JsonRecord& record) { return record ? *record : Value(); }

}  // namespace halvyn
