#include "helper/bus_value.h"

#include <cstring>
#include <string>

namespace halvyn {

namespace {

constexpr int kMaxDepth = 8;
// Entries of one map or list read from a player; the rest is skipped, so a player that sends a
// huge Metadata costs bounded work.
constexpr int kMaxEntries = 512;

bool read(sd_bus_message* m, Value& out, int depth);

// Reads the elements of the container entered last; past the bound they are skipped.
template <class Add>
bool readElements(sd_bus_message* m, int depth, Add add) {
    for (int n = 0;; ++n) {
        const int end = sd_bus_message_at_end(m, 0);
        if (end < 0) return false;
        if (end > 0) return sd_bus_message_exit_container(m) >= 0;
        if (n >= kMaxEntries) {
            if (sd_bus_message_skip(m, nullptr) < 0) return false;
        } else if (!add(depth)) {
            return false;
        }
    }
}

bool readContainer(sd_bus_message* m, char type, const char* contents, Value& out, int depth) {
    if (type == 'v') {
        if (sd_bus_message_enter_container(m, 'v', contents) <= 0 || !read(m, out, depth + 1)) return false;
        return sd_bus_message_exit_container(m) >= 0;
    }
    if (type == 'a' && contents[0] == '{') {
        const std::string entry(contents + 1, std::strlen(contents) - 2);
        if (sd_bus_message_enter_container(m, 'a', contents) <= 0) return false;
        out = Value::object();
        return readElements(m, depth, [&](int d) {
            Value key, value;
            if (sd_bus_message_enter_container(m, 'e', entry.c_str()) <= 0 || !read(m, key, d + 1) ||
                !read(m, value, d + 1) || sd_bus_message_exit_container(m) < 0)
                return false;
            if (key.isString()) out.set(key.asString(), std::move(value));
            return true;
        });
    }
    // A structure reads as the list of its fields.
    if (sd_bus_message_enter_container(m, type, contents) <= 0) return false;
    out = Value::array();
    return readElements(m, depth, [&](int d) {
        Value one;
        if (!read(m, one, d + 1)) return false;
        out.push(std::move(one));
        return true;
    });
}

bool read(sd_bus_message* m, Value& out, int depth) {
    char type = 0;
    const char* contents = nullptr;
    if (sd_bus_message_peek_type(m, &type, &contents) <= 0) return false;
    out = Value();
    // Too deep, bytes, descriptors and signatures: null.
    if (depth > kMaxDepth || (type == 'a' && contents[0] == 'y') || type == 'h' || type == 'g')
        return sd_bus_message_skip(m, nullptr) >= 0;
    if (type == 'v' || type == 'a' || type == 'r') return readContainer(m, type, contents, out, depth);
    union {
        std::uint8_t y;
        int b;
        std::int16_t n;
        std::uint16_t q;
        std::int32_t i;
        std::uint32_t u;
        std::int64_t x;
        std::uint64_t t;
        double d;
        const char* s;
    } v{};
    if (sd_bus_message_read_basic(m, type, &v) <= 0) return false;
    switch (type) {
        case 'y': out = Value(double(v.y)); break;
        case 'b': out = Value(v.b != 0); break;
        case 'n': out = Value(double(v.n)); break;
        case 'q': out = Value(double(v.q)); break;
        case 'i': out = Value(double(v.i)); break;
        case 'u': out = Value(double(v.u)); break;
        case 'x': out = Value(double(v.x)); break;
        case 't': out = Value(double(v.t)); break;
        case 'd': out = Value(v.d); break;
        case 's':
        case 'o': out = Value(std::string(v.s ? v.s : "")); break;
        default: break;
    }
    return true;
}

}  // namespace

bool readBusValue(sd_bus_message* m, Value& out) { return read(m, out, 0); }

}  // namespace halvyn
