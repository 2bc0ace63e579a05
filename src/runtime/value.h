#pragma once
// A small JSON-shaped value: what the preferences domain stores and what the trace prints.
// Objects keep their insertion order so that traces are stable byte for byte.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace halvyn {

class Value {
public:
    enum class Kind : std::uint8_t { null, boolean, number, string, array, object };
    using Array = std::vector<Value>;
    using Object = std::vector<std::pair<std::string, Value>>;

    Value() = default;
    Value(std::nullptr_t) {}
    Value(bool b) : kind_(Kind::boolean), bool_(b) {}
    Value(double d) : kind_(Kind::number), number_(d) {}
    Value(float f) : kind_(Kind::number), number_(static_cast<double>(f)) {}
    Value(int i) : kind_(Kind::number), number_(i) {}
    Value(long i) : kind_(Kind::number), number_(static_cast<double>(i)) {}
    Value(long long i) : kind_(Kind::number), number_(static_cast<double>(i)) {}
    Value(unsigned i) : kind_(Kind::number), number_(i) {}
    Value(unsigned long i) : kind_(Kind::number), number_(static_cast<double>(i)) {}
    Value(const char* s) : kind_(Kind::string), string_(s) {}
    Value(std::string s) : kind_(Kind::string), string_(std::move(s)) {}
    Value(std::string_view s) : kind_(Kind::string), string_(s) {}
    Value(Array a);
    Value(Object o);

    Value(const Value& other);
    Value(Value&& other) noexcept = default;
    Value& operator=(const Value& other);
    Value& operator=(Value&& other) noexcept = default;
    ~Value() = default;

    static Value array() { return Value(Array{}); }
    static Value object() { return Value(Object{}); }

    Kind kind() const { return kind_; }
    bool isNull() const { return kind_ == Kind::null; }
    bool isBool() const { return kind_ == Kind::boolean; }
    bool isNumber() const { return kind_ == Kind::number; }
    bool isString() const { return kind_ == Kind::string; }
    bool isArray() const { return kind_ == Kind::array; }
    bool isObject() const { return kind_ == Kind::object; }

    // Accessors assume the kind was checked; a wrong kind gives the neutral value, never a crash.
    bool asBool() const { return kind_ == Kind::boolean && bool_; }
    double asNumber() const { return kind_ == Kind::number ? number_ : 0.0; }
    const std::string& asString() const;
    const Array& asArray() const;
    const Object& asObject() const;
    Array& mutableArray();
    Object& mutableObject();

    // Object helpers. `find` returns nullptr when absent or when this is not an object.
    const Value* find(std::string_view key) const;
    Value& set(std::string_view key, Value v);  // replaces an existing key in place, else appends
    void push(Value v);                          // appends to an array (turns null into an array)

    // Compact JSON text. Numbers print with at most six decimals (trailing zeros dropped);
    // numbers too large for six decimals to matter print so that they read back exactly;
    // non-finite numbers print as null.
    std::string toJson() const;
    void appendJson(std::string& out) const;

    friend bool operator==(const Value& a, const Value& b);

private:
    Kind kind_ = Kind::null;
    bool bool_ = false;
    double number_ = 0.0;
    std::string string_;
    std::unique_ptr<Array> array_;
    std::unique_ptr<Object> object_;
};

// Formats a number the way traces and the settings file need it: at most six decimals, always
// valid JSON, and reading back as the same number once six decimals no longer describe it.
void appendNumber(std::string& out, double d);
void appendQuoted(std::string& out, std::string_view s);

}  // namespace halvyn
