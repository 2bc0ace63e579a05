#pragma once
// Enumerations named by a table: each case has a raw string (its stored and traced form, which
// never changes) and, where a picker shows it, a title. A table lists every case in declaration
// order; the raw strings are literals, so their data is terminated.

#include <optional>
#include <span>
#include <string_view>
#include <type_traits>

#include "runtime/value.h"

namespace halvyn {

template <class E>
struct OptionCase {
    E value;
    std::string_view raw;
    std::string_view title;  // empty when the case has none
};

// Specialised for every named enumeration with `static constexpr OptionCase<E> cases[]`.
template <class E>
struct OptionTraits;

template <class E>
concept OptionEnum = std::is_enum_v<E> && requires { OptionTraits<E>::cases; };

// Every case, in declaration order.
template <OptionEnum E>
constexpr std::span<const OptionCase<E>> allCases() {
    return OptionTraits<E>::cases;
}

// The table's entry for this case; nothing for a value outside the table.
template <OptionEnum E>
constexpr const OptionCase<E>* findCase(E e) {
    for (const auto& c : OptionTraits<E>::cases)
        if (c.value == e) return &c;
    return nullptr;
}

template <OptionEnum E>
constexpr std::string_view rawValue(E e) {
    const OptionCase<E>* c = findCase(e);
    return c ? c->raw : std::string_view();
}

// The raw value as a terminated string, for formatted output; "" for a value outside the table.
template <OptionEnum E>
constexpr const char* caseName(E e) {
    const std::string_view raw = rawValue(e);
    return raw.empty() ? "" : raw.data();
}

template <OptionEnum E>
constexpr std::string_view title(E e) {
    const OptionCase<E>* c = findCase(e);
    return c ? c->title : std::string_view();
}

// The case with this raw value; nothing for an unknown one (raw values are case-sensitive).
template <OptionEnum E>
constexpr std::optional<E> fromRaw(std::string_view raw) {
    for (const auto& c : OptionTraits<E>::cases)
        if (c.raw == raw) return c.value;
    return std::nullopt;
}

// Traces and views show a case by its raw value.
template <OptionEnum E>
Value toValue(E e) {
    return Value(rawValue(e));
}

}  // namespace halvyn
