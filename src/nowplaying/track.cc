#include "nowplaying/track.h"

#include <cmath>

namespace halvyn {

namespace {
void appendByte(std::string& out, int v) {
    static const char* hex = "0123456789ABCDEF";
    v = v < 0 ? 0 : v > 255 ? 255 : v;
    out += hex[v >> 4];
    out += hex[v & 15];
}
int channel(double c) { return static_cast<int>(std::lround((std::isfinite(c) ? c : 0) * 255.0)); }
}  // namespace

std::string colorText(const TrackColor& c) {
    std::string out = "#";
    appendByte(out, channel(c.r));
    appendByte(out, channel(c.g));
    appendByte(out, channel(c.b));
    if (channel(c.a) < 255) appendByte(out, channel(c.a));
    return out;
}

std::string hexText(const std::string& bytes) {
    static const char* hex = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        out += hex[c >> 4];
        out += hex[c & 15];
    }
    return out;
}

Value toValue(const Track& t) {
    Value::Array colors;
    for (auto& c : t.colors) colors.emplace_back(colorText(c));
    return Value(Value::Object{
        {"title", Value(t.title)},
        {"artist", Value(t.artist)},
        {"album", Value(t.album)},
        {"albumArt", t.albumArt ? Value(Value::Array{t.albumArt->width, t.albumArt->height}) : Value()},
        {"albumArtData", t.albumArtData ? Value(hexText(*t.albumArtData)) : Value()},
        {"colors", Value(std::move(colors))},
        {"url", Value(t.url)},
        {"explicit", Value(t.explicit_)},
    });
}

}  // namespace halvyn
