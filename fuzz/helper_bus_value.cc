// What a media player may send on the bus (any types, any nesting, huge lists), through the
// helper's reader of bus values and the metadata reader behind it.
//
// Input: a byte stream that first picks a complete D-Bus type (basic types, arrays, maps,
// variants, structures) and then its values; the message is built and sealed with sd-bus, as the
// helper receives it, so only well-formed messages are read.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <sys/socket.h>

#include "helper/bus_value.h"
#include "nowplaying/mpris_sessions.h"

namespace {

struct Input {
    const uint8_t* p;
    size_t n;
    uint8_t next() {
        if (!n) return 0;
        --n;
        return *p++;
    }
};

// Descriptors are left out: a bus that never negotiated them cannot carry one.
constexpr const char kBasic[] = "ybnqiuxtdsog";

// A complete type, at most `depth` containers deep.
std::string type(Input& in, int depth) {
    const uint8_t k = in.next();
    if (depth <= 0 || k % 8 < 4) return std::string(1, kBasic[k % (sizeof kBasic - 1)]);
    switch (k % 8) {
        case 4: return "a" + type(in, depth - 1);
        case 5: return std::string("a{") + kBasic[in.next() % 10] + type(in, depth - 1) + "}";
        case 6: return "v";
        default: return "(" + type(in, depth - 1) + type(in, depth - 1) + ")";
    }
}

// The length of the complete type at the start of `t`.
size_t span(const char* t) {
    if (*t == 'a') return 1 + span(t + 1);
    if (*t != '(' && *t != '{') return 1;
    size_t i = 1;
    while (t[i] != ')' && t[i] != '}') i += span(t + i);
    return i + 1;
}

bool value(sd_bus_message* m, const char* t, Input& in, int depth) {
    const std::string one(t, span(t));
    switch (*t) {
        case 'a': {
            const std::string element = one.substr(1);
            // Now and then far more entries than the reader keeps.
            const int count = in.next() == 255 ? 600 : in.next() % 6;
            if (sd_bus_message_open_container(m, 'a', element.c_str()) < 0) return false;
            for (int i = 0; i < count; ++i)
                if (!value(m, element.c_str(), in, depth)) return false;
            return sd_bus_message_close_container(m) >= 0;
        }
        case '{':
        case '(': {
            const std::string fields = one.substr(1, one.size() - 2);
            if (sd_bus_message_open_container(m, *t == '{' ? 'e' : 'r', fields.c_str()) < 0) return false;
            for (const char* f = fields.c_str(); *f; f += span(f))
                if (!value(m, f, in, depth)) return false;
            return sd_bus_message_close_container(m) >= 0;
        }
        case 'v': {
            const std::string inner = type(in, depth > 0 ? 3 : 0);
            if (sd_bus_message_open_container(m, 'v', inner.c_str()) < 0) return false;
            return value(m, inner.c_str(), in, depth - 1) && sd_bus_message_close_container(m) >= 0;
        }
        case 's': {
            std::string s;
            for (int len = in.next() % 24; len > 0; --len) s += static_cast<char>(' ' + in.next() % 95);
            return sd_bus_message_append_basic(m, 's', s.c_str()) >= 0;
        }
        case 'o': return sd_bus_message_append_basic(m, 'o', in.next() % 2 ? "/org/mpris/MediaPlayer2" : "/") >= 0;
        case 'g': return sd_bus_message_append_basic(m, 'g', "a{sv}") >= 0;
        default: {
            uint64_t bits = 0;
            for (int i = 0; i < 8; ++i) bits = bits << 8 | in.next();
            if (*t == 'b') bits &= 1;
            return sd_bus_message_append_basic(m, *t, &bits) >= 0;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace halvyn;
    // Messages are made on a bus that is started but never speaks: nothing leaves the process.
    static sd_bus* bus = [] {
        sd_bus* b = nullptr;
        int fds[2];
        if (sd_bus_new(&b) < 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) < 0) return b;
        sd_bus_set_fd(b, fds[0], fds[0]);
        sd_bus_start(b);
        return b;
    }();
    Input in{data, size};
    const std::string t = type(in, 12);
    sd_bus_message* m = nullptr;
    if (sd_bus_message_new_signal(bus, &m, "/org/mpris/MediaPlayer2", "org.freedesktop.DBus.Properties",
                                  "PropertiesChanged") < 0)
        return 0;
    if (value(m, t.c_str(), in, 12) && sd_bus_message_seal(m, 1, 0) >= 0 && sd_bus_message_rewind(m, 1) >= 0) {
        Value v;
        readBusValue(m, v);
        readMetadata(v);
    }
    sd_bus_message_unref(m);
    return 0;
}
